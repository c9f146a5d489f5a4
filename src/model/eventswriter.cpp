#include "eventswriter.h"

#include "eventtreeitem.h"
#include "platform/auditdatabase.h"
#include "platform/checkedwrite.h"
#include "platform/fileread.h"
#include "platform/paths.h"
#include "singleeventsparser.h"

#include <KLocalizedString>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <functional>

namespace
{
const QString Separator = QStringLiteral(", ");

QString compactJson(const QJsonArray &array)
{
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

// One JSON value as text (a string as a quoted, escaped literal), by Qt's own JSON writer.
QString elementText(const QJsonValue &element)
{
    const QString wrapped = compactJson(QJsonArray{element});
    return wrapped.mid(1, wrapped.size() - 2);
}

// Text without a character that JSON escapes (quotes, backslashes, control
// characters, surrogates) is quoted as it is: the same text as Qt's writer
// gives, without building a JSON document for every key and value.
QString quoted(const QString &text)
{
    const bool plain = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c != QLatin1Char('"') && c != QLatin1Char('\\') && !c.isSurrogate();
    });
    if (plain) {
        return QLatin1Char('"') + text + QLatin1Char('"');
    }
    return elementText(QJsonValue(text));
}

// The non-empty elements of a list shown as text.
QStringList splitNames(const QString &text)
{
    QStringList names;
    const QStringList parts = text.split(Separator);
    for (const QString &part : parts) {
        if (!part.simplified().isEmpty()) {
            names.append(part.simplified());
        }
    }
    return names;
}

// The stored list while it still matches the shown text (keeping numbers and
// elements that contain ", "); after an edit, the shown elements.
QJsonArray listValue(const EventTreeItem *item)
{
    const QJsonDocument stored = QJsonDocument::fromJson(item->data(2).toString().toUtf8());
    const QString shown = item->data(1).toString();
    if (stored.isArray() && SingleEventsParser::listText(stored.array()) == shown) {
        return stored.array();
    }
    return QJsonArray::fromStringList(splitNames(shown));
}

// A number or a truth value is written as one, as it was read; "enabled" keeps
// the text form the services have always been given.
QString scalarText(const EventTreeItem *item)
{
    const QString text = item->data(1).toString();
    QString normalized;
    if (item->valueKind() != ParameterValue::Kind::Text && item->id() != QLatin1String("enabled")
        && ParameterValue::refusal(item->id(), item->data(0).toString(), item->valueKind(), text, &normalized, ParameterValue::Unlimited).isEmpty()) {
        return normalized;
    }
    return quoted(text);
}

bool hasOverlaid(const EventTreeItem *item)
{
    if (item->isOverlaid()) {
        return true;
    }
    for (int row = 0; row < item->childCount(); ++row) {
        if (hasOverlaid(item->child(row))) {
            return true;
        }
    }
    return false;
}

// The overlaid entries among the children of item, as "key" : value texts.
QStringList entries(const EventTreeItem *item)
{
    QStringList result;
    for (int row = 0; row < item->childCount(); ++row) {
        const EventTreeItem *child = item->child(row);
        // The reader derives these keys from the audit rules.
        if (child->id() == QLatin1String(".auditd.key") && item->id() == QLatin1String("filter-values")
            && item->parentItem()->id() == QLatin1String("file-removal")) {
            continue;
        }
        // Built only for the entries written: most children of an event are not.
        const auto key = [child]() -> QString {
            return quoted(child->id()) + QLatin1String(" : ");
        };
        if (child->kind() == EventTreeItem::ObjectListParameter || child->kind() == EventTreeItem::ListParameter) {
            if (!child->isOverlaid()) {
                continue;
            }
            const QJsonArray list = listValue(child);
            if (child->kind() == EventTreeItem::ObjectListParameter) {
                result.append(key() + compactJson(list));
                continue;
            }
            QStringList elements;
            for (const QJsonValue &element : list) {
                elements.append(element.isString() ? quoted(element.toString()) : elementText(element));
            }
            result.append(key() + QLatin1String("[ ") + elements.join(Separator) + QLatin1String(" ]"));
        } else if (child->childCount() > 0) {
            const QStringList inner = entries(child);
            if (!inner.isEmpty()) {
                result.append(key() + QLatin1String("{ ") + inner.join(Separator) + QLatin1String(" }"));
            }
        } else if (child->isOverlaid()) {
            result.append(key() + scalarText(child));
        }
    }
    return result;
}

} // namespace

EventsWriter::EventsWriter(const QString &settingsPath, const QString &auditRulesPath)
    : AbstractWriter(settingsPath)
    , m_auditRulesPath(auditRulesPath)
{
}

EventsWriter::~EventsWriter() = default;

QStringList EventsWriter::errors() const
{
    return m_errors;
}

bool EventsWriter::auditChanged() const
{
    return m_auditChanged;
}

QByteArray EventsWriter::writtenSettings() const
{
    return m_writtenSettings;
}

QStringList EventsWriter::lines(const TreeItem *root) const
{
    AuditData unused;
    return settingsLines(dynamic_cast<const EventTreeItem *>(root), &unused);
}

QList<EventsWriter::KeptEvent> EventsWriter::eventsMissingFromTree(const QString &settingsPath, const EventTreeItem *root)
{
    const FileRead::Result file = FileRead::regular(settingsPath, FileRead::ConfigLimit);
    const QJsonDocument document = QJsonDocument::fromJson(file.data);
    if (!file.ok || !document.isObject()) {
        return {};
    }
    QSet<QString> inTree;
    std::function<void(const EventTreeItem *)> visit = [&](const EventTreeItem *item) {
        for (int row = 0; item && row < item->childCount(); ++row) {
            const EventTreeItem *child = item->child(row);
            if (child->kind() == EventTreeItem::Event) {
                inTree.insert(child->id());
            } else {
                visit(child);
            }
        }
    };
    visit(root);

    QStringList missing;
    const QJsonObject events = document.object();
    for (auto it = events.constBegin(); it != events.constEnd(); ++it) {
        if (!inTree.contains(it.key())) {
            missing.append(it.key());
        }
    }
    if (missing.isEmpty()) {
        return {};
    }

    // The file's own line of each event, where it holds one event per line.
    QHash<QString, QString> ownLines;
    static const QRegularExpression eventLine(QStringLiteral("^\\s*(\"(?:[^\"\\\\]|\\\\.)*\"\\s*:.*?),?\\s*$"));
    const QStringList lines = QString::fromUtf8(file.data).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = eventLine.match(line);
        const QJsonDocument single = QJsonDocument::fromJson(QByteArray("{" + match.captured(1).toUtf8() + "}"));
        if (match.hasMatch() && single.isObject() && single.object().size() == 1) {
            ownLines.insert(single.object().keys().constFirst(), match.captured(1));
        }
    }

    QList<KeptEvent> kept;
    for (const QString &id : std::as_const(missing)) {
        const QString line = ownLines.contains(id) ? ownLines.value(id) : quoted(id) + QLatin1String(" : ") + elementText(events.value(id));
        kept.append({id, line});
    }
    return kept;
}

QStringList EventsWriter::settingsLines(const EventTreeItem *root, AuditData *audit) const
{
    QStringList eventLines;
    std::function<void(const EventTreeItem *)> visit = [&](const EventTreeItem *item) {
        for (int row = 0; row < item->childCount(); ++row) {
            const EventTreeItem *child = item->child(row);
            if (child->kind() != EventTreeItem::Event) {
                visit(child);
                continue;
            }
            if (!hasOverlaid(child)) {
                continue;
            }
            const QStringList inner = entries(child);
            const QString body = inner.isEmpty() ? QStringLiteral("{ \"enabled\": \"%1\" }").arg(child->checkState() == Qt::Checked ? 1 : 0)
                                                 : QLatin1String("{ ") + inner.join(Separator) + QLatin1String(" }");
            eventLines.append(QLatin1Char('\t') + quoted(child->id()) + QLatin1String(" : ") + body);

            const EventTreeItem *enabled = child->findChildById(QStringLiteral("enabled"));
            const bool on = !enabled || enabled->data(1).toString() == QLatin1String("1");
            const EventTreeItem *rules = child->findChildById(QStringLiteral("message-audit-rules"));
            if (rules && on) {
                audit->hasAuditRules = true;
                audit->rules += rules->data(1).toString().split(Separator, Qt::SkipEmptyParts);
            }
            if (const EventTreeItem *types = child->findChildById(QStringLiteral("message-audit-events"))) {
                (on ? audit->eventsOn : audit->eventsOff) += splitNames(types->data(1).toString());
            }
        }
    };
    if (root) {
        visit(root);
    }
    // Settings of events the package lacks now are the administrator's all the same.
    const QList<KeptEvent> kept = eventsMissingFromTree(filePath(), root);
    for (const KeptEvent &event : kept) {
        eventLines.append(QLatin1Char('\t') + event.line);
    }
    for (int row = 0; row + 1 < eventLines.size(); ++row) {
        eventLines[row] += QLatin1Char(',');
    }
    return QStringList{QStringLiteral("{")} + eventLines + QStringList{QStringLiteral("}")};
}

bool EventsWriter::write(const TreeItem *root)
{
    prepare(root);
    return commit();
}

void EventsWriter::prepare(const TreeItem *root)
{
    m_audit = AuditData();
    m_settingsLines = settingsLines(dynamic_cast<const EventTreeItem *>(root), &m_audit);
    m_audit.rules.removeDuplicates();
}

bool EventsWriter::commit()
{
    m_errors.clear();
    m_auditChanged = false;
    m_writtenSettings.clear();
    bool written = replace(filePath(), m_settingsLines);
    written = replace(m_auditRulesPath, m_audit.hasAuditRules ? m_audit.rules : QStringList()) && written;
    switchAuditTypes(m_audit);
    return written && m_errors.isEmpty();
}

namespace
{
QByteArray joinedLines(const QStringList &fileLines)
{
    QByteArray data;
    for (const QString &line : fileLines) {
        data += line.toUtf8();
        data += '\n';
    }
    return data;
}
}

QByteArray EventsWriter::preparedSettings() const
{
    return joinedLines(m_settingsLines);
}

QByteArray EventsWriter::preparedAuditRules() const
{
    return joinedLines(m_audit.hasAuditRules ? m_audit.rules : QStringList());
}

bool EventsWriter::replace(const QString &path, const QStringList &fileLines)
{
    const QByteArray data = joinedLines(fileLines);
    if (const auto expected = m_expected.constFind(path); expected != m_expected.cend() && !expected->matches(path)) {
        m_errors.append(CheckedWrite::changedOutside(Paths::unplaced(path)).message);
        return false;
    }
    if (path == filePath()) {
        m_writtenSettings = data;
    }
    QString reason;
    if (CheckedWrite::replaceFile(path, data, &reason)) {
        return true;
    }
    m_errors.append(CheckedWrite::writeFailure(Paths::unplaced(path), reason));
    return false;
}

void EventsWriter::switchAuditTypes(AuditData audit)
{
    audit.eventsOn.removeDuplicates();
    audit.eventsOff.removeDuplicates();
    // Switching on wins.
    for (const QString &name : std::as_const(audit.eventsOn)) {
        audit.eventsOff.removeAll(name);
    }
    // A store that cannot be read is named once and never written over.
    QString storeError;
    const auto failed = [&](const QString &what, const QString &name, const QString &error) {
        if (!storeError.isEmpty()) {
            return;
        }
        if (error.startsWith(Paths::placed(Paths::AuditTypeStore))) {
            storeError = error;
            m_errors.append(error);
        } else {
            m_errors.append(what + QStringLiteral("\"%1\"").arg(name));
        }
    };
    for (const QString &name : std::as_const(audit.eventsOn)) {
        bool known = false;
        QString error;
        if (!storeError.isEmpty() || (AuditDatabase::isOn(name, &known, &error) && known)) {
            continue;
        }
        if (AuditDatabase::switchOn(name, &error)) {
            m_auditChanged = true;
        } else {
            failed(i18n("Error enabling the audit event"), name, error);
        }
    }
    for (const QString &name : std::as_const(audit.eventsOff)) {
        bool known = false;
        QString error;
        if (!storeError.isEmpty() || (!AuditDatabase::isOn(name, &known, &error) && known)) {
            continue;
        }
        if (AuditDatabase::switchOff(name, &error)) {
            m_auditChanged = true;
        } else {
            failed(i18n("Error disabling the audit event"), name, error);
        }
    }
}
