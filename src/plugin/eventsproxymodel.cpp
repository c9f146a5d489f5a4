#include "eventsproxymodel.h"

#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"

EventsProxyModel::EventsProxyModel(QObject *parent)
    : QSortFilterProxyModel(parent)
{
}

EventsProxyModel::~EventsProxyModel() = default;

void EventsProxyModel::setFilterText(const QString &text)
{
    m_filterText = text;
    invalidateFilter();
}

bool EventsProxyModel::matches(const EventTreeItem *item) const
{
    return item && item->name().contains(m_filterText, Qt::CaseInsensitive);
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
        return matches(item) || matches(item->parentItem());
    case EventTreeItem::Group:
        if (matches(item)) {
            return true;
        }
        for (int row = 0; row < item->childCount(); ++row) {
            if (item->child(row)->kind() == EventTreeItem::Event && matches(item->child(row))) {
                return true;
            }
        }
        return false;
    default:
        return item->isVisible();
    }
}
