#pragma once

#include <QString>
#include <QStringList>

class EventTreeItem;

// The syslog-ng file of one notified event: a filter picking the event's
// messages, a destination handing them to the notification module over D-Bus,
// and the log path joining them to the event source and parser.
namespace NotificationFile
{
// Who receives the notification; the radio buttons of the notification dialog.
enum Recipients : int {
    NoRecipients = -1, // no button checked: the file names no recipients
    AllUsers = 0,
    Administrators = 1,
    EventRecipients = 2, // the user and group the event itself names
};

struct Input {
    QString messageId; // "message_id"
    QString messageType; // "message-type"
    QString notificationId; // empty: notificationIdentifier(messageId)
    int recipients = AllUsers;
    QString title; // as typed
    QStringList parameterKeys; // in display order
};

struct Result {
    QStringList lines; // each to be written followed by a line break
    QString error; // why no file can be made; empty on success
};

// "message_id" and "message-type" of an event of the tree; empty when missing.
Input inputFor(const EventTreeItem &event);

// The lines of the file, or an error when a value would break the file's syntax
// or place the file outside the include directory.
Result build(const Input &input);

// A "message_id" that can name objects and a file: letters, digits, "_" and "-",
// not starting with "_" or "-".
bool isValidMessageId(const QString &messageId);

// "message_id" in camel case: "user_login-failed" gives "userLoginFailed".
QString notificationIdentifier(const QString &messageId);
// "message_id" with every "_" written as "-".
QString fileIdentifier(const QString &messageId);
// The system path of the event's file; empty for a "message_id" that is refused.
QString filePath(const QString &messageId);
} // namespace NotificationFile
