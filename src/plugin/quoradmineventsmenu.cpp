// The tree's context menu and the notification settings of single events.
#include "quoradminevents.h"

void QuorAdminEvents::showContextMenu(const QPoint &pos)
{
    Q_UNUSED(pos)
}

void QuorAdminEvents::switchNotificationsOff(EventTreeItem *event)
{
    Q_UNUSED(event)
}

void QuorAdminEvents::openNotificationDialog(EventTreeItem *event, NotificationsDialogType type)
{
    Q_UNUSED(event)
    Q_UNUSED(type)
}

void QuorAdminEvents::notificationAccepted(const QString &fileId, const QStringList &lines, NotificationsDialogType type)
{
    Q_UNUSED(fileId)
    Q_UNUSED(lines)
    Q_UNUSED(type)
}

void QuorAdminEvents::notificationsUpdated()
{
}
