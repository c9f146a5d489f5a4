// The logging service status under the tree and its start/stop button.
#include "quoradminevents.h"

void QuorAdminEvents::updateServiceStatus()
{
}

void QuorAdminEvents::startLoggingService()
{
}

void QuorAdminEvents::stopLoggingService()
{
}
