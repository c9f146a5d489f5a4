// Loading, saving and applying.
#include "quoradminevents.h"

void QuorAdminEvents::load()
{
}

void QuorAdminEvents::save()
{
}

void QuorAdminEvents::reloadOnFileChange()
{
}

void QuorAdminEvents::readNotificationFilesOnDisk()
{
}
