#include "notifyrcfile.h"

#include "model/abstractwriter.h"
#include "platform/paths.h"
#include "platform/process.h"

#include <KLocalizedString>

#include <QFile>
#include <QFileInfo>

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

QString readText(const QString &placedPath, bool *ok)
{
    QFile file(placedPath);
    *ok = file.open(QIODevice::ReadOnly);
    return *ok ? QString::fromUtf8(file.readAll()) : QString();
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

NotifyrcFile::NotifyrcFile(const QString &path)
    : m_path(path)
{
}

QString NotifyrcFile::userFilePath(const QString &user, const QString &appName)
{
    return QLatin1String("/home/") + user + QLatin1String("/.config/") + appName + QLatin1String(".notifyrc");
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
    const QString placedPath = Paths::placed(m_path);
    const QStringList section = sectionLines(notificationId, methods);
    QString text;
    if (QFileInfo::exists(placedPath)) {
        bool ok = false;
        const QString old = readText(placedPath, &ok);
        if (!ok) {
            *error = i18n("The file %1 could not be read", m_path);
            return false;
        }
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
    if (!AbstractWriter::replaceFile(placedPath, text.toUtf8())) {
        *error = i18n("The file %1 could not be written", m_path);
        return false;
    }
    giveToUser(placedPath, Process::loginName());
    return true;
}

NotificationMethods NotifyrcFile::readSection(const QString &notificationId) const
{
    NotificationMethods methods;
    bool ok = false;
    const QString text = readText(Paths::placed(m_path), &ok);
    const QString groupName = QLatin1String("Event/") + notificationId;
    const auto groups = parse(text);
    for (const NotifyrcGroup &group : groups) {
        if (group.name != groupName) {
            continue;
        }
        methods.actions = group.value(QStringLiteral("Action"));
        methods.executeCommand = group.value(QStringLiteral("Execute"));
        methods.logFile = group.value(QStringLiteral("Logfile"));
        if (methods.logFile.startsWith(FilePrefix)) {
            methods.logFile.remove(0, FilePrefix.size());
        }
        methods.sound = group.value(QStringLiteral("Sound"));
        methods.tts = group.value(QStringLiteral("TTS"));
    }
    return methods;
}

void NotifyrcFile::giveToUser(const QString &placedPath, const QString &user)
{
    if (user.isEmpty()) {
        return;
    }
    Process::run(QStringLiteral("chown"), {user + QLatin1Char(':') + user, placedPath});
}
