#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// One group of a notification configuration file: its name without brackets
// and its "key=value" lines, values unescaped.
struct NotifyrcGroup {
    QString name;
    QVector<QPair<QString, QString>> entries;

    QString value(const QString &key) const;
};

// How the watcher announces one event: the methods ("Popup|Sound|...") and
// their settings, as stored in the event's group of a user's file.
struct NotificationMethods {
    QString actions;
    QString executeCommand;
    QString logFile; // a path, without "file://"
    QString sound;
    QString tts;
};

// A notification configuration file (".notifyrc") of a user.
class NotifyrcFile
{
public:
    // path is a system path; it is placed under the system root for access.
    explicit NotifyrcFile(const QString &path);

    // "/home/<user>/.config/<application>.notifyrc"
    static QString userFilePath(const QString &user, const QString &appName);
    // The groups of a file's text, in file order.
    static QVector<NotifyrcGroup> parse(const QString &text);
    // The lines of the event's group as this module writes it.
    static QStringList sectionLines(const QString &notificationId, const NotificationMethods &methods);

    // Replaces the event's group, or appends it after a blank line, keeping the
    // rest of the file; then gives the file to the logged-in user. False with an
    // error text when the file could not be read or written.
    bool writeSection(const QString &notificationId, const NotificationMethods &methods, QString *error) const;
    // The stored methods of the event; empty when the file or group is missing.
    NotificationMethods readSection(const QString &notificationId) const;

    QString path() const
    {
        return m_path;
    }

    // Runs "chown user:user" on a placed path; nothing when the user is unknown.
    static void giveToUser(const QString &placedPath, const QString &user);

private:
    QString m_path;
};
