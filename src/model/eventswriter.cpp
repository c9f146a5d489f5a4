#include "eventswriter.h"

#include "eventtreeitem.h"
#include "jsontext.h"
#include "platform/auditdatabase.h"
#include "platform/checkedwrite.h"
#include "platform/fileread.h"
#include "platform/paths.h"
#include "platform/textdecode.h"
#include "singleeventsparser.h"

#include <KLocalizedString>

#include <QFileInfo>
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
    // A value kept as read is written as it was read: a number with its own
    // digits, null and an empty object as themselves.
    const QString literal = item->data(2).toString();
    if (!literal.isEmpty() && text == JsonText::shownText(literal)) {
        return literal;
    }
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
            // A list kept as read whose text Qt's writer would change (its numbers) is written as read.
            const QString stored = child->data(2).toString();
            const QJsonDocument read = QJsonDocument::fromJson(stored.toUtf8());
            if (read.isArray() && SingleEventsParser::listText(read.array()) == child->data(1).toString() && stored != compactJson(read.array())) {
                result.append(key() + stored);
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

namespace
{
// The settings file as the writer needs it: its events and, where it holds
// one event per line between a "{" line and a "}" line, the line of each.
struct SettingsFile {
    QJsonObject events;
    QStringList lines; // the text split at line feeds, each as it is
    QHash<QString, QString> ownLines; // event -> its line's text without the comma, where a line holds it alone
    QHash<QString, int> lineOf; // event -> index in lines, filled only when linePerEvent
    bool linePerEvent = false;
    int opening = -1; // the index of the "{" line
};

// The text of a line without the white space that ends it.
int contentEnd(const QString &line)
{
    int end = int(line.size());
    while (end > 0 && line.at(end - 1).isSpace()) {
        --end;
    }
    return end;
}

// The line with a comma after its content, or without one.
QString withComma(const QString &line, bool comma)
{
    const int end = contentEnd(line);
    const bool has = end > 0 && line.at(end - 1) == QLatin1Char(',');
    if (has == comma) {
        return line;
    }
    if (comma) {
        return line.left(end) + QLatin1Char(',') + line.mid(end);
    }
    return line.left(end - 1) + line.mid(end);
}

SettingsFile readSettingsFile(const QString &path)
{
    SettingsFile file;
    const FileRead::Result read = FileRead::regular(path, FileRead::ConfigLimit);
    const QJsonDocument document = QJsonDocument::fromJson(read.data);
    QString text;
    QString reason;
    if (!read.ok || !document.isObject() || !TextDecode::utf8(read.data, &text, &reason)) {
        return file;
    }
    // The decoder drops a byte order mark; the file keeps it.
    if (read.data.startsWith("\xEF\xBB\xBF") && !text.startsWith(QChar(0xFEFF))) {
        text.prepend(QChar(0xFEFF));
    }
    file.events = document.object();
    file.lines = text.split(QLatin1Char('\n'));
    static const QRegularExpression eventLine(QStringLiteral("^\\s*(\"(?:[^\"\\\\]|\\\\.)*\"\\s*:.*?),?\\s*$"));
    bool linePerEvent = true;
    int closing = -1;
    for (int index = 0; index < file.lines.size(); ++index) {
        const QString &line = file.lines.at(index);
        QString trimmed = line.trimmed();
        if (index == 0 && trimmed.startsWith(QChar(0xFEFF))) {
            trimmed = trimmed.mid(1).trimmed();
        }
        if (trimmed.isEmpty()) {
            continue;
        }
        if (file.opening < 0 || closing >= 0) {
            linePerEvent = linePerEvent && file.opening < 0 && trimmed == QLatin1String("{");
            file.opening = index;
            continue;
        }
        if (trimmed == QLatin1String("}")) {
            closing = index;
            continue;
        }
        const QRegularExpressionMatch match = eventLine.match(line);
        const QJsonDocument single = QJsonDocument::fromJson(QByteArray("{" + match.captured(1).toUtf8() + "}"));
        if (!match.hasMatch() || !single.isObject() || single.object().size() != 1) {
            linePerEvent = false;
            continue;
        }
        const QString id = single.object().keys().constFirst();
        linePerEvent = linePerEvent && !file.lineOf.contains(id);
        file.lineOf.insert(id, index);
        file.ownLines.insert(id, match.captured(1));
    }
    file.linePerEvent = linePerEvent && closing >= 0 && file.lineOf.size() == file.events.size();
    if (!file.linePerEvent) {
        file.lineOf.clear();
    }
    return file;
}

// Every event of the tree, in tree order.
void forEachEvent(const EventTreeItem *item, const std::function<void(const EventTreeItem *)> &visit)
{
    for (int row = 0; item && row < item->childCount(); ++row) {
        const EventTreeItem *child = item->child(row);
        if (child->kind() == EventTreeItem::Event) {
            visit(child);
        } else {
            forEachEvent(child, visit);
        }
    }
}

// The audit rule lines of an event, whether it is on or not.
QStringList auditRules(const EventTreeItem *event)
{
    const EventTreeItem *rules = event->findChildById(QStringLiteral("message-audit-rules"));
    return rules ? rules->data(1).toString().split(Separator, Qt::SkipEmptyParts) : QStringList();
}

// The lines that enclose the rules Apply writes in a rules file that holds
// the administrator's own lines too.
const QByteArray RulesBegin = QByteArrayLiteral("## begin: the rules of the enabled events; Apply replaces the lines up to the end mark");
const QByteArray RulesEnd = QByteArrayLiteral("## end of the rules of the enabled events");

// The lines of a file, each without its line feed; a last line without one counts too.
QByteArrayList fileLines(const QByteArray &data)
{
    QByteArrayList lines = data.split('\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

QByteArray withoutCarriageReturn(const QByteArray &line)
{
    return line.endsWith('\r') ? line.chopped(1) : line;
}

// The audit rules file with rules as the module's own. What the administrator
// wrote around the marked block stays as it is; a file without the marks is
// the module's where each of its lines is a rule of some event (or blank),
// else its other lines are kept before a new marked block.
QByteArray rulesFile(const QByteArray &present, const QStringList &rules, const QStringList &known)
{
    QByteArray block;
    for (const QString &rule : rules) {
        block += rule.toUtf8() + '\n';
    }
    const QByteArrayList lines = fileLines(present);
    const auto marked = [&lines](const QByteArray &mark) {
        return int(std::find_if(lines.begin(),
                                lines.end(),
                                [&mark](const QByteArray &line) {
                                    return withoutCarriageReturn(line) == mark;
                                })
                   - lines.begin());
    };
    const int begin = marked(RulesBegin);
    const int end = marked(RulesEnd);
    QByteArrayList before;
    QByteArrayList after;
    if (begin < end && end < lines.size()) {
        before = lines.mid(0, begin);
        after = lines.mid(end + 1);
    } else {
        QSet<QByteArray> own;
        for (const QString &rule : known) {
            own.insert(rule.toUtf8());
        }
        for (const QByteArray &line : lines) {
            const QByteArray text = withoutCarriageReturn(line);
            if (!own.contains(text) && !text.trimmed().isEmpty()) {
                before.append(line);
            }
        }
        if (before.isEmpty()) {
            return block;
        }
    }
    QByteArray data;
    for (const QByteArray &line : std::as_const(before)) {
        data += line + '\n';
    }
    data += RulesBegin + '\n' + block + RulesEnd + '\n';
    for (const QByteArray &line : std::as_const(after)) {
        data += line + '\n';
    }
    return data;
}

// An event's line without the leading tab and the trailing comma.
QString eventLine(const EventTreeItem *event)
{
    const QStringList inner = entries(event);
    const QString body = inner.isEmpty() ? QStringLiteral("{ \"enabled\": \"%1\" }").arg(event->checkState() == Qt::Checked ? 1 : 0)
                                         : QLatin1String("{ ") + inner.join(Separator) + QLatin1String(" }");
    return quoted(event->id()) + QLatin1String(" : ") + body;
}

QByteArray joinedLines(const QStringList &fileLines)
{
    QByteArray data;
    for (const QString &line : fileLines) {
        data += line.toUtf8();
        data += '\n';
    }
    return data;
}
} // namespace

QStringList EventsWriter::lines(const TreeItem *root) const
{
    AuditData unused;
    return regenerated(eventLines(dynamic_cast<const EventTreeItem *>(root), nullptr, &unused), dynamic_cast<const EventTreeItem *>(root), false);
}

QList<EventsWriter::KeptEvent> EventsWriter::eventsMissingFromTree(const QString &settingsPath, const EventTreeItem *root)
{
    const SettingsFile file = readSettingsFile(settingsPath);
    if (file.events.isEmpty()) {
        return {};
    }
    QSet<QString> inTree;
    forEachEvent(root, [&inTree](const EventTreeItem *event) {
        inTree.insert(event->id());
    });
    QList<KeptEvent> kept;
    for (auto it = file.events.constBegin(); it != file.events.constEnd(); ++it) {
        if (!inTree.contains(it.key())) {
            const QString line =
                file.ownLines.contains(it.key()) ? file.ownLines.value(it.key()) : quoted(it.key()) + QLatin1String(" : ") + elementText(it.value());
            kept.append({it.key(), line});
        }
    }
    return kept;
}

QList<EventsWriter::EventLine> EventsWriter::eventLines(const EventTreeItem *root, const EventTreeItem *asRead, AuditData *audit) const
{
    QHash<QString, const EventTreeItem *> read; // not owned
    forEachEvent(asRead, [&read, audit](const EventTreeItem *event) {
        read.insert(event->id(), event);
        audit->known += auditRules(event);
    });
    QList<EventLine> result;
    forEachEvent(root, [&](const EventTreeItem *event) {
        audit->known += auditRules(event);
        if (!hasOverlaid(event)) {
            result.append({event->id(), QString(), false, false});
            return;
        }
        const QString line = eventLine(event);
        const EventTreeItem *before = read.value(event->id());
        result.append({event->id(), line, true, before && hasOverlaid(before) && eventLine(before) == line});

        const EventTreeItem *enabled = event->findChildById(QStringLiteral("enabled"));
        const bool on = !enabled || enabled->data(1).toString() == QLatin1String("1");
        const QStringList rules = auditRules(event);
        if (!rules.isEmpty() && on) {
            audit->hasAuditRules = true;
            audit->rules += rules;
            if (!std::all_of(rules.begin(), rules.end(), ParameterValue::isOneLine)) {
                audit->refusals.append(
                    i18n("The audit rules of the event \"%1\" hold a line break or another control character, "
                         "where every rule is one line; nothing was written.",
                         event->id()));
            }
        }
        if (const EventTreeItem *types = event->findChildById(QStringLiteral("message-audit-events"))) {
            (on ? audit->eventsOn : audit->eventsOff) += splitNames(types->data(1).toString());
        }
    });
    return result;
}

QStringList EventsWriter::regenerated(const QList<EventLine> &events, const EventTreeItem *root, bool leaveUnread) const
{
    QJsonObject inFile;
    if (leaveUnread) {
        inFile = readSettingsFile(filePath()).events;
    }
    QStringList eventLines;
    for (const EventLine &event : events) {
        // An event the file does not hold that is as it was read takes its
        // values from the package: nothing to record.
        if (event.written && !(leaveUnread && event.asRead && !inFile.contains(event.id))) {
            eventLines.append(QLatin1Char('\t') + event.line);
        }
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

QByteArray EventsWriter::editedInPlace(const QList<EventLine> &events) const
{
    const SettingsFile file = readSettingsFile(filePath());
    if (!file.linePerEvent) {
        return QByteArray();
    }
    struct Line {
        QString text;
        bool event;
    };
    QVector<Line> kept;
    QSet<int> dropped;
    QHash<int, QString> replaced;
    QStringList added;
    // Added lines end as the file's lines do.
    const QString lineEnd = file.lines.at(file.opening).endsWith(QLatin1Char('\r')) ? QStringLiteral("\r") : QString();
    for (const EventLine &event : events) {
        const int index = file.lineOf.value(event.id, -1);
        if (index < 0) {
            if (event.written && !event.asRead) {
                added.append(QLatin1Char('\t') + event.line + lineEnd);
            }
        } else if (!event.written) {
            dropped.insert(index);
        } else if (!event.asRead) {
            const QString &line = file.lines.at(index);
            const int indent = int(std::find_if(line.begin(),
                                                line.end(),
                                                [](QChar c) {
                                                    return !c.isSpace();
                                                })
                                   - line.begin());
            replaced.insert(index, line.left(indent) + event.line + line.mid(contentEnd(line)));
        }
    }
    int lastEvent = file.opening;
    for (const int index : file.lineOf) {
        lastEvent = std::max(lastEvent, index);
    }
    const QSet<int> eventIndexes(file.lineOf.cbegin(), file.lineOf.cend());
    for (int index = 0; index < file.lines.size(); ++index) {
        if (!dropped.contains(index)) {
            kept.append({replaced.value(index, file.lines.at(index)), eventIndexes.contains(index)});
        }
        if (index == lastEvent) {
            for (const QString &line : std::as_const(added)) {
                kept.append({line, true});
            }
        }
    }
    // Every event line but the last ends with a comma.
    int last = -1;
    for (int index = 0; index < kept.size(); ++index) {
        last = kept.at(index).event ? index : last;
    }
    QStringList result;
    for (int index = 0; index < kept.size(); ++index) {
        const Line &line = kept.at(index);
        result.append(line.event ? withComma(line.text, index != last) : line.text);
    }
    return result.join(QLatin1Char('\n')).toUtf8();
}

bool EventsWriter::write(const TreeItem *root)
{
    prepare(root);
    return commit();
}

void EventsWriter::prepare(const TreeItem *root, const TreeItem *asRead)
{
    m_audit = AuditData();
    const auto *events = dynamic_cast<const EventTreeItem *>(root);
    const auto *read = dynamic_cast<const EventTreeItem *>(asRead);
    const QList<EventLine> lines = eventLines(events, read, &m_audit);
    m_settings = read ? editedInPlace(lines) : QByteArray();
    if (m_settings.isNull()) {
        m_settings = joinedLines(regenerated(lines, events, read));
    }
    m_audit.rules.removeDuplicates();
    m_auditRules =
        rulesFile(FileRead::regular(m_auditRulesPath, FileRead::ConfigLimit).data, m_audit.hasAuditRules ? m_audit.rules : QStringList(), m_audit.known);
}

bool EventsWriter::commit()
{
    m_errors.clear();
    m_auditChanged = false;
    m_writtenSettings.clear();
    // Both files or neither: the rules follow the settings.
    m_errors = m_audit.refusals;
    for (const QString &path : {filePath(), m_auditRulesPath}) {
        if (QFileInfo(path).isSymLink()) {
            m_errors.append(
                i18n("%1 is a symbolic link; Apply writes no file through a link, and wrote neither %2 nor %3. "
                     "Put a regular file in its place to save the event settings.",
                     Paths::unplaced(path),
                     Paths::unplaced(filePath()),
                     Paths::unplaced(m_auditRulesPath)));
        }
    }
    if (!m_errors.isEmpty()) {
        return false;
    }
    bool written = replace(filePath(), m_settings);
    written = replace(m_auditRulesPath, m_auditRules) && written;
    switchAuditTypes(m_audit);
    return written && m_errors.isEmpty();
}

QByteArray EventsWriter::preparedSettings() const
{
    return m_settings;
}

QByteArray EventsWriter::preparedAuditRules() const
{
    return m_auditRules;
}

bool EventsWriter::replace(const QString &path, const QByteArray &data)
{
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
