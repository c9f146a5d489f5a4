#include "logrotationsettings.h"

LogRotationSettings::LogRotationSettings(QWidget *parent)
    : QWidget(parent)
{
}

LogRotationSettings::~LogRotationSettings() = default;

void LogRotationSettings::load()
{
}

void LogRotationSettings::save()
{
}

void LogRotationSettings::statistics()
{
}
