#include "treeitem.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

TreeItemChildren::~TreeItemChildren()
{
    for (TreeItem *child : *this) {
        delete child;
    }
    std::free(m_block);
}

void TreeItemChildren::insert(int row, std::unique_ptr<TreeItem> child)
{
    Q_ASSERT(row >= 0 && row <= size());
    if (!m_block || m_block->size == m_block->capacity) {
        reserve(m_block ? int(m_block->capacity) * 2 : 1);
    }
    TreeItem **slots = items();
    std::memmove(slots + row + 1, slots + row, (m_block->size - quint32(row)) * sizeof(TreeItem *));
    slots[row] = child.release();
    ++m_block->size;
}

void TreeItemChildren::erase(int row)
{
    Q_ASSERT(row >= 0 && row < size());
    TreeItem **slots = items();
    TreeItem *removed = slots[row];
    --m_block->size;
    std::memmove(slots + row, slots + row + 1, (m_block->size - quint32(row)) * sizeof(TreeItem *));
    delete removed;
}

bool TreeItemChildren::eraseIf(const std::function<bool(const TreeItem *)> &picked)
{
    if (!m_block) {
        return false;
    }
    TreeItem **slots = items();
    quint32 kept = 0;
    for (quint32 row = 0; row < m_block->size; ++row) {
        if (picked(slots[row])) {
            delete slots[row];
        } else {
            slots[kept++] = slots[row];
        }
    }
    const bool erased = kept != m_block->size;
    m_block->size = kept;
    return erased;
}

void TreeItemChildren::reserve(int count)
{
    if (count <= 0 || (m_block && count <= int(m_block->capacity))) {
        return;
    }
    auto *block = static_cast<Block *>(std::realloc(m_block, sizeof(Block) + size_t(count) * sizeof(TreeItem *)));
    Q_CHECK_PTR(block);
    if (!m_block) {
        block->size = 0;
    }
    block->capacity = quint32(count);
    m_block = block;
}

TreeItem::TreeItem(const QVector<QVariant> &data, TreeItem *parent)
    : TreeItem(data.constData(), data.size(), parent)
{
}

TreeItem::TreeItem(std::initializer_list<QVariant> data, TreeItem *parent)
    : TreeItem(data.begin(), int(data.size()), parent)
{
}

TreeItem::TreeItem(const QVariant *data, int count, TreeItem *parent, quint32 packed)
    : m_content(new TreeItemData)
    , m_parent(parent)
{
    m_content->packed = packed;
    assignColumns(data, count);
}

TreeItem::TreeItem(const TreeItem *other)
    : m_content(other->m_content)
    , m_parent(nullptr)
{
}

TreeItem::~TreeItem() = default;

void TreeItem::appendChild(std::unique_ptr<TreeItem> child, bool atFront)
{
    child->m_parent = this;
    m_children.insert(atFront ? 0 : m_children.size(), std::move(child));
    markChanged();
}

void TreeItem::reserveChildren(int count)
{
    m_children.reserve(count);
}

bool TreeItem::removeChild(int row)
{
    if (row < 0 || row >= childCount()) {
        return false;
    }
    m_children.erase(row);
    markChanged();
    return true;
}

TreeItem *TreeItem::child(int row)
{
    return row < 0 || row >= childCount() ? nullptr : m_children.at(row);
}

const TreeItem *TreeItem::child(int row) const
{
    return row < 0 || row >= childCount() ? nullptr : m_children.at(row);
}

int TreeItem::childCount() const
{
    return m_children.size();
}

int TreeItem::columnCount() const
{
    return int(packedField(ColumnCountField));
}

QVariant TreeItem::data(int column) const
{
    return column < 0 || column >= columnCount() ? QVariant() : content().columns[size_t(column)];
}

bool TreeItem::setData(int column, const QVariant &value)
{
    if (column < 0 || column >= columnCount()) {
        return false;
    }
    const QVariant &stored = content().columns[size_t(column)];
    // The same value of the same type: nothing to store, and a shared block stays shared.
    if (stored.userType() == value.userType() && stored == value) {
        return true;
    }
    // A value that compares equal (the text "1" and the number 1) is stored
    // all the same; the change test, which compares as == does, finds no
    // difference in it, and a copy catching up takes the new type.
    editableContent().columns[size_t(column)] = value;
    markChanged();
    return true;
}

void TreeItem::setItemData(const QVector<QVariant> &data)
{
    assignColumns(data.constData(), data.size());
    markChanged();
}

void TreeItem::assignColumns(const QVariant *data, int count)
{
    Q_ASSERT(count <= MaxColumns);
    count = std::min(count, MaxColumns);
    writePackedField(ColumnCountField, quint32(count));
    TreeItemData &content = editableContent();
    for (int column = 0; column < MaxColumns; ++column) {
        content.columns[size_t(column)] = column < count ? data[column] : QVariant();
    }
}

bool TreeItem::writePackedField(PackedField field, quint32 value)
{
    const quint32 mask = ((1u << field.width) - 1) << field.shift;
    Q_ASSERT((value << field.shift & ~mask) == 0);
    const quint32 packed = (content().packed & ~mask) | (value << field.shift);
    if (packed == content().packed) {
        return false;
    }
    editableContent().packed = packed;
    return true;
}

void TreeItem::shareNewCopyStamp(TreeItem *copy)
{
    // Trees are copied on several threads at once: each takes its stamps from
    // the shared counter a block at a time, not one per node.
    constexpr quint64 Block = 4096;
    static std::atomic<quint64> taken{0};
    thread_local quint64 next = 0;
    thread_local quint64 end = 0;
    if (next == end) {
        next = taken.fetch_add(Block, std::memory_order_relaxed) + 1;
        end = next + Block;
    }
    const quint64 stamp = next++;
    m_copyStamp.store(stamp, std::memory_order_relaxed);
    copy->m_copyStamp.store(stamp, std::memory_order_relaxed);
}

void TreeItem::markChanged()
{
    // A node without stamp has none above it either (a change or an append cleared them).
    for (TreeItem *item = this; item && item->m_copyStamp.load(std::memory_order_relaxed) != 0; item = item->m_parent) {
        item->m_copyStamp.store(0, std::memory_order_relaxed);
    }
}

TreeItem *TreeItem::parentItem() const
{
    return m_parent;
}

int TreeItem::row() const
{
    if (!m_parent) {
        return 0;
    }
    const TreeItemChildren &siblings = m_parent->m_children;
    const auto it = std::find(siblings.begin(), siblings.end(), this);
    return it == siblings.end() ? -1 : int(it - siblings.begin());
}

TreeItem *TreeItem::findItem(const QString &value, int column) const
{
    for (TreeItem *child : m_children) {
        if (child->data(column).toString() == value) {
            return child;
        }
        if (TreeItem *found = child->findItem(value, column)) {
            return found;
        }
    }
    return nullptr;
}

TreeItem *TreeItem::findItemBelowChildren(const QString &value, int column) const
{
    for (TreeItem *child : m_children) {
        if (child->childCount() > 0) {
            if (TreeItem *found = child->findItem(value, column)) {
                return found;
            }
        }
    }
    return nullptr;
}

TreeItem *TreeItem::findChildByText(const QString &text) const
{
    for (TreeItem *child : m_children) {
        if (child->data(0).toString() == text) {
            return child;
        }
    }
    return nullptr;
}

void TreeItem::addDestination(std::unique_ptr<TreeItem> destination)
{
    const QString name = destination->data(1).toString();
    const auto isKind = [](const QString &kind) {
        return [kind](const TreeItem *child) {
            return child->data(0).toString() == kind;
        };
    };
    // After the last destination statement, or else before the first log statement.
    const auto lastDestination =
        std::find_if(std::make_reverse_iterator(m_children.end()), std::make_reverse_iterator(m_children.begin()), isKind(QStringLiteral("destination")));
    const auto position = lastDestination.base() != m_children.begin() ? lastDestination.base()
                                                                       : std::find_if(m_children.begin(), m_children.end(), isKind(QStringLiteral("log")));
    destination->m_parent = this;
    m_children.insert(int(position - m_children.begin()), std::move(destination));
    markChanged();

    auto log = std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("log"), QVariant(), QVariant()}, this);
    log->appendChild(std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("source"), QVariant(), QStringLiteral("velta_events_src")}));
    log->appendChild(std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("destination"), QVariant(), name}));
    appendChild(std::move(log));
}

bool TreeItem::removeDestinationLogs(const QString &name)
{
    const auto isDestination = [](const TreeItem *option) {
        return option->data(0).toString() == QLatin1String("destination");
    };
    bool removed = false;
    std::vector<const TreeItem *> emptied;
    for (TreeItem *statement : m_children) {
        if (statement->data(0).toString() != QLatin1String("log")) {
            continue;
        }
        // Only the reference goes: the statement may still feed other destinations.
        TreeItemChildren &options = statement->m_children;
        if (!options.eraseIf([&](const TreeItem *option) {
                return isDestination(option) && option->data(2).toString() == name;
            })) {
            continue;
        }
        statement->markChanged();
        removed = true;
        if (std::none_of(options.begin(), options.end(), isDestination)) {
            emptied.push_back(statement);
        }
    }
    if (!removed) {
        return false;
    }
    // A log statement left without any destination would carry records nowhere.
    m_children.eraseIf([&](const TreeItem *statement) {
        return std::find(emptied.begin(), emptied.end(), statement) != emptied.end();
    });
    markChanged();
    return true;
}
