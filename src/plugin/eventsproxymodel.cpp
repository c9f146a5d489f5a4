#include "eventsproxymodel.h"

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

bool EventsProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    return QSortFilterProxyModel::filterAcceptsRow(sourceRow, sourceParent);
}
