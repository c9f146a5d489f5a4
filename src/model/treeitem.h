#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

#include <array>
#include <atomic>
#include <initializer_list>
#include <memory>
#include <vector>

// A node of every tree the module holds: the event tree, the syslog-ng tree and
// the logrotate tree. A node owns its children and carries one value per column.
class TreeItem
{
public:
    // The trees have two or three columns.
    static constexpr int MaxColumns = 3;

    // The parent is not told about the new node: the creator appends it. At
    // most MaxColumns values.
    explicit TreeItem(const QVector<QVariant> &data, TreeItem *parent = nullptr);
    // The same without a list in between, for nodes made by the thousand.
    explicit TreeItem(std::initializer_list<QVariant> data, TreeItem *parent = nullptr);
    virtual ~TreeItem();

    TreeItem(const TreeItem &) = delete;
    TreeItem &operator=(const TreeItem &) = delete;

    // Takes ownership; inserts before the first child when atFront is true.
    void appendChild(std::unique_ptr<TreeItem> child, bool atFront = false);
    // Room for count children, to spare reallocation while building.
    void reserveChildren(int count);
    // Destroys the child at row; false when there is none.
    bool removeChild(int row);

    TreeItem *child(int row);
    const TreeItem *child(int row) const;
    int childCount() const;
    int columnCount() const;
    QVariant data(int column) const;
    bool setData(int column, const QVariant &value);
    void setItemData(const QVector<QVariant> &data);
    TreeItem *parentItem() const;
    int row() const;

    // Pre-order search of all descendants for data(column) as text equal to value.
    TreeItem *findItem(const QString &value, int column) const;
    // The same search started in each child that has children.
    TreeItem *findItemBelowChildren(const QString &value, int column) const;
    TreeItem *findChildByText(const QString &text) const;

    // syslog-ng tree: insert a destination statement with a log statement joining
    // the event source to it.
    void addDestination(std::unique_ptr<TreeItem> destination);
    // syslog-ng tree: remove every reference to the destination from the log
    // statements, and the log statements left without any destination.
    bool removeDestinationLogs(const QString &name);

    // Nodes that share a non-zero stamp are copies of one another and nothing in
    // their subtrees has changed since: a comparison may skip them. Any change
    // clears the stamp of the node and of its ancestors.
    quint64 copyStamp() const
    {
        return m_copyStamp.load(std::memory_order_relaxed);
    }

protected:
    // This node's columns become those of other.
    void copyColumns(const TreeItem &other);
    // Gives this node and its copy a stamp of their own.
    void shareNewCopyStamp(TreeItem *copy);
    // To be called by every change of the node's content or children.
    void markChanged();

    std::vector<std::unique_ptr<TreeItem>> m_children;

private:
    void assignColumns(const QVariant *data, int count);

    // Held in the node rather than in a list of their own: a tree of 5,000
    // events has some 100,000 nodes, each one allocation less.
    std::array<QVariant, MaxColumns> m_columns;
    TreeItem *m_parent; // Not owned.
    // Atomic: events below one group are marked on several threads, and each
    // change clears the stamps above it. No order is needed, only whole values.
    std::atomic<quint64> m_copyStamp{0};
    // Last and small: the fields of a derived node fill the space after it.
    quint8 m_columnCount = 0;
};
