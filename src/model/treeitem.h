#pragma once

#include <QSharedData>
#include <QString>
#include <QVariant>
#include <QVector>

#include <array>
#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>

// The content of a node: its column values, and in a derived node the fields
// of its kind. Implicitly shared: the copy of a tree kept for the change test
// holds the same blocks as the tree the page edits, and a node takes a block of
// its own only when it changes.
class TreeItemData : public QSharedData
{
public:
    // The trees have two or three columns.
    static constexpr int MaxColumns = 3;

    TreeItemData() = default;
    TreeItemData(const TreeItemData &) = default;
    TreeItemData &operator=(const TreeItemData &) = delete;
    virtual ~TreeItemData();
    // A copy of the same derived type, for the detach of a shared block.
    virtual TreeItemData *clone() const;

    // Before the columns: it fills the space after the reference count.
    quint8 columnCount = 0;
    std::array<QVariant, MaxColumns> columns;
};

// A detach copies the derived block, not its TreeItemData part alone.
template<>
TreeItemData *QSharedDataPointer<TreeItemData>::clone();

class TreeItem;

// The children of a node, owned and in order. A pointer and two counts rather
// than a vector's three pointers: a tree of 50,000 events has a million nodes,
// and eight bytes less bring a node into the allocator's next smaller size.
class TreeItemChildren
{
public:
    TreeItemChildren() = default;
    ~TreeItemChildren();
    TreeItemChildren(const TreeItemChildren &) = delete;
    TreeItemChildren &operator=(const TreeItemChildren &) = delete;

    int size() const
    {
        return int(m_size);
    }
    TreeItem *at(int row) const
    {
        return m_items[row];
    }
    TreeItem *const *begin() const
    {
        return m_items;
    }
    TreeItem *const *end() const
    {
        return m_items + m_size;
    }
    // Takes ownership; row may be size() to append.
    void insert(int row, std::unique_ptr<TreeItem> child);
    // Destroys the child at row.
    void erase(int row);
    // Destroys every child the test picks; the others keep their order.
    // Answers whether any was destroyed.
    bool eraseIf(const std::function<bool(const TreeItem *)> &picked);
    void reserve(int count);

private:
    TreeItem **m_items = nullptr; // Owned, as are the items.
    quint32 m_size = 0;
    quint32 m_capacity = 0;
};

// A node of every tree the module holds: the event tree, the syslog-ng tree and
// the logrotate tree. A node owns its children and shares its content (see
// TreeItemData) with its copies.
class TreeItem
{
public:
    static constexpr int MaxColumns = TreeItemData::MaxColumns;

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
    // For derived nodes: content is a new block of the derived type.
    TreeItem(TreeItemData *content, const QVariant *data, int count, TreeItem *parent);
    // A node that shares the content of other (its children are not copied).
    explicit TreeItem(const TreeItem *other);

    const TreeItemData &content() const
    {
        return *m_content;
    }
    // Gives this node a block of its own first when the block is shared.
    TreeItemData &editableContent()
    {
        return *m_content;
    }
    // Gives this node and its copy a stamp of their own.
    void shareNewCopyStamp(TreeItem *copy);
    // To be called by every change of the node's content or children.
    void markChanged();

    TreeItemChildren m_children;

private:
    void assignColumns(const QVariant *data, int count);

    QSharedDataPointer<TreeItemData> m_content;
    TreeItem *m_parent; // Not owned.
    // Atomic: events below one group are marked on several threads, and each
    // change clears the stamps above it. No order is needed, only whole values.
    std::atomic<quint64> m_copyStamp{0};
};
