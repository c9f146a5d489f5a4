#include "contentcheck.h"

#include "platform/paths.h"
#include "platform/textdecode.h"

#include <KLocalizedString>

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>

#include <functional>

namespace
{
// The reason for the first line the reader cannot take, or an empty text.
QString firstBadLine(const QString &text, const std::function<bool(const QString &)> &accepted, const QString &expected)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')) && !accepted(line)) {
            return i18n("line %1: %2 expected", i + 1, expected);
        }
    }
    return QString();
}

// One object per event, as the settings reader takes them; anything else it
// would drop and the page would then write back without it.
QString settingsRefusal(const QString &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError) {
        return i18n("not valid JSON: %1 at offset %2", error.errorString(), error.offset);
    }
    if (!document.isObject()) {
        return i18n("not a JSON object");
    }
    const QJsonObject events = document.object();
    for (auto it = events.constBegin(); it != events.constEnd(); ++it) {
        if (!it.value().isObject()) {
            return i18n("event \"%1\": not an object", it.key());
        }
    }
    return QString();
}

QString auditRulesRefusal(const QString &text)
{
    return firstBadLine(
        text,
        [](const QString &line) {
            return line.startsWith(QLatin1Char('-'));
        },
        i18n("an audit rule"));
}

QString auditTypesRefusal(const QString &text)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_-]+$"));
    return firstBadLine(
        text,
        [](const QString &line) {
            return name.match(line).hasMatch();
        },
        i18n("an audit event type"));
}

QString notifyrcRefusal(const QString &text)
{
    return firstBadLine(
        text,
        [](const QString &line) {
            return (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) || line.indexOf(QLatin1Char('=')) > 0;
        },
        i18n("a [group] or key=value"));
}
} // namespace

namespace ContentCheck
{
QString refusal(const QString &name, const QByteArray &data)
{
    const QString path = QLatin1Char('/') + name;
    const std::function<QString(const QString &)> reader = path == Paths::EventsFile ? settingsRefusal
        : path == Paths::AuditRulesFile                                              ? auditRulesRefusal
        : path == Paths::AuditTypeStore                                              ? auditTypesRefusal
        : path == Paths::RootNotifyrc                                                ? notifyrcRefusal
                                                                                     : std::function<QString(const QString &)>();
    if (!reader) {
        return QString();
    }
    QString text;
    QString reason;
    if (!TextDecode::utf8(data, &text, &reason)) {
        return QStringLiteral("%1: %2").arg(path, reason);
    }
    reason = reader(text);
    return reason.isEmpty() ? QString() : QStringLiteral("%1: %2").arg(path, reason);
}
} // namespace ContentCheck
