#include "singleeventsparser.h"

#include "datalanguage.h"
#include "eventtreeitem.h"
#include "jsontext.h"
#include "notifiedevents.h"
#include "parametervalue.h"
#include "platform/folderentries.h"
#include "platform/paths.h"

#include <KLocalizedString>

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMap>
#include <QSet>
#include <QtConcurrent>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

namespace
{
const QString Enabled = QStringLiteral("enabled");
const QString Overlay = QStringLiteral("overlay");
const QString AuditRules = QStringLiteral("message-audit-rules");
const QString AuditKey = QStringLiteral(".auditd.key");
const QString NamePrefix = QStringLiteral("name_");

using Literals = QHash<QString, QString>;

// More lines than this about one file say nothing more.
constexpr int MaxProblemsPerFile = 10;

// The object of a JSON text; an empty one and a problem when it is not one.
QJsonObject parseJsonObject(const QByteArray &data, QString *problem)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError) {
        *problem = i18n("not valid JSON: %1 at offset %2", error.errorString(), error.offset);
    } else if (!document.isObject()) {
        *problem = i18n("not a JSON object");
    }
    return document.object();
}

struct JsonFile {
    QJsonObject object;
    QString problem; // why the file could not be used; empty when it could or is missing
    QStringList duplicateKeys; // keys an object of the file holds more than once; only one of each is read
};

// One problem per key given twice: the reader keeps only one of them.
QStringList duplicateProblems(const QStringList &keys)
{
    QStringList problems;
    for (const QString &key : keys) {
        problems.append(i18n("key \"%1\" is given more than once; only one of its values is read", key));
    }
    return problems;
}

// The object of a JSON file; an empty one with a problem for a file that is
// there but cannot be read or is not a JSON object.
JsonFile readJsonObject(const QString &placedPath, qint64 maxSize)
{
    JsonFile file;
    const FileRead::Result read = FileRead::regular(placedPath, maxSize);
    if (read.missing) {
        return file;
    }
    if (!read.ok) {
        file.problem = read.error;
        return file;
    }
    file.object = parseJsonObject(read.data, &file.problem);
    // The JSON reader takes a NUL byte inside a string as a character: such a
    // file is no text, and written back it would come out changed.
    if (const int nul = read.data.indexOf('\0'); nul >= 0 && file.problem.isEmpty()) {
        file.problem = i18n("a NUL byte at offset %1", nul);
        file.object = QJsonObject();
    }
    if (file.problem.isEmpty()) {
        file.duplicateKeys = JsonText::scan(read.data).duplicateKeys;
    }
    return file;
}

QString typeName(const QJsonValue &value)
{
    static const QHash<QJsonValue::Type, KLocalizedString> names{
        {QJsonValue::Bool, ki18nc("@item JSON value type", "a boolean")},
        {QJsonValue::Double, ki18nc("@item JSON value type", "a number")},
        {QJsonValue::String, ki18nc("@item JSON value type", "a string")},
        {QJsonValue::Array, ki18nc("@item JSON value type", "an array")},
        {QJsonValue::Object, ki18nc("@item JSON value type", "an object")},
    };
    const auto it = names.constFind(value.type());
    return it == names.cend() ? QStringLiteral("null") : it.value().toString();
}

enum class Expected { Flag, Text, Object, Array };

// The keys of an event whose type this module relies on; "enabled" also below.
const QHash<QString, Expected> &eventLevelTypes()
{
    static const QHash<QString, Expected> keys{
        {Enabled, Expected::Flag},
        {QStringLiteral("is-not-redirected"), Expected::Flag},
        {QStringLiteral("generates-load"), Expected::Flag},
        {QStringLiteral("message_id"), Expected::Text},
        {QStringLiteral("message-depends"), Expected::Text},
        {AuditRules, Expected::Text},
        {QStringLiteral("message-params"), Expected::Object},
        {QStringLiteral("filter-values"), Expected::Object},
        {QStringLiteral("message-audit-events"), Expected::Array},
    };
    return keys;
}

std::optional<Expected> expectedType(const QString &key, bool eventLevel)
{
    if (!eventLevel) {
        return key == Enabled ? std::optional<Expected>(Expected::Flag) : std::nullopt;
    }
    if (key.startsWith(NamePrefix)) {
        return Expected::Text;
    }
    const auto it = eventLevelTypes().constFind(key);
    return it == eventLevelTypes().cend() ? std::nullopt : std::optional<Expected>(*it);
}

// A value of the wrong type read by its plain meaning (true means "1", a number
// stands for its text); undefined when it has none.
QJsonValue plainMeaning(const QJsonValue &value, Expected expected)
{
    if (expected == Expected::Flag && value.isBool()) {
        return QJsonValue(value.toBool() ? QStringLiteral("1") : QStringLiteral("0"));
    }
    if (expected == Expected::Text && value.isDouble()) {
        return QJsonValue(value.toVariant().toString());
    }
    return QJsonValue(QJsonValue::Undefined);
}

// The JSON types of the values read as expected, and how a message names them.
struct Expectation {
    QVector<QJsonValue::Type> types;
    KLocalizedString name;
};

const Expectation &expectation(Expected expected)
{
    static const std::map<Expected, Expectation> expectations{
        {Expected::Flag, {{QJsonValue::Double, QJsonValue::String}, ki18nc("@item JSON value type", "a number or a string")}},
        {Expected::Text, {{QJsonValue::String}, ki18nc("@item JSON value type", "a string")}},
        {Expected::Object, {{QJsonValue::Object}, ki18nc("@item JSON value type", "an object")}},
        {Expected::Array, {{QJsonValue::Array}, ki18nc("@item JSON value type", "an array")}},
    };
    return expectations.at(expected);
}

bool hasType(const QJsonValue &value, Expected expected)
{
    return expectation(expected).types.contains(value.type());
}

QString expectedName(Expected expected)
{
    return expectation(expected).name.toString();
}

// Whether a value below has a type normaliseTypes would change. Read without
// writing: changing an object copies it and every object above it.
// The keys are looked up rather than read: reading a key makes a string.
bool hasWrongTypes(const QJsonObject &object, bool eventLevel)
{
    for (const QJsonValue &value : object) {
        if (value.isObject() && hasWrongTypes(value.toObject(), false)) {
            return true;
        }
    }
    const auto wrong = [&object](const QString &key, Expected expected) {
        const QJsonValue value = object.value(key);
        return !value.isUndefined() && !hasType(value, expected);
    };
    if (!eventLevel) {
        return wrong(Enabled, Expected::Flag);
    }
    const QHash<QString, Expected> &types = eventLevelTypes();
    for (auto it = types.cbegin(); it != types.cend(); ++it) {
        if (wrong(it.key(), it.value())) {
            return true;
        }
    }
    return false;
}

// Reads the values this module interprets by their meaning when they have the
// wrong JSON type, and drops those that have none; one reason per value.
// Returns whether the object changed.
bool normaliseTypes(QJsonObject *object, const QString &event, const QString &keyPath, QStringList *reasons)
{
    if (!hasWrongTypes(*object, keyPath.isEmpty())) {
        return false;
    }
    // Built anew in key order, which appends each key: changing the object in
    // place would copy all of it at every key while a value read from it is held.
    bool changed = false;
    QJsonObject normalised;
    for (auto it = object->constBegin(); it != object->constEnd(); ++it) {
        const QString path = keyPath.isEmpty() ? it.key() : keyPath + QLatin1Char('/') + it.key();
        QJsonValue value = it.value();
        if (value.isObject()) {
            QJsonObject child = value.toObject();
            if (normaliseTypes(&child, event, path, reasons)) {
                value = child;
                changed = true;
            }
        }
        const std::optional<Expected> expected = expectedType(it.key(), keyPath.isEmpty());
        if (expected && !hasType(value, *expected)) {
            changed = true;
            const QJsonValue meaning = plainMeaning(value, *expected);
            if (meaning.isUndefined()) {
                reasons->append(i18n("event \"%1\", key \"%2\": %3 where %4 is expected; ignored", event, path, typeName(value), expectedName(*expected)));
                continue;
            }
            reasons->append(i18n("event \"%1\", key \"%2\": %3 where %4 is expected; read as \"%5\"",
                                 event,
                                 path,
                                 typeName(value),
                                 expectedName(*expected),
                                 meaning.toString()));
            value = meaning;
        }
        normalised.insert(it.key(), value);
    }
    if (changed) {
        *object = normalised;
    }
    return changed;
}

// At most MaxProblemsPerFile reasons and how many more there were.
QStringList capped(const QStringList &reasons)
{
    if (reasons.size() <= MaxProblemsPerFile) {
        return reasons;
    }
    return reasons.mid(0, MaxProblemsPerFile) << i18np("%1 more problem", "%1 more problems", reasons.size() - MaxProblemsPerFile);
}

struct DictionaryEntry {
    bool visible = true;
    bool editable = false;
    bool childrenEditable = false;
    QString name; // in the data language; empty when the dictionary gives none
    ParameterValue::Range range;
};

struct Dictionary {
    QHash<QString, DictionaryEntry> entries;
    QStringList problems;
    // False when the file is there but could not be read: nothing is known
    // about which items are internal, so none is offered for editing.
    bool usable = true;
};

// "true"/"false" as strings or JSON booleans; anything else is reported.
bool dictionaryFlag(const QJsonObject &rules, const QString &id, const QString &key, bool fallback, QStringList *problems)
{
    const QJsonValue value = rules.value(key);
    if (value.isBool()) {
        return value.toBool();
    }
    if (value.isString() || value.isUndefined()) {
        const QString text = value.toString();
        return fallback ? text != QLatin1String("false") : text == QLatin1String("true");
    }
    problems->append(i18n("entry \"%1\", key \"%2\": %3 where \"true\" or \"false\" is expected; ignored", id, key, typeName(value)));
    return fallback;
}

// A whole number as a JSON number or string; anything else is reported.
std::optional<qlonglong> dictionaryLimit(const QJsonObject &rules, const QString &id, const QString &key, QStringList *problems)
{
    const QJsonValue value = rules.value(key);
    if (value.isUndefined()) {
        return std::nullopt;
    }
    bool whole = false;
    const qlonglong limit = QLocale::c().toLongLong(value.toVariant().toString(), &whole);
    if ((!value.isDouble() && !value.isString()) || !whole) {
        problems->append(i18n("entry \"%1\", key \"%2\": a whole number is expected; ignored", id, key));
        return std::nullopt;
    }
    return limit;
}

// Read once per process; looked up for every item of every parse.
const Dictionary &dictionary()
{
    static const Dictionary loaded = [] {
        Dictionary result;
        const QString path = Paths::placed(Paths::EventsDictionary);
        const JsonFile file = readJsonObject(path, FileRead::SmallFileLimit);
        if (!file.problem.isEmpty()) {
            result.usable = false;
            result.problems.append(path + QLatin1String(": ") + file.problem);
            return result;
        }
        QStringList reasons = duplicateProblems(file.duplicateKeys);
        for (auto it = file.object.begin(); it != file.object.end(); ++it) {
            if (!it.value().isObject()) {
                reasons.append(i18n("entry \"%1\": %2 where an object is expected; ignored", it.key(), typeName(it.value())));
                continue;
            }
            const QJsonObject rules = it.value().toObject();
            DictionaryEntry &entry = result.entries[it.key()];
            entry.visible = dictionaryFlag(rules, it.key(), QStringLiteral("visible"), true, &reasons);
            entry.editable = dictionaryFlag(rules, it.key(), QStringLiteral("editable"), false, &reasons);
            entry.childrenEditable = dictionaryFlag(rules, it.key(), QStringLiteral("children_editable"), false, &reasons);
            entry.name = DataLanguage::text(rules, QString());
            entry.range = {dictionaryLimit(rules, it.key(), QStringLiteral("minimum"), &reasons),
                           dictionaryLimit(rules, it.key(), QStringLiteral("maximum"), &reasons)};
            // No value would fit: which of the two is wrong is not known.
            if (entry.range.minimum && entry.range.maximum && *entry.range.minimum > *entry.range.maximum) {
                reasons.append(i18n("entry \"%1\", key \"minimum\": %2 is above the \"maximum\" %3; neither limit is applied",
                                    it.key(),
                                    *entry.range.minimum,
                                    *entry.range.maximum));
                entry.range = {};
            }
        }
        for (const QString &reason : capped(reasons)) {
            result.problems.append(path + QLatin1String(": ") + reason);
        }
        return result;
    }();
    return loaded;
}

bool isOne(const QJsonValue &value)
{
    return value.toVariant().toString() == QLatin1String("1");
}

// mayHide is false for an event: an entry that hides a parameter of the
// event's name does not hide the event.
void applyDictionary(EventTreeItem *item, const EventTreeItem *parent, bool mayHide = true)
{
    const Dictionary &rules = dictionary();
    const auto entry = rules.entries.constFind(item->id());
    if (entry == rules.entries.cend()) {
        item->setEditable(rules.usable);
        return;
    }
    if (mayHide && !entry->visible) {
        item->setVisible(false);
        return;
    }
    item->setEditable(entry->editable || (parent && parent->childrenEditable()));
    item->setChildrenEditable(entry->childrenEditable);
    if (!entry->name.isEmpty()) {
        item->setName(entry->name);
        item->setData(0, entry->name);
    }
}

// The whole value came from the current settings, so everything below it did too.
void markOverlaid(EventTreeItem *item)
{
    item->setOverlaid(true);
    for (int row = 0; row < item->childCount(); ++row) {
        markOverlaid(item->child(row));
    }
}

// A parameter with its subtree. Parameters carry no check box of their own: the
// caller gives the event its box.
// The parent learns which of its children carry audit data.
void markAuditParent(const QString &key, EventTreeItem *parent)
{
    if (key == AuditRules) {
        parent->setHasAuditRules(true);
    } else if (key == QLatin1String("message-audit-events")) {
        parent->setHasAuditEvents(true);
    }
}

// Keys, and many values, repeat across thousands of events: each thread keeps
// one copy of every distinct key and short value it met, and the items share
// it. The table stops growing at a size that bounds what it keeps for the life
// of the thread.
QString interned(const QString &text)
{
    constexpr int MaxInterned = 4096;
    thread_local QSet<QString> table;
    const auto found = table.constFind(text);
    if (found != table.cend()) {
        return *found;
    }
    if (table.size() < MaxInterned) {
        table.insert(text);
    }
    return text;
}

// Names, messages and paths mostly differ from event to event: not worth a look-up.
constexpr int MaxSharedValueLength = 16;

// What the values of one event bring beside their JSON, by object path
// (JsonText::pathKey()): the keys of each object that came from the current
// settings, and the current settings' own texts of the values Qt's reader
// does not keep.
struct ValueSources {
    QHash<QString, QStringList> overlaid;
    const Literals *literals = nullptr; // null when the event has no current settings
};

// An event takes from the dictionary its name and whether it is editable;
// what hides a parameter of the same key never hides it.
enum class Level { Event, Parameter };

// The parent is only read (the dictionary's "children_editable"), so that
// events can be built on several threads under their common group; the caller
// appends the item and marks the parent (markAuditParent). path is the
// value's own.
std::unique_ptr<EventTreeItem> createItem(const QString &key,
                                          const QJsonValue &value,
                                          const EventTreeItem *parent,
                                          const ValueSources &sources,
                                          const QString &path,
                                          Level level = Level::Parameter)
{
    const QString literal = sources.literals ? sources.literals->value(path) : QString();
    // The columns are complete before the item exists: one allocation for them.
    int kind = EventTreeItem::Parameter;
    QVariant text;
    QVariant json;
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        const bool hasObjects = std::any_of(array.begin(), array.end(), [](const QJsonValue &element) {
            return element.isObject();
        });
        kind = hasObjects ? EventTreeItem::ObjectListParameter : EventTreeItem::ListParameter;
        text = SingleEventsParser::listText(array);
        json = literal.startsWith(QLatin1Char('[')) ? literal : QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
    } else if (!value.isObject()) {
        const bool kept = (value.isDouble() || value.isNull()) && !literal.isEmpty() && !literal.startsWith(QLatin1Char('{'));
        const QString scalar = kept ? JsonText::shownText(literal) : value.isString() ? value.toString() : value.toVariant().toString();
        if (!scalar.isEmpty()) {
            text = scalar.size() <= MaxSharedValueLength ? interned(scalar) : scalar;
        }
        if (kept) {
            json = literal;
        }
    } else if (value.toObject().isEmpty() && literal.startsWith(QLatin1Char('{'))) {
        json = literal;
    }
    auto item = std::make_unique<EventTreeItem>(std::initializer_list<QVariant>{key, text, json});
    item->setId(key);
    item->setKind(kind);
    if (value.isDouble()) {
        const double number = value.toDouble();
        item->setValueKind(number == std::floor(number) ? ParameterValue::Kind::WholeNumber : ParameterValue::Kind::Number);
    } else if (value.isBool()) {
        item->setValueKind(ParameterValue::Kind::Boolean);
    }
    // Before the children, so that "children_editable" reaches them.
    applyDictionary(item.get(), parent, level == Level::Parameter);
    if (!value.isObject()) {
        return item;
    }
    const QJsonObject object = value.toObject();
    const QStringList overlaidKeys = sources.overlaid.value(path);
    // The hidden "overlay<n>" entries among the keys in key order, as if the
    // object held them; they are bookkeeping whatever their names.
    QStringList entryNames;
    for (int n = 0; n < overlaidKeys.size(); ++n) {
        entryNames.append(Overlay + QString::number(n));
    }
    std::sort(entryNames.begin(), entryNames.end());
    const auto appendEntries = [&](const QString *before) {
        while (!entryNames.isEmpty() && (!before || entryNames.constFirst() < *before)) {
            const QString name = entryNames.takeFirst();
            std::unique_ptr<EventTreeItem> entry =
                createItem(name, QJsonValue(overlaidKeys.at(name.mid(Overlay.size()).toInt())), item.get(), ValueSources(), QString());
            entry->setVisible(false);
            item->appendChild(std::move(entry));
        }
    };
    item->reserveChildren(object.size() + overlaidKeys.size());
    // Through a hash: an event may list every one of many keys.
    QHash<QString, EventTreeItem *> children; // not owned
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString childKey = interned(it.key());
        const QJsonValue childValue = it.value();
        if (childKey == Enabled && isOne(childValue)) {
            item->setCheckState(Qt::Checked);
        }
        appendEntries(&childKey);
        // Paths are needed only where something is kept by them.
        const bool pathNeeded = sources.literals || childValue.isObject();
        std::unique_ptr<EventTreeItem> child =
            createItem(childKey, childValue, item.get(), sources, pathNeeded ? JsonText::pathKey(path, childKey) : QString());
        markAuditParent(childKey, item.get());
        if (!overlaidKeys.isEmpty()) {
            children.insert(childKey, child.get());
        }
        item->appendChild(std::move(child));
    }
    appendEntries(nullptr);
    if (!overlaidKeys.isEmpty()) {
        for (const QString &overlaidKey : overlaidKeys) {
            if (EventTreeItem *overlaid = children.value(overlaidKey)) {
                markOverlaid(overlaid);
            }
        }
        item->setOverlaid(true);
    }
    return item;
}

// The package defaults with the current settings of one event laid over them.
// The keys of each object whose values came from the current settings go
// into *overlaid by the object's path (JsonText::pathKey()), "enabled" first
// when the current settings leave it to the package.
QJsonObject merge(QJsonObject package, const QJsonObject &current, const QString &path, QHash<QString, QStringList> *overlaid)
{
    if (current.isEmpty()) {
        // Most events: the package's object keeps its keys in order, so the
        // mark goes in directly.
        if (!package.contains(Enabled) && package.contains(QStringLiteral("message-params"))) {
            package.insert(Enabled, QStringLiteral("1"));
        }
        overlaid->insert(path, {Enabled});
        return package;
    }
    // Gathered in key order and inserted once at the end: an object takes each
    // new key in its place, moving every key after it.
    QMap<QString, QJsonValue> result;
    // Read through const iterators: the values taken share the object, and a
    // non-const end() would copy it whole at every key.
    for (auto it = package.constBegin(); it != package.constEnd(); ++it) {
        result.insert(it.key(), it.value());
    }
    QStringList keys;
    if (!current.contains(Enabled)) {
        if (!result.contains(Enabled) && result.contains(QStringLiteral("message-params"))) {
            result.insert(Enabled, QStringLiteral("1"));
        }
        // The on/off state is always recorded, so that every event keeps its
        // state and its audit data when the settings are written.
        keys.append(Enabled);
    }
    for (auto it = current.begin(); it != current.end(); ++it) {
        if (package.value(it.key()).isObject() && it.value().isObject()) {
            result.insert(it.key(), merge(result.value(it.key()).toObject(), it.value().toObject(), JsonText::pathKey(path, it.key()), overlaid));
        } else {
            result.insert(it.key(), it.value());
            keys.append(it.key());
        }
    }
    if (!keys.isEmpty()) {
        overlaid->insert(path, keys);
    }
    QJsonObject merged;
    for (auto it = result.cbegin(); it != result.cend(); ++it) {
        merged.insert(it.key(), it.value());
    }
    return merged;
}

QString groupName(const QString &systemDir, const QString &dirName, QStringList *problems)
{
    const QString path = Paths::placed(systemDir + QLatin1Char('/') + dirName);
    const JsonFile file = readJsonObject(path, FileRead::SmallFileLimit);
    if (!file.problem.isEmpty()) {
        problems->append(path + QLatin1String(": ") + file.problem);
    }
    for (const QString &problem : duplicateProblems(file.duplicateKeys)) {
        problems->append(path + QLatin1String(": ") + problem);
    }
    const QJsonValue params = file.object.value(QLatin1String("group-params"));
    if (!params.isUndefined() && !params.isObject()) {
        problems->append(path + QLatin1String(": ")
                         + i18n("key \"group-params\": %1 where an object is expected; the folder's name is shown", typeName(params)));
    }
    const QJsonObject names = params.toObject();
    for (auto it = names.begin(); it != names.end(); ++it) {
        if (it.key().startsWith(NamePrefix) && !it.value().isString()) {
            problems->append(path + QLatin1String(": ")
                             + i18n("key \"group-params/%1\": %2 where a string is expected; ignored", it.key(), typeName(it.value())));
        }
    }
    const QString name = DataLanguage::text(names, NamePrefix);
    return name.isEmpty() ? dirName.simplified() : name;
}

struct Layout {
    QHash<QString, EventTreeItem *> groups; // by directory; not owned
    std::vector<std::pair<QString, QString>> eventDirs; // event identifier -> directory; sorted by name once complete
    QHash<QString, QString> eventNames; // the identifiers in eventDirs -> their directory
    QStringList problems; // files that could not be read, one line each
};

// The entries of a folder whose names are not UTF-8 (left out of its
// listing, since such a name could not be opened again): one problem line
// each, with the name as shown.
QStringList undecodableNames(const QString &placedDir, const QByteArrayList &names, const QString &consequence)
{
    QStringList problems;
    for (const QByteArray &name : names) {
        problems.append(placedDir + QLatin1Char('/') + QFile::decodeName(name) + QLatin1String(": ") + i18n("a name that is not UTF-8; %1", consequence));
    }
    return problems;
}

// What an entry of the package is, as far as the reader cares.
enum class EntryKind { File, Folder, Refused };

// The kind of an entry of the package, and for a refused one why it is not
// read. Links to a regular file are read as the file; a link to a folder, to
// anything else or to nothing, a FIFO or a device is refused, and so is a
// name that starts with a dot (undecodableNames finds those not UTF-8).
EntryKind entryKind(const FolderEntries &listing, int index, QString *reason)
{
    const QFileInfo &entry = listing.entries.at(index);
    const QString name = entry.fileName();
    if (name.startsWith(QLatin1Char('.'))) {
        *reason = i18n("a name that starts with a dot");
        return EntryKind::Refused;
    }
    if (listing.plainFiles.at(index)) {
        return EntryKind::File;
    }
    if (entry.isSymLink() && !entry.exists()) {
        *reason = i18n("a link to nothing or a link loop");
        return EntryKind::Refused;
    }
    if (entry.isDir()) {
        if (entry.isSymLink()) {
            *reason = i18n("a symbolic link to a folder");
            return EntryKind::Refused;
        }
        return EntryKind::Folder;
    }
    if (entry.isFile()) {
        return EntryKind::File;
    }
    *reason = entry.isSymLink() ? i18n("a link to something that is not a regular file") : i18n("not a regular file");
    return EntryKind::Refused;
}

// A group folder as read on any thread: its name and what it holds.
struct GroupFolder {
    QFileInfo dir;
    QString name;
    QStringList problems; // about the group file
    FolderEntries listing;
};

// Adds a group per subdirectory (entries) of systemDir and records the event files of
// the first-level group directories. The first file of a name wins. Deeper
// directories are groups by name only: a package may keep other files there.
// Whatever stands where a group or an event is expected and is not read is
// named in the problems.
void addGroups(const QString &systemDir, const FolderEntries &listing, EventTreeItem *parent, Layout *layout)
{
    const bool topLevel = !parent->parentItem();
    const bool inFirstLevelGroup = parent->parentItem() && !parent->parentItem()->parentItem();
    std::vector<GroupFolder> folders;
    for (int index = 0; index < listing.entries.size(); ++index) {
        const QFileInfo &entry = listing.entries.at(index);
        QString reason;
        const EntryKind kind = entryKind(listing, index, &reason);
        if (kind == EntryKind::Folder) {
            folders.push_back({entry, QString(), QStringList(), FolderEntries()});
        } else if (kind == EntryKind::Refused && (topLevel || inFirstLevelGroup) && entry.fileName() != QFileInfo(systemDir).fileName()) {
            // (A group file that cannot be read is named by groupName.)
            layout->problems.append(entry.filePath() + QLatin1String(": ")
                                    + (topLevel ? i18n("%1; no group is read from it", reason) : i18n("%1; no event is read from it", reason)));
        } else if (kind == EntryKind::File && topLevel) {
            layout->problems.append(entry.filePath() + QLatin1String(": ") + i18n("a file where a group folder is expected; not read"));
        }
    }
    // Listing a hundred folders of fifty files each takes long enough to be
    // done on every core; the groups are added in order afterwards.
    // The folders found here are first-level groups when the parent is the root.
    const bool firstLevel = topLevel;
    QtConcurrent::blockingMap(folders, [&systemDir, firstLevel](GroupFolder &folder) {
        const QString name = folder.dir.fileName();
        folder.name = groupName(systemDir + QLatin1Char('/') + name, name, &folder.problems);
        // Every entry by name, links and special files too: what is passed
        // over is named, never dropped without a word.
        folder.listing = FolderEntries::read(folder.dir.filePath());
        if (firstLevel) {
            folder.problems.append(undecodableNames(folder.dir.filePath(), folder.listing.undecodable, i18n("no event is read from it")));
        }
        if (folder.listing.entries.isEmpty() && folder.problems.isEmpty()) {
            folder.problems.append(folder.dir.filePath() + QLatin1String(": ") + i18n("an empty folder; no event or group is read from it"));
        }
    });
    for (const GroupFolder &folder : folders) {
        const QString name = folder.dir.fileName();
        const QString groupDir = systemDir + QLatin1Char('/') + name;
        layout->problems.append(folder.problems);
        auto group = std::make_unique<EventTreeItem>(QVector<QVariant>{folder.name, QVariant()}, parent);
        group->setId(groupDir);
        group->setName(folder.name);
        group->setKind(EventTreeItem::Group);
        group->setCheckable(true);
        layout->groups.insert(groupDir, group.get());
        for (int index = 0; topLevel && index < folder.listing.entries.size(); ++index) {
            const QFileInfo &file = folder.listing.entries.at(index);
            const QString fileName = file.fileName();
            QString reason;
            if (fileName == name || entryKind(folder.listing, index, &reason) != EntryKind::File) {
                continue;
            }
            const auto earlier = layout->eventNames.constFind(fileName);
            if (earlier != layout->eventNames.cend()) {
                layout->problems.append(file.filePath() + QLatin1String(": ") + i18n("an event of this name is read from %1 already; not read", *earlier));
                continue;
            }
            layout->eventNames.insert(fileName, groupDir);
            layout->eventDirs.emplace_back(fileName, groupDir);
        }
        EventTreeItem *added = group.get();
        parent->appendChild(std::move(group));
        addGroups(groupDir, folder.listing, added, layout);
    }
}

// The events in name order, and the same by identifier.
void linkDependencies(const std::vector<EventTreeItem *> &events, const QHash<QString, EventTreeItem *> &byId)
{
    for (EventTreeItem *event : events) {
        const EventTreeItem *depends = event->findChildById(QStringLiteral("message-depends"));
        if (!depends) {
            continue;
        }
        const QStringList ids = ParameterValue::listElements(depends->data(1).toString());
        // A set rather than the list's own search: one event may depend on all.
        QSet<const EventTreeItem *> linked;
        for (const QString &id : ids) {
            EventTreeItem *target = byId.value(id);
            if (target && target != event && !linked.contains(target)) {
                linked.insert(target);
                event->addDependsOn(target);
                target->addDependent(event);
            }
        }
    }
}

// Fills in the audit keys of "file-removal" from its audit rules: the key is
// the last word of each rule.
void synthesiseAuditKeys(EventTreeItem *event)
{
    const EventTreeItem *rules = event->findById(AuditRules);
    QStringList keys;
    const QStringList lines = rules ? rules->data(1).toString().split(QStringLiteral(", ")) : QStringList();
    for (const QString &line : lines) {
        const QString key = line.simplified().section(QLatin1Char(' '), -1);
        if (!key.isEmpty() && !keys.contains(key)) {
            keys.append(key);
        }
    }
    EventTreeItem *auditKey = event->findById(AuditKey);
    if (!auditKey) {
        EventTreeItem *filterValues = event->findById(QStringLiteral("filter-values"));
        if (!filterValues) {
            return;
        }
        auto created = std::make_unique<EventTreeItem>(QVector<QVariant>{AuditKey, QVariant(), QVariant()}, filterValues);
        created->setKind(EventTreeItem::ListParameter);
        created->setId(AuditKey);
        applyDictionary(created.get(), filterValues);
        auditKey = created.get();
        filterValues->appendChild(std::move(created));
    }
    auditKey->setHasAuditRules(true);
    auditKey->setData(1, keys.join(QStringLiteral(", ")));
}

// Every mark is set both ways, so that marking a tree again after its values
// changed gives what a new parse gives.
void markEvent(EventTreeItem *event)
{
    const auto markSet = [event](const QString &mark) {
        const EventTreeItem *child = event->findChildById(mark);
        return child && child->data(1).toString().toInt() != 0;
    };
    event->setNotRedirected(markSet(QStringLiteral("is-not-redirected")));
    event->setGeneratesLoad(markSet(QStringLiteral("generates-load")));
    if (event->hasAuditRules()) {
        if (EventTreeItem *auditKey = event->findById(AuditKey)) {
            auditKey->setHasAuditRules(true);
        }
    }
    if (event->id() == QLatin1String("file-removal")) {
        synthesiseAuditKeys(event);
    }
    const EventTreeItem *messageId = event->findById(QStringLiteral("message_id"));
    const bool notified = messageId && NotifiedEvents::contains(messageId->data(1).toString());
    event->setNotificationState(notified ? EventTreeItem::NotificationsEnabled : EventTreeItem::NotificationsOff);
}

// The event's display name from its settings: "name_<language>" in the data
// language, falling back to "name_en"; null when it has neither.
const EventTreeItem *nameItem(const EventTreeItem *event)
{
    for (const QString &language : DataLanguage::lookupOrder()) {
        if (const EventTreeItem *name = event->findById(NamePrefix + language)) {
            return name;
        }
    }
    return nullptr;
}
// One event to read and build: filled in on the GUI thread, built on any.
struct EventJob {
    QString id;
    QString path; // placed
    QJsonObject current; // the event's current settings
    const Literals *literals = nullptr; // those of the current settings; null when the event has none
    EventTreeItem *group = nullptr; // not owned; only read while the job is built
    std::unique_ptr<EventTreeItem> event; // null when the file gave nothing
    QStringList problems;
};

// Touches nothing but the job, the read-only group and the process-wide
// tables, which are complete before any job starts.
void buildEvent(EventJob &job)
{
    JsonFile file = readJsonObject(job.path, FileRead::SmallFileLimit);
    QStringList reasons = duplicateProblems(file.duplicateKeys);
    if (!file.problem.isEmpty()) {
        reasons.append(file.problem);
    }
    normaliseTypes(&file.object, job.id, QString(), &reasons);
    for (const QString &reason : capped(reasons)) {
        job.problems.append(job.path + QLatin1String(": ") + reason);
    }
    if (file.object.isEmpty()) {
        return;
    }
    const QString path = JsonText::pathKey(QString(), job.id);
    ValueSources sources;
    sources.literals = job.current.isEmpty() ? nullptr : job.literals;
    const QJsonObject merged = merge(std::move(file.object), job.current, path, &sources.overlaid);
    std::unique_ptr<EventTreeItem> event = createItem(job.id, merged, job.group, sources, path, Level::Event);
    event->setKind(EventTreeItem::Event);
    event->setCheckable(true);
    // The identifier, whatever the display language.
    event->setId(job.id);
    const EventTreeItem *name = nameItem(event.get());
    event->setName(name ? name->data(1).toString() : event->data(0).toString());
    if (name) {
        event->setItemData({event->name(), QVariant(), QVariant()});
    }
    markEvent(event.get());
    job.event = std::move(event);
}
} // namespace

SingleEventsParser::SingleEventsParser(const QString &path, QObject *parent)
    : AbstractConfigParser(path, parent)
{
    // Both before any event is built on another thread.
    DataLanguage::lookupOrder();
    dictionary();
}

SingleEventsParser::~SingleEventsParser() = default;

ParameterValue::Range SingleEventsParser::valueRange(const QString &key)
{
    return dictionary().entries.value(key).range;
}

QString SingleEventsParser::listText(const QJsonArray &array)
{
    QStringList texts;
    for (const QJsonValue &element : array) {
        if (element.isString()) {
            texts.append(element.toString());
        } else if (element.isObject() && element.toObject().contains(QLatin1String("path"))) {
            texts.append(element.toObject().value(QLatin1String("path")).toVariant().toString());
        }
    }
    return texts.join(QStringLiteral(", "));
}

SingleEventsParser::CurrentSettings SingleEventsParser::readCurrentSettingsText(const QByteArray &data)
{
    CurrentSettings read;
    if (data.isEmpty()) {
        return read;
    }
    QString problem;
    const QJsonObject settings = parseJsonObject(data, &problem);
    if (!problem.isEmpty()) {
        read.damage.append(problem);
        return read;
    }
    JsonText::Scan scan = JsonText::scan(data);
    read.literals = std::move(scan.literals);
    // Written back, the file would hold only one of them.
    read.damage = duplicateProblems(scan.duplicateKeys);
    // Built anew, as in normaliseTypes: erasing keys one by one moves all after them.
    QStringList reasons;
    for (auto it = settings.constBegin(); it != settings.constEnd(); ++it) {
        if (!it.value().isObject()) {
            reasons.append(i18n("event \"%1\": %2 where an object is expected; ignored", it.key(), typeName(it.value())));
            continue;
        }
        QJsonObject event = it.value().toObject();
        normaliseTypes(&event, it.key(), QString(), &reasons);
        read.events.insert(it.key(), event);
    }
    read.damage += capped(reasons);
    return read;
}

QJsonObject SingleEventsParser::readCurrentSettings(QHash<QString, QString> *literals)
{
    const QString text = readFile();
    if (!damaged()) {
        // A missing or empty file is a system whose settings were never saved.
        setErrorString(QString());
    }
    CurrentSettings read = readCurrentSettingsText(text.toUtf8());
    for (const QString &reason : std::as_const(read.damage)) {
        markDamaged(reason);
    }
    *literals = std::move(read.literals);
    return read.events;
}

EventTreeItem *SingleEventsParser::parse()
{
    auto root = std::make_unique<EventTreeItem>(QVector<QVariant>{i18n("Parameter"), i18n("Value")});
    Layout layout;
    const QString package = Paths::placed(Paths::EventSettingsDir);
    const FolderEntries listing = FolderEntries::read(package);
    layout.problems = undecodableNames(package, listing.undecodable, i18n("no group is read from it"));
    addGroups(Paths::EventSettingsDir, listing, root.get(), &layout);

    // Looked up once per event: a hash rather than the object's own search.
    QHash<QString, QJsonObject> current;
    Literals literals;
    const QJsonObject currentSettings = readCurrentSettings(&literals);
    for (auto it = currentSettings.begin(); it != currentSettings.end(); ++it) {
        current.insert(it.key(), it.value().toObject());
    }
    for (const QString &problem : std::as_const(layout.problems)) {
        addProblem(problem);
    }
    for (const QString &problem : dictionary().problems) {
        addProblem(problem);
    }
    // Reading and building the events is most of the time: it runs on every
    // core, and the events join their groups afterwards in name order.
    std::vector<EventJob> jobs;
    jobs.reserve(size_t(layout.eventDirs.size()));
    // Placed once per group rather than once per event.
    QHash<QString, QString> placedDirs;
    // In the order of QString's operator<, compared without a call per character.
    const auto utf16 = [](const QString &text) {
        return std::u16string_view(reinterpret_cast<const char16_t *>(text.constData()), size_t(text.size()));
    };
    std::sort(layout.eventDirs.begin(), layout.eventDirs.end(), [&utf16](const auto &a, const auto &b) {
        return utf16(a.first) < utf16(b.first);
    });
    for (const auto &[id, dir] : layout.eventDirs) {
        auto placedDir = placedDirs.find(dir);
        if (placedDir == placedDirs.end()) {
            placedDir = placedDirs.insert(dir, Paths::placed(dir));
        }
        EventJob job;
        job.id = id;
        job.path = *placedDir + QLatin1Char('/') + id;
        job.current = current.value(id);
        job.literals = &literals;
        job.group = layout.groups.value(dir, root.get());
        jobs.push_back(std::move(job));
    }
    QtConcurrent::blockingMap(jobs, buildEvent);

    std::vector<EventTreeItem *> events; // in name order; not owned
    events.reserve(jobs.size());
    QHash<QString, EventTreeItem *> eventsById; // not owned
    eventsById.reserve(int(jobs.size()));
    for (EventJob &job : jobs) {
        for (const QString &problem : std::as_const(job.problems)) {
            addProblem(problem);
        }
        if (!job.event) {
            continue;
        }
        markAuditParent(job.id, job.group);
        events.push_back(job.event.get());
        eventsById.insert(job.id, job.event.get());
        job.group->appendChild(std::move(job.event));
    }

    for (int row = 0; row < root->childCount(); ++row) {
        root->child(row)->updateGroupCheckState();
    }
    linkDependencies(events, eventsById);
    return root.release();
}

void SingleEventsParser::markEvents(EventTreeItem *item)
{
    std::vector<EventTreeItem *> events; // not owned
    std::function<void(EventTreeItem *)> collect = [&](EventTreeItem *parent) {
        for (int row = 0; row < parent->childCount(); ++row) {
            EventTreeItem *child = parent->child(row);
            if (child->kind() == EventTreeItem::Group) {
                collect(child);
            } else if (child->kind() == EventTreeItem::Event) {
                events.push_back(child);
            }
        }
    };
    collect(item);
    // Each event is marked from its own subtree, as a parse marks it.
    QtConcurrent::blockingMap(events, markEvent);
}
