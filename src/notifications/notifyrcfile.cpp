#include "notifyrcfile.h"

namespace
{
const QString FilePrefix = QStringLiteral("file://");

QString groupHeader(const QString &notificationId)
{
    return QLatin1String("[Event/") + notificationId + QLatin1Char(']');
}

// The escapes the watcher's reader understands, so that every value reads back
// as it was typed.
QString escapeValue(const QString &value)
{
    QString result;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\')) {
            result += QLatin1String("\\\\");
        } else if (c == QLatin1Char('\n')) {
            result += QLatin1String("\\n");
        } else if (c == QLatin1Char('\t')) {
            result += QLatin1String("\\t");
        } else if (c == QLatin1Char('\r')) {
            result += QLatin1String("\\r");
        } else if (c == QLatin1Char(' ') && (i == 0 || i == value.size() - 1)) {
            result += QLatin1String("\\s");
        } else {
            result += c;
        }
    }
    return result;
}

QString unescapeValue(const QString &value)
{
    QString result;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            result += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            result += QLatin1Char(' ');
            break;
        case 'n':
            result += QLatin1Char('\n');
            break;
        case 't':
            result += QLatin1Char('\t');
            break;
        case 'r':
            result += QLatin1Char('\r');
            break;
        case '\\':
            result += QLatin1Char('\\');
            break;
        default:
            result += c;
            result += next;
        }
    }
    return result;
}

bool isGroupHeader(const QString &line)
{
    const QString trimmed = line.trimmed();
    return trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'));
}

const QString ConfigFolder = QStringLiteral("/.config");
}

QString NotifyrcGroup::value(const QString &key) const
{
    for (const auto &entry : entries) {
        if (entry.first == key) {
            return entry.second;
        }
    }
    return QString();
}

NotifyrcFile::NotifyrcFile(const UserAccount &user, const QString &appName)
    : m_user(user)
    , m_fileName(appName + QLatin1String(".notifyrc"))
{
}

QString NotifyrcFile::path() const
{
    return m_user.home + ConfigFolder + QLatin1Char('/') + m_fileName;
}

UserFolder NotifyrcFile::configFolder(const QString &home, const UserAccount &user)
{
    return UserFolder::openSystem(home + ConfigFolder, user.uid, user.gid);
}

bool NotifyrcFile::readText(const UserFolder &folder, QString *text, bool *exists, QString *error) const
{
    *exists = false;
    if (!folder.isOpen() && !folder.isMissing()) {
        *error = folder.error();
        return false;
    }
    if (!folder.isOpen()) {
        return true;
    }
    const FileRead::Result result = folder.read(m_fileName, FileRead::SmallFileLimit);
    if (!result.ok && !result.missing) {
        *error = result.error;
        return false;
    }
    if (!result.ok) {
        return true;
    }
    *exists = true;
    *text = QString::fromUtf8(result.data);
    return true;
}

QVector<NotifyrcGroup> NotifyrcFile::parse(const QString &text)
{
    QVector<NotifyrcGroup> groups;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString trimmed = line.trimmed();
        if (isGroupHeader(trimmed)) {
            groups.append({trimmed.mid(1, trimmed.size() - 2), {}});
            continue;
        }
        const int equals = trimmed.indexOf(QLatin1Char('='));
        if (groups.isEmpty() || trimmed.startsWith(QLatin1Char('#')) || equals <= 0) {
            continue;
        }
        groups.last().entries.append({trimmed.left(equals).trimmed(), unescapeValue(trimmed.mid(equals + 1).trimmed())});
    }
    return groups;
}

QStringList NotifyrcFile::sectionLines(const QString &notificationId, const NotificationMethods &methods)
{
    QStringList lines{groupHeader(notificationId)};
    if (!methods.actions.isEmpty()) {
        lines << QLatin1String("Action=") + methods.actions;
    }
    lines << QLatin1String("Execute=") + escapeValue(methods.executeCommand);
    lines << QLatin1String("Logfile=") + (methods.logFile.isEmpty() ? QString() : FilePrefix + escapeValue(methods.logFile));
    lines << QLatin1String("Sound=") + escapeValue(methods.sound);
    lines << QStringLiteral("TTS=");
    return lines;
}

bool NotifyrcFile::writeSection(const QString &notificationId, const NotificationMethods &methods, QString *error) const
{
    const UserFolder folder = configFolder(m_user.home, m_user);
    if (!folder.isOpen()) {
        *error = folder.error();
        return false;
    }
    const QStringList section = sectionLines(notificationId, methods);
    QString old;
    bool exists = false;
    if (!readText(folder, &old, &exists, error)) {
        return false;
    }
    QString text;
    if (exists) {
        QStringList lines = old.split(QLatin1Char('\n'));
        const int header = lines.indexOf(groupHeader(notificationId));
        if (header < 0) {
            text = old + QLatin1Char('\n') + section.join(QLatin1Char('\n')) + QLatin1Char('\n');
        } else {
            // The old group ends at the next group or blank line; whatever the
            // watcher or the user added elsewhere stays.
            int end = header + 1;
            while (end < lines.size() && !lines.at(end).trimmed().isEmpty() && !isGroupHeader(lines.at(end))) {
                ++end;
            }
            lines.erase(lines.begin() + header, lines.begin() + end);
            for (int i = 0; i < section.size(); ++i) {
                lines.insert(header + i, section.at(i));
            }
            text = lines.join(QLatin1Char('\n'));
        }
    } else {
        text = section.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    return folder.write(m_fileName, text.toUtf8(), error);
}

bool NotifyrcFile::readSection(const QString &notificationId, NotificationMethods *methods, QString *error) const
{
    *methods = NotificationMethods();
    QString text;
    bool exists = false;
    if (!readText(configFolder(m_user.home, m_user), &text, &exists, error)) {
        return false;
    }
    const QString groupName = QLatin1String("Event/") + notificationId;
    const auto groups = parse(text);
    for (const NotifyrcGroup &group : groups) {
        if (group.name != groupName) {
            continue;
        }
        methods->actions = group.value(QStringLiteral("Action"));
        methods->executeCommand = group.value(QStringLiteral("Execute"));
        methods->logFile = group.value(QStringLiteral("Logfile"));
        if (methods->logFile.startsWith(FilePrefix)) {
            methods->logFile.remove(0, FilePrefix.size());
        }
        methods->sound = group.value(QStringLiteral("Sound"));
        methods->tts = group.value(QStringLiteral("TTS"));
    }
    return true;
}
