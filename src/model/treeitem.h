#pragma once

#include "fixedsizepool.h"

#include <QSharedData>
#include <QString>
#include <QVariant>
#include <QVector>

#include <array>
#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>

// The content of a node: its column values and the fields of an event tree's
// nodes, which the other trees leave empty. Implicitly shared: the copy of a
// tree kept for the change test holds the same blocks as the tree the page
// edits, and a node takes a block of its own only when it changes. One type
// and no virtual functions, so that a block is 72 bytes: a tree of 50,000
// events holds a million of them.
class TreeItemData : public QSharedData, public PooledAllocation<TreeItemData>
{
public:
    // The trees have two or three columns.
    static constexpr int MaxColumns = 3;

    // The small fields, packed (see TreeItem::PackedField): the column count
    // in the lowest bits, the event tree's fields above it.
    quint32 packed = 0;
    std::array<QVariant, MaxColumns> columns;
    QString id;
    QString name;
};

class TreeItem;

// The children of a node, owned and in order. One pointer: the counts lie at
// the head of the array, and a node without children has none. A tree of
// 50,000 events has a million nodes, most of them leaves.
class TreeItemChildren
{
public:
    TreeItemChildren() = default;
    ~TreeItemChildren();
    TreeItemChildren(const TreeItemChildren &) = delete;
    TreeItemChildren &operator=(const TreeItemChildren &) = delete;

    int size() const
    {
        return m_block ? int(m_block->size) : 0;
    }
    TreeItem *at(int row) const
    {
        return begin()[row];
    }
    TreeItem *const *begin() const
    {
        return m_block ? items() : nullptr;
    }
    TreeItem *const *end() const
    {
        return m_block ? items() + m_block->size : nullptr;
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
    // The counts, followed by the capacity's room for pointers.
    struct Block {
        quint32 size;
        quint32 capacity;
    };
    TreeItem **items() const
    {
        return reinterpret_cast<TreeItem **>(m_block + 1);
    }

    Block *m_block = nullptr; // Owned, as are the items.
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
    // packed: the small fields a new node of the derived type starts with.
    TreeItem(const QVariant *data, int count, TreeItem *parent, quint32 packed = 0);
    // A node that shares the content of other (its children are not copied).
    explicit TreeItem(const TreeItem *other);

    // Where a small field lies in TreeItemData::packed.
    struct PackedField {
        quint8 shift;
        quint8 width;
    };
    static constexpr PackedField ColumnCountField{0, 2};
    // The first bit that derived nodes may use for fields of their own.
    static constexpr quint8 FirstFreeBit = 2;

    quint32 packedField(PackedField field) const
    {
        return (content().packed >> field.shift) & ((1u << field.width) - 1);
    }
    // Changes the field without marking the node changed; false when the
    // field already held the value (the block then stays shared).
    bool writePackedField(PackedField field, quint32 value);

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
    // Shares the content of other, as a copy of it does.
    void shareContent(const TreeItem &other)
    {
        m_content = other.m_content;
    }
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
