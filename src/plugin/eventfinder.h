#pragma once

#include <QWidget>

#include <memory>

class QModelIndex;
class QTreeView;
class CheckableTreeModel;
class EventsProxyModel;

namespace Ui
{
class EventFinder;
}

// The search bar over the event tree: filters the tree by name and steps through
// the events found.
class EventFinder : public QWidget
{
    Q_OBJECT
public:
    EventFinder(QTreeView *view, CheckableTreeModel *model, EventsProxyModel *proxy, QWidget *parent = nullptr);
    ~EventFinder() override;

private:
    void searchTextChanged(const QString &text);
    void stepForward();
    void stepBack();
    // Selects row row under the proxy row parent and scrolls to it.
    void showRow(const QModelIndex &parent, int row);

    std::unique_ptr<Ui::EventFinder> ui;
    QTreeView *m_view; // Not owned.
    CheckableTreeModel *m_model; // Not owned.
    EventsProxyModel *m_proxy; // Not owned.
};
