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

// A group follows its events. A node without checkable children keeps its state:
// ticking an option of an event must not switch the event back on.
void followChildren(EventTreeItem *parent, std::vector<EventTreeItem *> *switched)
{
    if (!parent) {
        return;
    }
    if (const std::optional<int> state = parent->checkStateOfChildren()) {
        parent->setCheckState(*state);
        switched->push_back(parent);
    }
}

// The "enabled" value of an event or parameter follows its box.
void synchroniseEnabled(EventTreeItem *item)
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
            child->setData(1, value);
        }
    }
}

// A saved cell without value and a current cell with empty text count as equal.
bool sameDisplay(const QVariant &saved, const QVariant &current)
{
    if (!saved.isValid() && current.toString().isEmpty()) {
        return true;
    }
    return saved == current;
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

QVariant CheckableTreeModel::displayData(const EventTreeItem *item, int column) const
{
    if (column == 1 && isMessageParameter(item)) {
        return messageParameterLabel(item);
    }
    if (column == 1 && item->kind() == EventTreeItem::Parameter) {
        if (const EventTreeItem *enabled = item->findChildById(Enabled)) {
            const QVariant value = enabled->data(1);
            if (value.toString() == QLatin1String("1")) {
                return i18n("On");
            }
            if (value.toString() == QLatin1String("0")) {
                return i18n("Off");
            }
            return QVariant();
        }
    }
    return item->data(column);
}

QVariant CheckableTreeModel::checkStateData(const EventTreeItem *item, int column) const
{
    if (column == 0) {
        return item->isCheckable() ? QVariant(item->checkState()) : QVariant();
    }
    if (column == 1 && item->kind() == EventTreeItem::Parameter && hasEnabledChild(item)) {
        return item->checkState();
    }
    return QVariant();
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
        item->setNotificationState(state);
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
        if (!item->setData(index.column(), stored)) {
            return false;
        }
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
        if (item->kind() != EventTreeItem::Group) {
            if (item->checkState() == Qt::Checked) {
                setItemChecked(item, false, &switched);
            } else if (item->checkState() == Qt::Unchecked) {
                setItemChecked(item, true, &switched);
            }
        } else {
            const int state = item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked;
            item->setCheckState(state);
            for (int row = 0; row < item->childCount(); ++row) {
                if (item->child(row)->kind() == EventTreeItem::Event) {
                    item->child(row)->setCheckState(state);
                    switched.push_back(item->child(row));
                }
            }
        }
        for (EventTreeItem *changed : switched) {
            synchroniseEnabled(changed);
        }
        // One signal for the clicked row: the view repaints the whole tree on any
        // change, and a range must stay within one parent to be valid.
        Q_EMIT dataChanged(index.siblingAtColumn(0), index.siblingAtColumn(columnCount(index.parent()) - 1));
        return true;
    }
    default:
        return false;
    }
}

void CheckableTreeModel::setItemChecked(EventTreeItem *item, bool checked, std::vector<EventTreeItem *> *switched)
{
    const int state = checked ? Qt::Checked : Qt::Unchecked;
    item->setCheckState(state);
    switched->push_back(item);
    for (EventTreeItem *linked : checked ? item->dependsOn() : item->dependents()) {
        linked->setCheckState(state);
        switched->push_back(linked);
        followChildren(linked->parentItem(), switched);
    }
    followChildren(item->parentItem(), switched);
    for (int row = 0; row < item->childCount(); ++row) {
        if (item->child(row)->isCheckable()) {
            setItemChecked(item->child(row), checked, switched);
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

bool CheckableTreeModel::cellsDiffer(const EventTreeItem *saved, EventTreeItem *current, int column)
{
    const bool valueDiffers =
        !sameDisplay(displayData(saved, column), displayData(current, column)) || checkStateData(saved, column) != checkStateData(current, column);
    bool differs = false;
    if (valueDiffers) {
        current->setOverlaid(true);
        differs = true;
        const EventTreeItem *parent = current->parentItem();
        const EventTreeItem *grandParent = parent ? parent->parentItem() : nullptr;
        if (current->id() == Enabled && grandParent && grandParent->id() == QLatin1String("overlay")) {
            for (int row = 0; row < parent->childCount(); ++row) {
                if (!parent->child(row)->id().startsWith(QLatin1String("extend-message-params"))) {
                    parent->child(row)->setOverlaid(true);
                }
            }
        }
    } else if (saved->notificationState() != current->notificationState()) {
        current->setOverlaid(true);
        differs = true;
    }
    // Only a column-0 cell has rows below it.
    if (saved->childCount() == 0 || column != 0) {
        return differs;
    }
    if (saved->childCount() != current->childCount() || saved->columnCount() != current->columnCount()) {
        differs = true;
    }
    return childrenDiffer(saved, current, saved->columnCount()) || differs;
}

bool CheckableTreeModel::childrenDiffer(const EventTreeItem *saved, EventTreeItem *current, int columns)
{
    bool differs = false;
    const int rows = std::min(saved->childCount(), current->childCount());
    const int commonColumns = std::min(columns, current->columnCount());
    for (int row = 0; row < rows; ++row) {
        const EventTreeItem *savedChild = saved->child(row);
        EventTreeItem *currentChild = current->child(row);
        // Unchanged copies of one another: nothing below can differ or be marked.
        if (savedChild->copyStamp() != 0 && savedChild->copyStamp() == currentChild->copyStamp()) {
            continue;
        }
        for (int column = 0; column < commonColumns; ++column) {
            differs = cellsDiffer(savedChild, currentChild, column) || differs;
        }
    }
    return differs;
}

bool CheckableTreeModel::differsFrom(const CheckableTreeModel &saved)
{
    if (saved.m_root->childCount() != m_root->childCount() || saved.m_root->columnCount() != m_root->columnCount()) {
        return true;
    }
    return childrenDiffer(saved.m_root.get(), m_root.get(), m_root->columnCount());
}
