#include "eventfinder.h"

EventFinder::EventFinder(QTreeView *view, CheckableTreeModel *model, EventsProxyModel *proxy, QWidget *parent)
    : QWidget(parent)
    , m_view(view)
    , m_model(model)
    , m_proxy(proxy)
{
}

EventFinder::~EventFinder() = default;
