#include "notificationsettings.h"

namespace
{
// One escape of a double-quoted string starting after the backslash at i;
// advances i past it.
QString unescapedAt(const QString &line, int &i)
{
    const QChar c = line.at(i);
    switch (c.unicode()) {
    case 'n':
        return QStringLiteral("\n");
    case 'r':
        return QStringLiteral("\r");
    case 't':
        return QStringLiteral("\t");
    case 'x': {
        bool ok = false;
        const int code = line.mid(i + 1, 2).toInt(&ok, 16);
        if (ok) {
            i += 2;
            return QString(QChar(code));
        }
        return QStringLiteral("x");
    }
    default:
        return QString(c);
    }
}

// The double-quoted strings of a line with the file's escapes undone, so that a
// title holding commas, quotes or backslashes comes back as it was typed.
QStringList quotedStrings(const QString &line)
{
    QStringList strings;
    int i = line.indexOf(QLatin1Char('"'));
    while (i >= 0) {
        QString text;
        bool closed = false;
        for (++i; i < line.size(); ++i) {
            const QChar c = line.at(i);
            if (c == QLatin1Char('\\') && i + 1 < line.size()) {
                text += unescapedAt(line, ++i);
            } else if (c == QLatin1Char('`') && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('`')) {
                text += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                closed = true;
                break;
            } else {
                text += c;
            }
        }
        if (!closed) {
            break;
        }
        strings << text;
        i = line.indexOf(QLatin1Char('"'), i + 1);
    }
    return strings;
}
}

NotificationSettings NotificationSettings::fromSyslogLines(const QStringList &lines)
{
    NotificationSettings settings;
    QString user;
    QString group;
    for (const QString &line : lines) {
        const QStringList strings = quotedStrings(line);
        if (strings.size() < 2) {
            continue;
        }
        const QString &key = strings.at(0);
        const QString &value = strings.at(1);
        if (key == QLatin1String("event_user")) {
            user = value;
        } else if (key == QLatin1String("event_group")) {
            group = value;
        } else if (key == QLatin1String("event_title")) {
            settings.title = value;
        } else if (key == QLatin1String("event_params")) {
            settings.checkedParams.clear();
            const auto keys = value.split(QLatin1Char(','));
            for (const QString &param : keys) {
                if (!param.trimmed().isEmpty()) {
                    settings.checkedParams << param.trimmed();
                }
            }
        }
    }
    const QString all = QStringLiteral("@all");
    if (user == all && group == all) {
        settings.recipientMode = 0;
    } else if (user == all && group == QLatin1String("velta-admin")) {
        settings.recipientMode = 1;
    }
    return settings;
}
