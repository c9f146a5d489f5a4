#include "treeviewstate.h"

#include "model/checkabletreemodel.h"

#include <QScrollBar>
#include <QTimer>
#include <QTreeView>

#include <functional>

namespace
{
// Visits every index of column 0 below parent, depth first.
void forEachIndex(const QAbstractItemModel *model, const QModelIndex &parent, const std::function<void(const QModelIndex &)> &visit)
{
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        visit(index);
        forEachIndex(model, index, visit);
    }
}
} // namespace

QString TreeViewState::keyOf(const QModelIndex &index)
{
    QStringList ids;
    for (QModelIndex at = index.siblingAtColumn(0); at.isValid(); at = at.parent()) {
        const QString id = at.data(CheckableTreeModel::IdRole).toString();
        ids.prepend(id.isEmpty() ? at.data(Qt::DisplayRole).toString() : id);
    }
    return ids.join(QChar(0x1f));
}

TreeViewState TreeViewState::capture(const QTreeView *view)
{
    TreeViewState state;
    const QAbstractItemModel *model = view->model();
    if (!model || model->rowCount() == 0) {
        return state;
    }
    state.m_captured = true;
    forEachIndex(model, QModelIndex(), [&](const QModelIndex &index) {
        if (view->isExpanded(index)) {
            state.m_expanded.insert(keyOf(index));
        }
    });
    if (view->selectionModel() && view->selectionModel()->hasSelection()) {
        state.m_current = keyOf(view->currentIndex());
    }
    state.m_scroll = view->verticalScrollBar()->value();
    return state;
}

void TreeViewState::restore(QTreeView *view) const
{
    const QAbstractItemModel *model = view->model();
    view->collapseAll();
    QModelIndex current;
    forEachIndex(model, QModelIndex(), [&](const QModelIndex &index) {
        const QString key = keyOf(index);
        if (m_expanded.contains(key)) {
            view->expand(index);
        }
        if (!m_current.isEmpty() && key == m_current) {
            current = index;
        }
    });
    if (current.isValid()) {
        view->selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    // The scroll range follows the expansions once the view has laid them out.
    const int scroll = m_scroll;
    QTimer::singleShot(0, view, [view, scroll] {
        view->verticalScrollBar()->setValue(scroll);
    });
}
