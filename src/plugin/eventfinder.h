#pragma once

#include <QWidget>

class QTreeView;
class CheckableTreeModel;
class EventsProxyModel;

// The search bar over the event tree.
class EventFinder : public QWidget
{
    Q_OBJECT
public:
    EventFinder(QTreeView *view, CheckableTreeModel *model, EventsProxyModel *proxy, QWidget *parent = nullptr);
    ~EventFinder() override;

private:
    QTreeView *m_view; // Not owned.
    CheckableTreeModel *m_model; // Not owned.
    EventsProxyModel *m_proxy; // Not owned.
};
