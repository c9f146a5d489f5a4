#include "notificationsettings.h"

#include "model/parametervalue.h"
#include "syslogng/syslogngstring.h"

namespace
{
// The double-quoted strings of a line with the file's escapes undone by the
// writer's own inverse, so that a title holding commas, quotes, backslashes or
// backticks comes back as it was typed.
QStringList quotedStrings(const QString &line)
{
    QStringList strings;
    int i = line.indexOf(QLatin1Char('"'));
    while (i >= 0) {
        const int start = i + 1;
        bool closed = false;
        for (i = start; i < line.size(); ++i) {
            if (line.at(i) == QLatin1Char('\\')) {
                ++i; // the escaped character cannot end the string
            } else if (line.at(i) == QLatin1Char('"')) {
                closed = true;
                break;
            }
        }
        if (!closed) {
            break;
        }
        strings << SyslogNgString::unescaped(line.mid(start, i - start));
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
            settings.checkedParams = ParameterValue::listElements(value);
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
