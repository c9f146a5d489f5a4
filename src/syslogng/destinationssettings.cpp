#include "destinationssettings.h"

DestinationsSettings::DestinationsSettings(QWidget *parent)
    : QWidget(parent)
{
}

DestinationsSettings::~DestinationsSettings() = default;

void DestinationsSettings::load()
{
}

void DestinationsSettings::save()
{
}

void DestinationsSettings::updateRemoveButtonState()
{
}
