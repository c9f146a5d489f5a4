#pragma once

#include "notifyrcfile.h"

#include <QDialog>
#include <QMap>
#include <QStringList>
#include <QVector>

#include <memory>

class CheckBoxParam;
class EventTreeItem;
class QPluginLoader;

namespace Ui
{
class DBusDialog;
}

enum NotificationsDialogType {
    EnableNotifications = 0,
    EditNotifications = 1,
};
Q_DECLARE_METATYPE(NotificationsDialogType)

// Decides how the notification watcher announces one event: to whom, with which
// title and parameters, by which methods, and whether it repeats.
class DBusDialog : public QDialog
{
    Q_OBJECT
public:
    explicit DBusDialog(QWidget *parent = nullptr);
    ~DBusDialog() override;

    void setDialogType(NotificationsDialogType type);
    // Before fill() in EditNotifications: the settings stored for the event, from
    // the lines of its syslog-ng file and from the logged-in user's file.
    bool loadStoredSettings(EventTreeItem *event, const QStringList &syslogLines);
    // Fills the dialog for an event of the tree (not owned). False, with
    // errorString(), when notifications cannot be configured for the event.
    bool fill(EventTreeItem *event);
    QString errorString() const
    {
        return m_error;
    }

    // Builds the event's syslog-ng file first: a refused title or identifier
    // keeps the dialog open with the reason shown.
    void accept() override;

Q_SIGNALS:
    void dbusAccepted(const QString &notificationId);
    void notificationOn(const QString &fileId, const QStringList &lines, NotificationsDialogType type);
    void needToReboot();
    // The repetition of the accepted event, when it differs from the stored one;
    // emitted before notificationOn.
    void repetitionChosen(bool enabled, int interval);

private Q_SLOTS:
    void playButtonClicked();
    void logFileDialogButtonClicked();
    void soundDialogButtonClicked();
    void executeDialogButtonClicked();
    void handleRepeatCheckBox(int state);
    void generateConfig();
    void setOkButtonState();
    void enableSoundElements();
    void enableLogFileElements();
    void enableExecuteElements();

private:
    bool identify(EventTreeItem *event);
    int checkedRecipientMode() const;
    QStringList checkedParamKeys() const;
    QStringList chosenActions() const;
    bool settingsUnchanged() const;
    bool methodsChanged() const;
    EventTreeItem *repetitionItem(const QString &id) const;
    void fillParameters();
    void fillMethods();
    void fillRepetition();
    void connectChangeTest();

    std::unique_ptr<Ui::DBusDialog> ui;
    EventTreeItem *m_event = nullptr; // Not owned; set from fill() to the accept.
    // Not owned; the event identify() last succeeded for, until the next fill() takes it.
    const EventTreeItem *m_identified = nullptr;
    NotificationsDialogType m_dialogType = EnableNotifications;
    QMap<QString, QString> m_paramNames; // display text -> parameter key
    QVector<CheckBoxParam *> m_paramCheckBoxes; // Owned by this dialog (children).
    QString m_title;
    QStringList m_checkedParams;
    int m_recipientMode = 0;
    QString m_notificationId;
    QString m_appName; // names the user's notification file and the watcher's configuration
    NotificationMethods m_methods; // as stored in the user's file
    bool m_repeatEnabled = false;
    int m_repeatInterval = 30;

    QStringList m_lines; // the syslog-ng file built at the accept
    QString m_error;
    QVector<QMetaObject::Connection> m_cycleConnections; // made by fill(), dropped by the next
    // Of the sound preview, loaded at the first preview; the player is the
    // plugin's, unloaded with this dialog.
    std::unique_ptr<QPluginLoader> m_previewLoader;
};
