#include "checkabletreemodel.h"

#include "modellog.h"

#include "eventtreeitem.h"
#include "parametereditor.h"
#include "parametervalue.h"
#include "singleeventsparser.h"

#include <KLocalizedString>

#include <QBrush>
#include <QIcon>
#include <QPainter>

#include <algorithm>
#include <array>
#include <utility>

namespace
{
const QString Enabled = QStringLiteral("enabled");

// Breeze has no icon of this name.
QIcon notificationIcon()
{
    // The monochrome status icon, drawn as the other marks are; the colourful
    // application icon only where the theme has no such icon.
    return QIcon::fromTheme(QStringLiteral("notifications"), QIcon::fromTheme(QStringLiteral("preferences-system-notifications")));
}

bool hasEnabledChild(const EventTreeItem *item)
{
    return item->findChildById(Enabled) != nullptr;
}

// The mark of an event that both loads the logs and notifies: the two icons side by side.
QPixmap combinedMark(int side)
{
    const QPixmap left = QIcon::fromTheme(QStringLiteral("dialog-information")).pixmap(side);
    const QPixmap right = notificationIcon().pixmap(side);
    const qreal ratio = std::max(left.devicePixelRatio(), right.devicePixelRatio());
    QPixmap combined(QSize(2 * side, side) * ratio);
    combined.setDevicePixelRatio(ratio);
    combined.fill(Qt::transparent);
    QPainter painter(&combined);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRect(0, 0, side, side), left);
    painter.drawPixmap(QRect(side, 0, side, side), right);
    return combined;
}

// A saved cell without value and a current cell with empty text count as equal.
bool sameValue(const QVariant &saved, const QVariant &current)
{
    if (!saved.isValid() && current.toString().isEmpty()) {
        return true;
    }
    return saved == current;
}

// What the change test compares: the stored value, not what the cell shows. An
// object switched by its "enabled" child holds the value of that child.
QVariant cellValue(const EventTreeItem *item, int column)
{
    if (column == 1 && item->kind() == EventTreeItem::Parameter) {
        if (const EventTreeItem *enabled = item->findChildById(Enabled)) {
            return enabled->data(1);
        }
    }
    return item->data(column);
}

QVariant displayData(const EventTreeItem *item, int column)
{
    if (column != 1) {
        return item->data(column);
    }
    const QVariant value = cellValue(item, column);
    if (item->kind() == EventTreeItem::Parameter && item->findChildById(Enabled)) {
        if (value.toString() == QLatin1String("1")) {
            return i18n("On");
        }
        if (value.toString() == QLatin1String("0")) {
            return i18n("Off");
        }
        return QVariant();
    }
    // A message parameter's value is its label in notifications; one that only
    // repeats the name beside it, and cannot be changed, is not shown twice.
    if (CheckableTreeModel::isMessageParameter(item) && !item->isEditable() && QString(value.toString()).remove(QLatin1Char('&')) == item->data(0).toString()) {
        return QVariant();
    }
    return value;
}

QVariant checkStateData(const EventTreeItem *item, int column)
{
    if (column == 0) {
        return item->isCheckable() ? QVariant(item->checkState()) : QVariant();
    }
    if (column == 1 && item->kind() == EventTreeItem::Parameter && hasEnabledChild(item)) {
        return item->checkState();
    }
    return QVariant();
}

// Whether the two items differ in the given column: value, box or, for any
// column, the notification mark.
bool cellDiffers(const EventTreeItem *saved, const EventTreeItem *current, int column)
{
    return !sameValue(cellValue(saved, column), cellValue(current, column)) || checkStateData(saved, column) != checkStateData(current, column)
        || saved->notificationState() != current->notificationState();
}

// An item before an edit: its values, boxes and mark.
struct NotedItem {
    EventTreeItem *item; // not owned
    std::array<QVariant, 2 * TreeItem::MaxColumns> cells;
    EventTreeItem::NotificationState notification;
};

NotedItem noteNow(EventTreeItem *item)
{
    NotedItem noted{item, {}, item->notificationState()};
    for (int column = 0; column < item->columnCount(); ++column) {
        noted.cells[size_t(2 * column)] = cellValue(item, column);
        noted.cells[size_t(2 * column + 1)] = checkStateData(item, column);
    }
    return noted;
}

} // namespace

// The record of what one edit through the model changed. Every item is
// noted before the edit touches it; at the end, each one whose value, box or
// mark differs is marked as changed, so that Apply writes it. A mark is never
// taken back: an entry edited and restored is written with its value.
class EditRecord
{
public:
    // Also the parent: an object holds the value of its "enabled" child.
    void touch(EventTreeItem *item)
    {
        for (EventTreeItem *noted : {item, item->parentItem()}) {
            const bool known = std::any_of(m_before.begin(), m_before.end(), [noted](const NotedItem &before) {
                return before.item == noted;
            });
            if (noted && !known) {
                m_before.push_back(noteNow(noted));
            }
        }
    }

    void commit() const
    {
        for (const NotedItem &before : m_before) {
            EventTreeItem *item = before.item;
            bool changed = item->notificationState() != before.notification;
            for (int column = 0; column < item->columnCount() && !changed; ++column) {
                changed = !sameValue(before.cells[size_t(2 * column)], cellValue(item, column))
                    || before.cells[size_t(2 * column + 1)] != checkStateData(item, column);
            }
            if (changed) {
                markChanged(item);
            }
        }
    }

private:
    static void markChanged(EventTreeItem *item)
    {
        item->setOverlaid(true);
        // The options of an entry switched under "overlay" are written with it.
        const EventTreeItem *parent = item->parentItem();
        const EventTreeItem *grandParent = parent ? parent->parentItem() : nullptr;
        if (item->id() == Enabled && grandParent && grandParent->id() == QLatin1String("overlay")) {
            for (int row = 0; row < parent->childCount(); ++row) {
                if (!parent->child(row)->id().startsWith(QLatin1String("extend-message-params"))) {
                    parent->child(row)->setOverlaid(true);
                }
            }
        }
    }

    std::vector<NotedItem> m_before;
};

namespace
{
// A box switched by a click, noted in the click's record and list.
void switchBox(EventTreeItem *item, int state, std::vector<EventTreeItem *> *switched, EditRecord *record)
{
    record->touch(item);
    item->setCheckState(state);
    switched->push_back(item);
}

// A group follows its events. A node without checkable children keeps its state:
// ticking an option of an event must not switch the event back on.
void followChildren(EventTreeItem *parent, std::vector<EventTreeItem *> *switched, EditRecord *record)
{
    if (!parent) {
        return;
    }
    if (const std::optional<int> state = parent->checkStateOfChildren()) {
        switchBox(parent, *state, switched, record);
    }
}

// The "enabled" value of an event or parameter follows its box.
void synchroniseEnabled(EventTreeItem *item, EditRecord *record)
{
    if (item->kind() != EventTreeItem::Event && item->kind() != EventTreeItem::Parameter) {
        return;
    }
    if (item->checkState() == Qt::PartiallyChecked) {
        return;
    }
    const int value = item->checkState() == Qt::Checked ? 1 : 0;
    // By id: a dictionary may give "enabled" a display text of its own.
    for (int row = 0; row < item->childCount(); ++row) {
        EventTreeItem *child = item->child(row);
        if (child->id() == Enabled) {
            record->touch(child);
            child->setData(1, value);
        }
    }
}
}

CheckableTreeModel::CheckableTreeModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_root(std::make_unique<EventTreeItem>(QVector<QVariant>{i18n("Type"), i18n("Name"), i18n("Value")}))
{
    registerNotificationStateType();
}

CheckableTreeModel::~CheckableTreeModel() = default;

EventTreeItem *CheckableTreeModel::itemFromIndex(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<EventTreeItem *>(index.internalPointer()) : m_root.get();
}

QModelIndex CheckableTreeModel::indexFromItem(EventTreeItem *item, int column) const
{
    if (!item || item == m_root.get()) {
        return QModelIndex();
    }
    return createIndex(item->row(), column, item);
}

EventTreeItem *CheckableTreeModel::root() const
{
    return m_root.get();
}

QModelIndex CheckableTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent)) {
        return QModelIndex();
    }
    EventTreeItem *child = itemFromIndex(parent)->child(row);
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex CheckableTreeModel::parent(const QModelIndex &index) const
{
    if (!index.isValid()) {
        return QModelIndex();
    }
    EventTreeItem *parentItem = itemFromIndex(index)->parentItem();
    if (!parentItem || parentItem == m_root.get()) {
        return QModelIndex();
    }
    return createIndex(parentItem->row(), 0, parentItem);
}

int CheckableTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0) {
        return 0;
    }
    return itemFromIndex(parent)->childCount();
}

int CheckableTreeModel::columnCount(const QModelIndex &parent) const
{
    return itemFromIndex(parent)->columnCount();
}

bool CheckableTreeModel::isMessageParameter(const EventTreeItem *item)
{
    const EventTreeItem *parent = item->parentItem();
    return parent && item->childCount() == 0 && (parent->id() == QLatin1String("message-params") || parent->id() == QLatin1String("extend-message-params"));
}

QString CheckableTreeModel::messageParameterLabel(const EventTreeItem *param)
{
    const bool named = !param->name().isEmpty() && param->name() != param->id();
    const QString label = param->data(1).toString();
    return QString(named ? param->name() : label.isEmpty() ? param->id() : label).remove(QLatin1Char('&'));
}

QVariant CheckableTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !index.internalPointer()) {
        return QVariant();
    }
    const EventTreeItem *item = itemFromIndex(index);
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return displayData(item, column);
    case Qt::DecorationRole:
        if (column != 0) {
            return QVariant();
        }
        if (item->generatesLoad() && item->notificationsOn()) {
            // Drawn when first shown, not with the model: the page opens sooner.
            if (m_combinedMark.isNull()) {
                m_combinedMark = combinedMark(16);
            }
            return m_combinedMark;
        }
        if (item->generatesLoad()) {
            return QIcon::fromTheme(QStringLiteral("dialog-information"));
        }
        if (item->notificationsOn()) {
            return notificationIcon();
        }
        return QVariant();
    case Qt::EditRole:
        return column == 0 ? QVariant() : item->data(column);
    case Qt::ToolTipRole:
        return column == 0 ? markToolTip(item, 0) : QString();
    case Qt::ForegroundRole:
        // Grey says "cannot be changed here"; an object's on/off box switches its
        // "enabled" child, also where only the children are editable.
        if (column == 1 && !item->isEditable() && !checkStateData(item, column).isValid()) {
            return QBrush(Qt::gray);
        }
        return QVariant();
    case Qt::CheckStateRole:
        return checkStateData(item, column);
    case VisibleRole:
        return item->isVisible() ? 1 : 0;
    case FileListRole:
        return ParameterEditor::kindOf(item) == ParameterEditor::Kind::FileList ? 1 : 0;
    case ParameterRole:
        return item->kind() == EventTreeItem::Parameter ? 1 : 0;
    case IdRole:
        return item->id();
    case DirectoriesRole:
        return ParameterEditor::kindOf(item) == ParameterEditor::Kind::Directories ? 1 : 0;
    case DirectoryListRole:
        return ParameterEditor::kindOf(item) == ParameterEditor::Kind::DirectoryList ? 1 : 0;
    case EditorRole:
        return static_cast<int>(ParameterEditor::kindOf(item));
    case AuditRulesIndexRole: {
        if (!item->hasAuditRules()) {
            return QModelIndex();
        }
        EventTreeItem *event = itemFromIndex(index);
        while (event && event != m_root.get() && event->kind() != EventTreeItem::Event) {
            event = event->parentItem();
        }
        if (!event || event == m_root.get()) {
            return QModelIndex();
        }
        return indexFromItem(event->findById(QStringLiteral("message-audit-rules")), 1);
    }
    default:
        return QVariant();
    }
}

QString CheckableTreeModel::markToolTip(const EventTreeItem *item, int mark)
{
    // The marks sit side by side: load first, then notifications.
    QStringList marks;
    if (item && item->generatesLoad()) {
        marks << i18n("This event generates a large volume of records in the logs");
    }
    if (item && item->notificationsOn()) {
        marks << i18n("Notifications are enabled for this event");
    }
    return marks.value(mark);
}

QVariant CheckableTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return m_root->data(section);
    }
    return QVariant();
}

Qt::ItemFlags CheckableTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    const EventTreeItem *item = itemFromIndex(index);
    if (index.column() == 0) {
        return Qt::ItemIsSelectable | Qt::ItemIsEnabled | (item->isCheckable() ? Qt::ItemIsUserCheckable : Qt::NoItemFlags);
    }
    Qt::ItemFlags result = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    const bool enabledChild = hasEnabledChild(item);
    if (index.column() == 1) {
        // Lists of files and directories and disk-space limits have their own editors.
        const bool dialogEdited = ParameterEditor::kindOf(item) != ParameterEditor::Kind::None;
        if (item->isEditable() && !dialogEdited && !enabledChild) {
            result |= Qt::ItemIsEditable;
        }
        if (item->kind() == EventTreeItem::Parameter && enabledChild) {
            result |= Qt::ItemIsUserCheckable;
        }
    }
    return result;
}

bool CheckableTreeModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid()) {
        return false;
    }
    EventTreeItem *item = itemFromIndex(index);
    switch (role) {
    case Qt::DecorationRole: {
        registerNotificationStateType();
        QVariant converted = value;
#if QT_VERSION_MAJOR >= 6
        const bool known = converted.convert(QMetaType::fromType<EventTreeItem::NotificationState>());
#else
        const bool known = converted.convert(qMetaTypeId<EventTreeItem::NotificationState>());
#endif
        const auto state = known ? converted.value<EventTreeItem::NotificationState>() : EventTreeItem::NotificationsOff;
        EditRecord record;
        record.touch(item);
        item->setNotificationState(state);
        record.commit();
        Q_EMIT notificationChanged(index, index, {Qt::DecorationRole});
        return true;
    }
    case Qt::EditRole: {
        QVariant stored = value;
        if (index.column() == 1 && item->kind() == EventTreeItem::Parameter && item->childCount() == 0) {
            QString normalized;
            const QString refusal = ParameterValue::refusal(item->id(),
                                                            item->data(0).toString(),
                                                            item->valueKind(),
                                                            value.toString(),
                                                            &normalized,
                                                            SingleEventsParser::valueRange(item->id()));
            if (!refusal.isEmpty()) {
                qCWarning(QUOR_MODEL).noquote() << "value" << value.toString() << "of" << item->id() << "refused:" << refusal;
                Q_EMIT valueRefused(refusal);
                return false;
            }
            if (item->valueKind() != ParameterValue::Kind::Text) {
                stored = normalized;
            }
        }
        EditRecord record;
        record.touch(item);
        if (!item->setData(index.column(), stored)) {
            return false;
        }
        record.commit();
        Q_EMIT dataChanged(index, index);
        if (index.column() == 1) {
            Q_EMIT valueAccepted();
        }
        return true;
    }
    case Qt::CheckStateRole: {
        if (index.column() == 0 && !item->isCheckable()) {
            return false;
        }
        // Only the boxes this click switched: walking a tree of 5,000 events
        // took longer than a frame.
        std::vector<EventTreeItem *> switched; // not owned
        EditRecord record;
        if (item->kind() != EventTreeItem::Group) {
            if (item->checkState() == Qt::Checked) {
                setItemChecked(item, false, &switched, &record);
            } else if (item->checkState() == Qt::Unchecked) {
                setItemChecked(item, true, &switched, &record);
            }
        } else {
            record.touch(item);
            const int state = item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked;
            item->setCheckState(state);
            for (int row = 0; row < item->childCount(); ++row) {
                if (item->child(row)->kind() == EventTreeItem::Event) {
                    switchBox(item->child(row), state, &switched, &record);
                }
            }
        }
        for (EventTreeItem *changed : switched) {
            synchroniseEnabled(changed, &record);
        }
        record.commit();
        // One signal for the clicked row: the view repaints the whole tree on any
        // change, and a range must stay within one parent to be valid.
        Q_EMIT dataChanged(index.siblingAtColumn(0), index.siblingAtColumn(columnCount(index.parent()) - 1));
        return true;
    }
    default:
        return false;
    }
}

void CheckableTreeModel::setItemChecked(EventTreeItem *item, bool checked, std::vector<EventTreeItem *> *switched, EditRecord *record)
{
    const int state = checked ? Qt::Checked : Qt::Unchecked;
    switchBox(item, state, switched, record);
    for (EventTreeItem *linked : checked ? item->dependsOn() : item->dependents()) {
        switchBox(linked, state, switched, record);
        followChildren(linked->parentItem(), switched, record);
    }
    followChildren(item->parentItem(), switched, record);
    for (int row = 0; row < item->childCount(); ++row) {
        if (item->child(row)->isCheckable()) {
            setItemChecked(item->child(row), checked, switched, record);
        }
    }
}

std::unique_ptr<EventTreeItem> CheckableTreeModel::setRoot(EventTreeItem *root)
{
    beginResetModel();
    std::unique_ptr<EventTreeItem> previous = std::exchange(m_root, std::unique_ptr<EventTreeItem>(root));
    endResetModel();
    return previous;
}

std::unique_ptr<EventTreeItem> CheckableTreeModel::catchUp(CheckableTreeModel &current)
{
    beginResetModel();
    std::unique_ptr<EventTreeItem> replaced;
    if (!m_root || !current.m_root || !m_root->catchUp(current.m_root.get())) {
        replaced = std::exchange(m_root, current.m_root ? current.m_root->clone() : nullptr);
    }
    endResetModel();
    return replaced;
}

bool CheckableTreeModel::updateAuditRules(const QModelIndex &index, const QVariant &value)
{
    if (!index.isValid()) {
        return false;
    }
    const EventTreeItem *event = itemFromIndex(index)->parentItem();
    const QString eventId = event ? event->id() : QString();
    QStringList rules;
    const QStringList paths = ParameterValue::listElements(value.toString());
    for (const QString &path : paths) {
        if (eventId == QLatin1String("file-opened")) {
            rules << QStringLiteral("-a always,exit -F arch=x86_64 -F path=%1 -S open,openat -k %1").arg(path)
                  << QStringLiteral("-a always,exit -F arch=armv7l -F path=%1 -S open,openat -k %1").arg(path)
                  << QStringLiteral("-a always,exit -F arch=aarch64 -F path=%1 -S openat -k %1").arg(path);
        } else {
            rules << QStringLiteral("-w %1 -p wa -k %1").arg(path);
        }
    }
    return setData(index, rules.join(QLatin1String(", ")), Qt::EditRole);
}

bool CheckableTreeModel::childrenDiffer(const EventTreeItem *saved, const EventTreeItem *current, int columns)
{
    if (saved->childCount() != current->childCount()) {
        return true;
    }
    const int commonColumns = std::min(columns, current->columnCount());
    for (int row = 0; row < saved->childCount(); ++row) {
        const EventTreeItem *savedChild = saved->child(row);
        const EventTreeItem *currentChild = current->child(row);
        // Unchanged copies of one another: nothing below can differ.
        if (savedChild->copyStamp() != 0 && savedChild->copyStamp() == currentChild->copyStamp()) {
            continue;
        }
        for (int column = 0; column < commonColumns; ++column) {
            if (cellDiffers(savedChild, currentChild, column)) {
                return true;
            }
        }
        // Only a column-0 cell has rows below it.
        if (commonColumns > 0 && savedChild->childCount() > 0
            && (savedChild->columnCount() != currentChild->columnCount() || childrenDiffer(savedChild, currentChild, savedChild->columnCount()))) {
            return true;
        }
    }
    return false;
}

bool CheckableTreeModel::differsFrom(const CheckableTreeModel &saved) const
{
    if (saved.m_root->columnCount() != m_root->columnCount()) {
        return true;
    }
    return childrenDiffer(saved.m_root.get(), m_root.get(), m_root->columnCount());
}
