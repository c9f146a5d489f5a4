#include "treeviewstate.h"

#include "model/checkabletreemodel.h"

#include <QScrollBar>
#include <QTimer>
#include <QTreeView>

#include <functional>

namespace
{
const QChar KeySeparator(0x1f);

// The part of a key that one row adds.
QString ownKey(const QModelIndex &index)
{
    const QString id = index.data(CheckableTreeModel::IdRole).toString();
    return id.isEmpty() ? index.data(Qt::DisplayRole).toString() : id;
}
} // namespace

QString TreeViewState::keyOf(const QModelIndex &index)
{
    QStringList ids;
    for (QModelIndex at = index.siblingAtColumn(0); at.isValid(); at = at.parent()) {
        ids.prepend(ownKey(at));
    }
    return ids.join(KeySeparator);
}

TreeViewState TreeViewState::capture(const QTreeView *view, const QModelIndexList &persistentIndexes)
{
    TreeViewState state;
    const QAbstractItemModel *model = view->model();
    if (!model || model->rowCount() == 0) {
        return state;
    }
    state.m_captured = true;
    // The view holds its open rows as persistent indexes: looking among those
    // spares visiting every row of a tree of thousands of events.
    for (const QModelIndex &index : persistentIndexes) {
        if (index.column() == 0 && view->isExpanded(index)) {
            state.m_expanded.insert(keyOf(index));
        }
    }
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
    // Only the rows on the way to a wanted one are visited.
    QSet<QString> onTheWay;
    QStringList wanted(m_expanded.cbegin(), m_expanded.cend());
    wanted << m_current;
    for (const QString &key : std::as_const(wanted)) {
        for (int at = key.indexOf(KeySeparator); at >= 0; at = key.indexOf(KeySeparator, at + 1)) {
            onTheWay.insert(key.left(at));
        }
    }
    QModelIndex current;
    std::function<void(const QModelIndex &, const QString &)> visit = [&](const QModelIndex &parent, const QString &parentKey) {
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            const QString key = parent.isValid() ? parentKey + KeySeparator + ownKey(index) : ownKey(index);
            if (m_expanded.contains(key)) {
                view->expand(index);
            }
            if (!m_current.isEmpty() && key == m_current) {
                current = index;
            }
            if (onTheWay.contains(key)) {
                visit(index, key);
            }
        }
    };
    visit(QModelIndex(), QString());
    if (current.isValid()) {
        view->selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    // The scroll range follows the expansions once the view has laid them out.
    const int scroll = m_scroll;
    QTimer::singleShot(0, view, [view, scroll] {
        view->verticalScrollBar()->setValue(scroll);
    });
}
