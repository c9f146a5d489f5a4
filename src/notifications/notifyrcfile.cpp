#include "notifyrcfile.h"

#include "notificationslog.h"
#include "platform/backslashescapes.h"

#include <QHash>

#include <algorithm>

namespace
{
const QString FilePrefix = QStringLiteral("file://");

QString groupHeader(const QString &notificationId)
{
    return QLatin1String("[Event/") + notificationId + QLatin1Char(']');
}

// The escapes the watcher's reader understands, so that every value reads back
// as it was typed. A space is escaped only at either end, where the reader
// would trim it.
const BackslashEscapes Escapes{{u'\\', u'\\'}, {u'\n', u'n'}, {u'\t', u't'}, {u'\r', u'r'}, {u' ', u's'}};

QString escapeValue(const QString &value)
{
    QString result;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        const QChar letter = Escapes.letterOf(c);
        const bool innerSpace = c == QLatin1Char(' ') && i > 0 && i < value.size() - 1;
        if (letter.isNull() || innerSpace) {
            result += c;
        } else {
            result += QLatin1Char('\\');
            result += letter;
        }
    }
    return result;
}

// A backslash before any other letter stays as it stands.
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
        const QChar character = Escapes.characterOf(next);
        if (character.isNull()) {
            result += c;
            result += next;
        } else {
            result += character;
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

// A line the reader takes as "key=value" of the group above it.
bool isEntry(const QString &trimmed)
{
    return !trimmed.startsWith(QLatin1Char('#')) && trimmed.indexOf(QLatin1Char('=')) > 0;
}

// A key this module writes in an event's group: its value as the reader
// takes it, and the line that writes it (none for a key left out).
struct WrittenEntry {
    QString key;
    QString value;
    QString line;
};

QVector<WrittenEntry> writtenEntries(const NotificationMethods &methods)
{
    const QString logFile = methods.logFile.isEmpty() ? QString() : FilePrefix + methods.logFile;
    return {
        {QStringLiteral("Action"), methods.actions, methods.actions.isEmpty() ? QString() : QLatin1String("Action=") + methods.actions},
        {QStringLiteral("Execute"), methods.executeCommand, QLatin1String("Execute=") + escapeValue(methods.executeCommand)},
        {QStringLiteral("Logfile"), logFile, QLatin1String("Logfile=") + escapeValue(logFile)},
        {QStringLiteral("Sound"), methods.sound, QLatin1String("Sound=") + escapeValue(methods.sound)},
    };
}

// The text with the keys this module writes set in the event's group, or
// section appended after a blank line when there is none. A group goes on to
// the next header, as the reader takes it. A line whose value reads as the
// one to write stays as it is; every other key, comment and blank line stays
// too. A written key the group lacks goes first, as in a new group. Further
// groups of the name join the first, which the watcher merges them into. Further entries of a written key go, in the group and in further groups
// of the same name: the watcher would merge them, and they would override it.
QString replacedGroup(const QString &old, const QString &notificationId, const QStringList &section, const QVector<WrittenEntry> &written)
{
    const QString header = groupHeader(notificationId);
    const QStringList lines = old.split(QLatin1Char('\n'));
    QStringList result;
    result.reserve(lines.size() + written.size());
    QHash<QString, const WrittenEntry *> pending; // not owned
    for (const WrittenEntry &entry : written) {
        pending.insert(entry.key, &entry);
    }
    int groups = 0; // of the event's name, so far
    bool inGroup = false;
    int insertAt = -1; // after the first group's header
    int firstEnd = -1; // after the first group's last line
    QStringList moved; // the other keys of further groups of the name, which join the first
    for (const QString &line : lines) {
        const QString trimmed = line.trimmed();
        if (isGroupHeader(trimmed)) {
            if (inGroup && groups == 1) {
                firstEnd = int(result.size());
            }
            inGroup = trimmed == header;
            groups += inGroup ? 1 : 0;
            if (!inGroup || groups == 1) {
                result << line;
            }
            if (inGroup && groups == 1) {
                insertAt = int(result.size());
            }
            continue;
        }
        if (inGroup && isEntry(trimmed)) {
            const int equals = int(trimmed.indexOf(QLatin1Char('=')));
            const QString key = trimmed.left(equals).trimmed();
            const bool writtenKey = std::any_of(written.begin(), written.end(), [&key](const WrittenEntry &entry) {
                return entry.key == key;
            });
            if (writtenKey) {
                const WrittenEntry *entry = groups == 1 ? pending.take(key) : nullptr;
                if (entry && unescapeValue(trimmed.mid(equals + 1).trimmed()) == entry->value) {
                    result << line;
                } else if (entry && !entry->line.isEmpty()) {
                    result << entry->line;
                }
            } else {
                (groups == 1 ? result : moved) << line;
            }
            continue;
        }
        result << line;
    }
    if (firstEnd < 0) {
        firstEnd = int(result.size());
    }
    for (int i = 0; i < moved.size(); ++i) {
        result.insert(firstEnd + i, moved.at(i));
    }
    if (groups == 0) {
        return old + QLatin1Char('\n') + section.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    QStringList added;
    for (const WrittenEntry &entry : written) {
        if (pending.contains(entry.key) && !entry.line.isEmpty()) {
            added << entry.line;
        }
    }
    for (int i = 0; i < added.size(); ++i) {
        result.insert(insertAt + i, added.at(i));
    }
    return result.join(QLatin1Char('\n'));
}
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
    // A NUL byte would end a group early and bytes that are not UTF-8 would
    // be written back changed: such a file is named and left as it is.
    const FileRead::Text decoded = FileRead::decoded(result);
    if (!decoded.ok) {
        *error = folder.filePath(m_fileName) + QLatin1String(": ") + decoded.error;
        qCWarning(QUOR_NOTIFICATIONS).noquote() << *error;
        return false;
    }
    *text = decoded.text;
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
        if (groups.isEmpty() || !isEntry(trimmed)) {
            continue;
        }
        const int equals = trimmed.indexOf(QLatin1Char('='));
        groups.last().entries.append({trimmed.left(equals).trimmed(), unescapeValue(trimmed.mid(equals + 1).trimmed())});
    }
    return groups;
}

QStringList NotifyrcFile::sectionLines(const QString &notificationId, const NotificationMethods &methods)
{
    QStringList lines{groupHeader(notificationId)};
    for (const WrittenEntry &entry : writtenEntries(methods)) {
        if (!entry.line.isEmpty()) {
            lines << entry.line;
        }
    }
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
        text = replacedGroup(old, notificationId, section, writtenEntries(methods));
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
    // As the watcher's reader takes it: every group of the name, the last
    // value of each key.
    const QString groupName = QLatin1String("Event/") + notificationId;
    const auto groups = parse(text);
    const QHash<QString, QString *> fields{
        {QStringLiteral("Action"), &methods->actions},
        {QStringLiteral("Execute"), &methods->executeCommand},
        {QStringLiteral("Logfile"), &methods->logFile},
        {QStringLiteral("Sound"), &methods->sound},
        {QStringLiteral("TTS"), &methods->tts},
    };
    for (const NotifyrcGroup &group : groups) {
        if (group.name != groupName) {
            continue;
        }
        for (const auto &entry : group.entries) {
            if (QString *field = fields.value(entry.first)) {
                *field = entry.second;
            }
        }
    }
    if (methods->logFile.startsWith(FilePrefix)) {
        methods->logFile.remove(0, FilePrefix.size());
    }
    return true;
}
