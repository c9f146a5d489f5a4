#pragma once

#include <QSortFilterProxyModel>

class EventTreeItem;

// Filters the event tree by the search text: a group shows when its name or
// the name of an event or group anywhere below it matches, and then with its
// matching events, or all of them when the group's name matches; parameters
// show when visible, with their event.
class EventsProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit EventsProxyModel(QObject *parent = nullptr);

    void setFilterText(const QString &text);
    // The indexes held persistently, a view's open rows among them.
    QModelIndexList persistentIndexes() const;

    // Below an event, whether a row shows depends only on its own visibility:
    // answered from the tree, without filtering the rows of every event that a
    // view lays out.
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    bool matches(const EventTreeItem *item) const;
    bool acceptsEvent(const EventTreeItem *event) const;

    QString m_filterText;
};
