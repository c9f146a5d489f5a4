#pragma once

#include <QDialog>
#include <QStringList>

class EventTreeItem;

enum NotificationsDialogType {
    EnableNotifications = 0,
    EditNotifications = 1,
};

// Decides how the notification watcher announces one event.
class DBusDialog : public QDialog
{
    Q_OBJECT
public:
    explicit DBusDialog(QWidget *parent = nullptr);
    ~DBusDialog() override;

    void setDialogType(NotificationsDialogType type);
    // Fills the dialog for an event of the tree (not owned).
    void fill(EventTreeItem *event);

Q_SIGNALS:
    void dbusAccepted(const QString &notificationId);
    void notificationOn(const QString &fileId, const QStringList &lines, NotificationsDialogType type);
    void needToReboot();

private:
    NotificationsDialogType m_dialogType = EnableNotifications;
};
