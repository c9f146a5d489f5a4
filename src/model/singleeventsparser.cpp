#include "singleeventsparser.h"

#include "eventtreeitem.h"
#include "notifiedevents.h"
#include "platform/paths.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMap>

namespace
{
const QString Enabled = QStringLiteral("enabled");
const QString Overlay = QStringLiteral("overlay");
const QString AuditRules = QStringLiteral("message-audit-rules");
const QString AuditKey = QStringLiteral(".auditd.key");

// An empty object for a missing, unreadable or malformed file.
QJsonObject readObject(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QJsonObject();
    }
    return QJsonDocument::fromJson(file.readAll()).object();
}

struct DictionaryEntry {
    bool visible = true;
    bool editable = false;
    bool childrenEditable = false;
    QString russianText;
};

// Read once per process; looked up for every item of every parse.
const QHash<QString, DictionaryEntry> &dictionary()
{
    static const QHash<QString, DictionaryEntry> entries = [] {
        QHash<QString, DictionaryEntry> result;
        const QJsonObject object = readObject(Paths::placed(Paths::EventsDictionary));
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!it.value().isObject()) {
                continue;
            }
            const QJsonObject rules = it.value().toObject();
            DictionaryEntry &entry = result[it.key()];
            entry.visible = rules.value(QLatin1String("visible")).toString() != QLatin1String("false");
            entry.editable = rules.value(QLatin1String("editable")).toString() == QLatin1String("true");
            entry.childrenEditable = rules.value(QLatin1String("children_editable")).toString() == QLatin1String("true");
            entry.russianText = rules.value(QLatin1String("ru")).toString();
        }
        return result;
    }();
    return entries;
}

bool isOne(const QJsonValue &value)
{
    return value.toVariant().toString() == QLatin1String("1");
}

void applyDictionary(EventTreeItem *item, const EventTreeItem *parent)
{
    const auto entry = dictionary().constFind(item->id());
    if (entry == dictionary().cend()) {
        item->setEditable(true);
        return;
    }
    item->setVisible(entry->visible);
    if (!entry->visible) {
        return;
    }
    item->setEditable(entry->editable || (parent && parent->childrenEditable()));
    item->setChildrenEditable(entry->childrenEditable);
    if (SingleEventsParser::russian() && !entry->russianText.isEmpty()) {
        item->setName(entry->russianText);
        item->setData(0, entry->russianText);
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

// The overlay entries are bookkeeping.
void hideOverlayEntry(EventTreeItem *item)
{
    if (item->id().startsWith(Overlay) || item->data(0).toString().startsWith(Overlay)) {
        item->setVisible(false);
    }
}

// A parameter with its subtree. Parameters carry no check box of their own: the
// caller gives the event its box.
std::unique_ptr<EventTreeItem> createItem(const QString &key, const QJsonValue &value, EventTreeItem *parent)
{
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
        json = QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
    } else if (!value.isObject()) {
        const QString scalar = value.isString() ? value.toString() : value.toVariant().toString();
        if (!scalar.isEmpty()) {
            text = scalar;
        }
    }
    auto item = std::make_unique<EventTreeItem>(QVector<QVariant>{key, text, json}, parent);
    item->setId(key);
    item->setKind(kind);
    if (key == AuditRules) {
        parent->setHasAuditRules(true);
    } else if (key == QLatin1String("message-audit-events")) {
        parent->setHasAuditEvents(true);
    }
    // Before the children, so that "children_editable" reaches them.
    applyDictionary(item.get(), parent);
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        item->reserveChildren(object.size());
        for (auto it = object.begin(); it != object.end(); ++it) {
            const QString childKey = it.key();
            const QJsonValue childValue = it.value();
            if (childKey == Enabled && isOne(childValue)) {
                item->setCheckState(Qt::Checked);
            }
            std::unique_ptr<EventTreeItem> child = createItem(childKey, childValue, item.get());
            hideOverlayEntry(child.get());
            item->appendChild(std::move(child));
        }
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!it.key().startsWith(Overlay)) {
                continue;
            }
            if (EventTreeItem *overlaid = item->findChildById(it.value().toString())) {
                markOverlaid(overlaid);
            }
            item->setOverlaid(true);
        }
    }
    return item;
}

// The package defaults with the current settings of one event laid over them.
// Every replaced key is listed in an "overlay<n>" entry of its object.
QJsonObject merge(const QJsonObject &package, const QJsonObject &current)
{
    QJsonObject result = package;
    int counter = 0;
    if (!current.contains(Enabled)) {
        if (!result.contains(Enabled) && result.contains(QLatin1String("message-params"))) {
            result.insert(Enabled, QStringLiteral("1"));
        }
        // The on/off state is always recorded, so that every event keeps its
        // state and its audit data when the settings are written.
        result.insert(Overlay + QLatin1Char('0'), Enabled);
        if (current.isEmpty()) {
            return result;
        }
        counter = 1;
    }
    for (auto it = current.begin(); it != current.end(); ++it) {
        if (package.value(it.key()).isObject() && it.value().isObject()) {
            result.insert(it.key(), merge(result.value(it.key()).toObject(), it.value().toObject()));
        } else {
            result.insert(it.key(), it.value());
            result.insert(Overlay + QString::number(counter++), it.key());
        }
    }
    return result;
}

QString groupName(const QString &systemDir, const QString &dirName)
{
    const QJsonValue params = readObject(Paths::placed(systemDir + QLatin1Char('/') + dirName)).value(QLatin1String("group-params"));
    const QJsonObject names = params.toObject();
    if (SingleEventsParser::russian() && names.contains(QLatin1String("name_ru"))) {
        return names.value(QLatin1String("name_ru")).toString();
    }
    if (names.contains(QLatin1String("name_en"))) {
        return names.value(QLatin1String("name_en")).toString();
    }
    return dirName.simplified();
}

struct Layout {
    QHash<QString, EventTreeItem *> groups; // by directory; not owned
    QMap<QString, QString> eventDirs; // event identifier -> directory, ordered by name
};

// Files and subdirectories by name, listed once for both.
QFileInfoList listDirectory(const QString &placedDir)
{
    return QDir(placedDir).entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

// Adds a group per subdirectory (entries) of systemDir and records the event files of
// the first-level group directories. The first file of a name wins. Deeper
// directories are groups by name only: a package may keep other files there.
void addGroups(const QString &systemDir, const QFileInfoList &entries, EventTreeItem *parent, Layout *layout)
{
    const bool firstLevel = !parent->parentItem();
    for (const QFileInfo &entry : entries) {
        if (!entry.isDir() || entry.isSymLink()) {
            continue;
        }
        const QString name = entry.fileName();
        const QString groupDir = systemDir + QLatin1Char('/') + name;
        auto group = std::make_unique<EventTreeItem>(QVector<QVariant>{groupName(groupDir, name), QVariant()}, parent);
        group->setId(groupDir);
        group->setName(group->data(0).toString());
        group->setKind(EventTreeItem::Group);
        group->setCheckable(true);
        hideOverlayEntry(group.get());
        layout->groups.insert(groupDir, group.get());
        const QFileInfoList groupEntries = listDirectory(entry.filePath());
        for (const QFileInfo &file : groupEntries) {
            const QString fileName = file.fileName();
            if (firstLevel && file.isFile() && fileName != name && !layout->eventDirs.contains(fileName)) {
                layout->eventDirs.insert(fileName, groupDir);
            }
        }
        EventTreeItem *added = group.get();
        parent->appendChild(std::move(group));
        addGroups(groupDir, groupEntries, added, layout);
    }
}

void linkDependencies(const QMap<QString, EventTreeItem *> &events)
{
    for (EventTreeItem *event : events) {
        const EventTreeItem *depends = event->findChildById(QStringLiteral("message-depends"));
        if (!depends) {
            continue;
        }
        const QStringList parts = depends->data(1).toString().split(QLatin1Char(','));
        for (const QString &part : parts) {
            EventTreeItem *target = events.value(part.simplified());
            if (target && target != event && !event->dependsOn().contains(target)) {
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

void markEvent(EventTreeItem *event)
{
    for (const auto &mark : {QStringLiteral("is-not-redirected"), QStringLiteral("generates-load")}) {
        const EventTreeItem *child = event->findChildById(mark);
        if (!child || child->data(1).toString().toInt() == 0) {
            continue;
        }
        if (mark == QLatin1String("generates-load")) {
            event->setGeneratesLoad(true);
        } else {
            event->setNotRedirected(true);
        }
    }
    if (event->hasAuditRules()) {
        if (EventTreeItem *auditKey = event->findById(AuditKey)) {
            auditKey->setHasAuditRules(true);
        }
    }
    if (event->id() == QLatin1String("file-removal")) {
        synthesiseAuditKeys(event);
    }
    const EventTreeItem *messageId = event->findById(QStringLiteral("message_id"));
    if (messageId && NotifiedEvents::contains(messageId->data(1).toString())) {
        event->setNotificationState(EventTreeItem::NotificationsEnabled);
    }
}

// The event's display name from its settings: "name_ru" in Russian (falling back
// to "name_en"), else "name_en"; null when it has neither.
const EventTreeItem *nameItem(const EventTreeItem *event)
{
    const EventTreeItem *russianName = SingleEventsParser::russian() ? event->findById(QStringLiteral("name_ru")) : nullptr;
    return russianName ? russianName : event->findById(QStringLiteral("name_en"));
}
} // namespace

SingleEventsParser::SingleEventsParser(const QString &path, QObject *parent)
    : AbstractConfigParser(path, parent)
{
    dictionary();
}

SingleEventsParser::~SingleEventsParser() = default;

bool SingleEventsParser::russian()
{
    static const bool isRussian = QLocale::system().language() == QLocale::Russian;
    return isRussian;
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

EventTreeItem *SingleEventsParser::parse()
{
    auto root = std::make_unique<EventTreeItem>(QVector<QVariant>{i18n("Parameter"), i18n("Value")});
    Layout layout;
    addGroups(Paths::EventSettingsDir, listDirectory(Paths::placed(Paths::EventSettingsDir)), root.get(), &layout);

    const QJsonObject current = QJsonDocument::fromJson(readFile().toUtf8()).object();
    QMap<QString, EventTreeItem *> events; // by identifier; not owned
    for (auto it = layout.eventDirs.cbegin(); it != layout.eventDirs.cend(); ++it) {
        const QString &id = it.key();
        const QJsonObject package = readObject(Paths::placed(it.value() + QLatin1Char('/') + id));
        if (package.isEmpty()) {
            continue;
        }
        EventTreeItem *group = layout.groups.value(it.value(), root.get());
        std::unique_ptr<EventTreeItem> event = createItem(id, merge(package, current.value(id).toObject()), group);
        event->setKind(EventTreeItem::Event);
        event->setCheckable(true);
        // The identifier, whatever the display language.
        event->setId(id);
        const EventTreeItem *name = nameItem(event.get());
        event->setName(name ? name->data(1).toString() : event->data(0).toString());
        if (name) {
            event->setItemData({event->name(), QVariant(), QVariant()});
        }
        hideOverlayEntry(event.get());
        events.insert(id, event.get());
        group->appendChild(std::move(event));
    }

    for (int row = 0; row < root->childCount(); ++row) {
        root->child(row)->updateGroupCheckState();
    }
    linkDependencies(events);
    for (EventTreeItem *event : qAsConst(events)) {
        markEvent(event);
    }
    return root.release();
}
