#pragma once

#include <QModelIndexList>
#include <QSet>
#include <QString>

class QTreeView;

// What the administrator had open, selected and scrolled to in a tree, kept
// across a model reset by the items' identifiers: indexes die with the reset.
class TreeViewState
{
public:
    // Empty for a view without rows. persistentIndexes: those of the view's
    // model, among which are the view's open rows.
    static TreeViewState capture(const QTreeView *view, const QModelIndexList &persistentIndexes);
    bool isEmpty() const
    {
        return !m_captured;
    }
    // Opens, selects and scrolls as captured, as far as the items still exist.
    void restore(QTreeView *view) const;

private:
    // The identifiers from the top level down to index, as one key.
    static QString keyOf(const QModelIndex &index);

    bool m_captured = false;
    QSet<QString> m_expanded;
    QString m_current;
    int m_scroll = 0;
};
