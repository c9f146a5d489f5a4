#include "notificationfile.h"

#include "notificationslog.h"

#include "model/eventtreeitem.h"
#include "model/notifiedevents.h"
#include "platform/paths.h"
#include "platform/syslogngsubset.h"
#include "syslogng/commonwriter.h"
#include "syslogng/syslogngstring.h"

#include <KLocalizedString>

#include <QRegularExpression>

#include <memory>

namespace NotificationFile
{
namespace
{
const QLatin1String AdministratorsGroup("velta-admin");

// Values placed in quoted strings as they are and joined with ",": nothing that
// could end the string, be read as an escape or substitution, or split a list.
bool isPlainValue(const QString &value)
{
    static const QRegularExpression forbidden(QStringLiteral("[\"\\\\`,\\x00-\\x1f\\x7f]"));
    return !value.isEmpty() && !forbidden.match(value).hasMatch();
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString optionLine(const QString &name, const QString &value)
{
    return QLatin1String("\n\t\t") + quoted(name) + QLatin1String(", ") + quoted(value);
}

QString checkInput(const Input &input)
{
    if (input.messageId.isEmpty() || input.messageType.isEmpty()) {
        return i18n("The event has no message identifier or no message type; no notification file can be made for it.");
    }
    if (!isValidMessageId(input.messageId)) {
        return i18n(
            "The message identifier \"%1\" may contain only Latin letters, digits, \"_\" and \"-\" and must begin with a letter or a digit; "
            "no notification file can be made for it.",
            input.messageId);
    }
    const QString plainRule = i18n("It must not be empty and must not contain double quotes, backslashes, backticks, commas or control characters.");
    if (!isPlainValue(input.messageType)) {
        return i18n("The message type \"%1\" cannot be written to a notification file.", input.messageType) + QLatin1Char(' ') + plainRule;
    }
    if (!input.notificationId.isEmpty() && !isPlainValue(input.notificationId)) {
        return i18n("The notification identifier \"%1\" cannot be written to a notification file.", input.notificationId) + QLatin1Char(' ') + plainRule;
    }
    for (const QString &key : input.parameterKeys) {
        if (!isPlainValue(key)) {
            return i18n("The parameter key \"%1\" cannot be written to a notification file.", key) + QLatin1Char(' ') + plainRule;
        }
    }
    return QString();
}

QString pythonText(const Input &input)
{
    QString text = QLatin1String("\n\tclass(") + quoted(SyslogNgSubset::NotificationClass) + QLatin1Char(')');
    text += QLatin1String("\n\toptions(\"destination_type\", \"dbus\"");
    text += optionLine(QStringLiteral("message_type"), input.messageType);
    switch (input.recipients) {
    case AllUsers:
        text += optionLine(QStringLiteral("event_user"), QStringLiteral("@all"));
        text += optionLine(QStringLiteral("event_group"), QStringLiteral("@all"));
        break;
    case Administrators:
        text += optionLine(QStringLiteral("event_user"), QStringLiteral("@all"));
        text += optionLine(QStringLiteral("event_group"), AdministratorsGroup);
        break;
    case EventRecipients:
        text += optionLine(QStringLiteral("event_user"), QString());
        text += optionLine(QStringLiteral("event_group"), QString());
        break;
    default:
        break;
    }
    const QString notificationId = input.notificationId.isEmpty() ? notificationIdentifier(input.messageId) : input.notificationId;
    text += optionLine(QStringLiteral("event_id"), notificationId);
    text += optionLine(QStringLiteral("event_title"), SyslogNgString::escaped(input.title));
    text += optionLine(QStringLiteral("event_icon"), QString());
    text += optionLine(QStringLiteral("event_params"), input.parameterKeys.join(QLatin1Char(',')));
    QStringList placeholders;
    for (int i = 0; i < input.parameterKeys.size(); ++i) {
        placeholders.append(QLatin1Char('{') + QString::number(i) + QLatin1Char('}'));
    }
    text += optionLine(QStringLiteral("event_format"), placeholders.join(QLatin1Char(' '))) + QLatin1Char(')');
    text += QLatin1String("\n\tpersist-name(") + quoted(input.messageId) + QLatin1Char(')');
    text += QLatin1String("\n\t");
    return text;
}

TreeItem *addNode(TreeItem *parent, const QString &first, const QVariant &second = QVariant(), const QVariant &third = QVariant())
{
    auto node = std::make_unique<TreeItem>(QVector<QVariant>{first, second, third});
    TreeItem *added = node.get();
    parent->appendChild(std::move(node));
    return added;
}
} // namespace

Input inputFor(const EventTreeItem &event)
{
    Input input;
    if (const EventTreeItem *item = event.findChildById(QStringLiteral("message_id"))) {
        input.messageId = item->data(1).toString();
    }
    if (const EventTreeItem *item = event.findChildById(QStringLiteral("message-type"))) {
        input.messageType = item->data(1).toString();
    }
    return input;
}

Result build(const Input &input)
{
    Result result;
    result.error = checkInput(input);
    if (!result.error.isEmpty()) {
        qCWarning(QUOR_NOTIFICATIONS).noquote() << "no notification file for" << input.messageId << "refused:" << result.error;
        return result;
    }
    const QString filterName = QLatin1String("velta_") + input.messageId + QLatin1String("_filter");
    const QString destinationName = QLatin1String("velta_") + input.messageId + QLatin1String("_dbus_dst");

    TreeItem root({});
    TreeItem *filter = addNode(&root, QStringLiteral("filter"), filterName);
    const QString match = quoted(QLatin1Char('^') + input.messageId + QLatin1Char('$')) + QLatin1String(" value(")
        + quoted(QLatin1String("MSG.velta-") + input.messageType + QLatin1String(".message_id")) + QLatin1Char(')');
    addNode(filter, QStringLiteral("match"), QVariant(), match);
    TreeItem *destination = addNode(&root, QStringLiteral("destination"), destinationName);
    addNode(destination, QStringLiteral("python"), QVariant(), pythonText(input));
    TreeItem *log = addNode(&root, QStringLiteral("log"));
    addNode(log, QStringLiteral("source"), QVariant(), QStringLiteral("velta_events_src"));
    addNode(log, QStringLiteral("parser"), QVariant(), QStringLiteral("velta_events_parser"));
    addNode(log, QStringLiteral("filter"), QVariant(), filterName);
    addNode(log, QStringLiteral("destination"), QVariant(), destinationName);

    const QStringList texts = CommonWriter(filePath(input.messageId)).text(&root);
    for (const QString &text : texts) {
        result.lines += text.split(QLatin1Char('\n'));
    }
    return result;
}

bool isValidMessageId(const QString &messageId)
{
    // The whole text: "$" alone would also let a final line break through.
    static const QRegularExpression valid(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9][A-Za-z0-9_-]*")));
    return valid.match(messageId).hasMatch();
}

QString notificationIdentifier(const QString &messageId)
{
    QString result = messageId;
    for (int i = 0; i + 1 < result.size(); ++i) {
        if (result.at(i) == QLatin1Char('_') || result.at(i) == QLatin1Char('-')) {
            result[i + 1] = result.at(i + 1).toUpper();
        }
    }
    return result.remove(QLatin1Char('_')).remove(QLatin1Char('-'));
}

QString fileIdentifier(const QString &messageId)
{
    return NotifiedEvents::fileIdentifier(messageId);
}

QString filePath(const QString &messageId)
{
    if (!isValidMessageId(messageId)) {
        return QString();
    }
    return NotifiedEvents::filePath(messageId);
}
} // namespace NotificationFile
