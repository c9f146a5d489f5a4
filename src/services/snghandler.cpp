#include "snghandler.h"

SngHandler *SngHandler::instance()
{
    static SngHandler handler;
    return &handler;
}

SngHandler::SngHandler() = default;
SngHandler::~SngHandler() = default;

void SngHandler::syslogNgStart() const
{
}

void SngHandler::syslogNgStop() const
{
}

void SngHandler::syslogNgRestart() const
{
}

bool SngHandler::status()
{
    return false;
}

QString SngHandler::statusText() const
{
    return m_statusText;
}
