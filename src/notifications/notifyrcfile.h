#pragma once

#include "platform/sessionuser.h"
#include "platform/userfolder.h"

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

// A notification configuration file (".notifyrc") in a user's ~/.config. The
// user controls that folder: every access goes through UserFolder.
class NotifyrcFile
{
public:
    // "<home>/.config/<application>.notifyrc" of user, with the home from the
    // password database.
    NotifyrcFile(const UserAccount &user, const QString &appName);

    // The groups of a file's text, in file order.
    static QVector<NotifyrcGroup> parse(const QString &text);
    // The lines of the event's group as this module writes it.
    static QStringList sectionLines(const QString &notificationId, const NotificationMethods &methods);
    // The ~/.config folder of a home (a system path), opened for user.
    static UserFolder configFolder(const QString &home, const UserAccount &user);

    // Sets the keys this module writes (Action, Execute, Logfile, Sound) in the
    // event's group, keeping its other keys and every line whose value reads
    // as the one to write, or appends the group after a blank line; the rest
    // of the file stays as it is. The file is the user's, mode
    // 0644. False with an error text ("<path>: <reason>") when the file could
    // not be read whole as UTF-8 text or could not be written: it is then left
    // as it was.
    bool writeSection(const QString &notificationId, const NotificationMethods &methods, QString *error) const;
    // The stored methods of the event as the watcher reads them (groups of the
    // same name merged, the last value of a key wins); empty when the file or
    // group is missing. False with an error text when the file is there but
    // refused, unreadable, or not UTF-8 text (a NUL byte, UTF-16).
    bool readSection(const QString &notificationId, NotificationMethods *methods, QString *error) const;

    // The file as the system knows it.
    QString path() const;

private:
    // The file's text; ok with an empty text when it does not exist.
    bool readText(const UserFolder &folder, QString *text, bool *exists, QString *error) const;

    UserAccount m_user;
    QString m_fileName;
};
