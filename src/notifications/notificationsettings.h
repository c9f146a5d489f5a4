#pragma once

#include <QString>
#include <QStringList>

// What an event's syslog-ng notification file says about its notification:
// the recipients, the title and the parameters the message carries.
struct NotificationSettings {
    int recipientMode = 2; // 0 all users, 1 administrators, 2 the event's user and group
    QString title;
    QStringList checkedParams;

    // Reads the option lines of the file; missing lines leave the defaults.
    static NotificationSettings fromSyslogLines(const QStringList &lines);
};
