#include "eventsproxymodel.h"

#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"

EventsProxyModel::EventsProxyModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{
    // A match at any depth shows the groups above it.
    setRecursiveFilteringEnabled(true);
}

void EventsProxyModel::setFilterText(const QString &text)
{
    m_filterText = text;
    invalidateFilter();
}

QModelIndexList EventsProxyModel::persistentIndexes() const
{
    return persistentIndexList();
}

bool EventsProxyModel::hasChildren(const QModelIndex &parent) const
{
    const auto *model = qobject_cast<const CheckableTreeModel *>(sourceModel());
    const EventTreeItem *item = model && parent.isValid() && parent.column() == 0 ? model->itemFromIndex(mapToSource(parent)) : nullptr;
    if (!item || item->kind() == EventTreeItem::Group) {
        return QSortFilterProxyModel::hasChildren(parent);
    }
    // An event or parameter that shows has its event found and every parameter
    // above it visible (filterAcceptsRow), so a child shows when it is visible.
    for (int row = 0; row < item->childCount(); ++row) {
        if (item->child(row)->isVisible()) {
            return true;
        }
    }
    return false;
}

bool EventsProxyModel::matches(const EventTreeItem *item) const
{
    return item && item->name().contains(m_filterText, Qt::CaseInsensitive);
}

bool EventsProxyModel::acceptsEvent(const EventTreeItem *event) const
{
    return matches(event) || matches(event->parentItem());
}

bool EventsProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const auto *model = qobject_cast<const CheckableTreeModel *>(sourceModel());
    if (!model) {
        return QSortFilterProxyModel::filterAcceptsRow(sourceRow, sourceParent);
    }
    const EventTreeItem *item = model->itemFromIndex(model->index(sourceRow, 0, sourceParent));
    switch (item->kind()) {
    case EventTreeItem::Event:
        return acceptsEvent(item);
    case EventTreeItem::Group:
        // The groups above a matching event or group show through the recursion.
        return matches(item);
    default:
        // A parameter must not pull in an event that the text does not find, nor
        // show below a hidden parameter.
        for (; item && item->kind() > EventTreeItem::Event; item = item->parentItem()) {
            if (!item->isVisible()) {
                return false;
            }
        }
        return !item || item->kind() != EventTreeItem::Event || acceptsEvent(item);
    }
}
