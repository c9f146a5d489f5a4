#pragma once

#include "treeviewstate.h"

#include <QModelIndexList>
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
    // Selects the next match (by 1) or the previous (by -1).
    void step(int by);
    // The events the search shows, in tree order (proxy indexes); none without a search.
    QModelIndexList matches() const;
    // The selected match's place among found; -1 when none is selected.
    int currentMatch(const QModelIndexList &found) const;
    // Selects the match, opens the groups above it and scrolls to it.
    void showMatch(const QModelIndex &index);
    // Each way is open while there is a match that way.
    void updateStepButtons();

    std::unique_ptr<Ui::EventFinder> ui;
    QTreeView *m_view; // Not owned.
    CheckableTreeModel *m_model; // Not owned.
    EventsProxyModel *m_proxy; // Not owned.
    QString m_searchedText;
    TreeViewState m_stateBeforeSearch; // empty while no search runs
};
