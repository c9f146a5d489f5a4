#include "treeitem.h"

#include <algorithm>
#include <atomic>

TreeItemData::~TreeItemData() = default;

TreeItemData *TreeItemData::clone() const
{
    return new TreeItemData(*this);
}

template<>
TreeItemData *QSharedDataPointer<TreeItemData>::clone()
{
    return d->clone();
}

TreeItem::TreeItem(const QVector<QVariant> &data, TreeItem *parent)
    : TreeItem(new TreeItemData, data.constData(), data.size(), parent)
{
}

TreeItem::TreeItem(std::initializer_list<QVariant> data, TreeItem *parent)
    : TreeItem(new TreeItemData, data.begin(), int(data.size()), parent)
{
}

TreeItem::TreeItem(TreeItemData *content, const QVariant *data, int count, TreeItem *parent)
    : m_content(content)
    , m_parent(parent)
{
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
    m_children.insert(atFront ? m_children.begin() : m_children.end(), std::move(child));
    markChanged();
}

void TreeItem::reserveChildren(int count)
{
    m_children.reserve(size_t(std::max(count, 0)));
}

bool TreeItem::removeChild(int row)
{
    if (row < 0 || row >= childCount()) {
        return false;
    }
    m_children.erase(m_children.begin() + row);
    markChanged();
    return true;
}

TreeItem *TreeItem::child(int row)
{
    return row < 0 || row >= childCount() ? nullptr : m_children[row].get();
}

const TreeItem *TreeItem::child(int row) const
{
    return row < 0 || row >= childCount() ? nullptr : m_children[row].get();
}

int TreeItem::childCount() const
{
    return int(m_children.size());
}

int TreeItem::columnCount() const
{
    return content().columnCount;
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
    // A value that compares equal (as the change test compares, so the text "1"
    // and the number 1 alike) is stored but no change.
    const bool unchanged = stored == value;
    editableContent().columns[size_t(column)] = value;
    if (!unchanged) {
        markChanged();
    }
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
    TreeItemData &columns = editableContent();
    columns.columnCount = quint8(std::min(count, MaxColumns));
    for (int column = 0; column < MaxColumns; ++column) {
        columns.columns[size_t(column)] = column < columns.columnCount ? data[column] : QVariant();
    }
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
    const auto &siblings = m_parent->m_children;
    const auto it = std::find_if(siblings.begin(), siblings.end(), [this](const auto &sibling) {
        return sibling.get() == this;
    });
    return it == siblings.end() ? -1 : int(it - siblings.begin());
}

TreeItem *TreeItem::findItem(const QString &value, int column) const
{
    for (const auto &child : m_children) {
        if (child->data(column).toString() == value) {
            return child.get();
        }
        if (TreeItem *found = child->findItem(value, column)) {
            return found;
        }
    }
    return nullptr;
}

TreeItem *TreeItem::findItemBelowChildren(const QString &value, int column) const
{
    for (const auto &child : m_children) {
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
    for (const auto &child : m_children) {
        if (child->data(0).toString() == text) {
            return child.get();
        }
    }
    return nullptr;
}

void TreeItem::addDestination(std::unique_ptr<TreeItem> destination)
{
    const QString name = destination->data(1).toString();
    auto isKind = [](const QString &kind) {
        return [kind](const std::unique_ptr<TreeItem> &child) {
            return child->data(0).toString() == kind;
        };
    };
    auto position = m_children.end();
    const auto lastDestination = std::find_if(m_children.rbegin(), m_children.rend(), isKind(QStringLiteral("destination")));
    if (lastDestination != m_children.rend()) {
        position = lastDestination.base();
    } else {
        position = std::find_if(m_children.begin(), m_children.end(), isKind(QStringLiteral("log")));
    }
    destination->m_parent = this;
    m_children.insert(position, std::move(destination));
    markChanged();

    auto log = std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("log"), QVariant(), QVariant()}, this);
    log->appendChild(std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("source"), QVariant(), QStringLiteral("velta_events_src")}));
    log->appendChild(std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("destination"), QVariant(), name}));
    appendChild(std::move(log));
}

bool TreeItem::removeDestinationLogs(const QString &name)
{
    const auto isDestination = [](const std::unique_ptr<TreeItem> &option) {
        return option->data(0).toString() == QLatin1String("destination");
    };
    bool removed = false;
    std::vector<const TreeItem *> emptied;
    for (auto &statement : m_children) {
        if (statement->data(0).toString() != QLatin1String("log")) {
            continue;
        }
        // Only the reference goes: the statement may still feed other destinations.
        auto &options = statement->m_children;
        const auto firstRemoved = std::remove_if(options.begin(), options.end(), [&](const std::unique_ptr<TreeItem> &option) {
            return isDestination(option) && option->data(2).toString() == name;
        });
        if (firstRemoved == options.end()) {
            continue;
        }
        options.erase(firstRemoved, options.end());
        statement->markChanged();
        removed = true;
        if (std::none_of(options.begin(), options.end(), isDestination)) {
            emptied.push_back(statement.get());
        }
    }
    if (!removed) {
        return false;
    }
    // A log statement left without any destination would carry records nowhere.
    m_children.erase(std::remove_if(m_children.begin(),
                                    m_children.end(),
                                    [&](const std::unique_ptr<TreeItem> &statement) {
                                        return std::find(emptied.begin(), emptied.end(), statement.get()) != emptied.end();
                                    }),
                     m_children.end());
    markChanged();
    return true;
}
