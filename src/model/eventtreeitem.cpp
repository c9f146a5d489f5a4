#include "eventtreeitem.h"

#include <QThreadPool>
#include <QtConcurrent>

#include <vector>

EventTreeItem::EventTreeItem(const QVector<QVariant> &data, EventTreeItem *parent)
    : TreeItem(data.constData(), data.size(), parent, NewNodeFields)
{
}

EventTreeItem::EventTreeItem(std::initializer_list<QVariant> data, EventTreeItem *parent)
    : TreeItem(data.begin(), int(data.size()), parent, NewNodeFields)
{
}

EventTreeItem::EventTreeItem(const EventTreeItem *original)
    : TreeItem(original)
{
}

EventTreeItem::~EventTreeItem() = default;

void EventTreeItem::appendChild(std::unique_ptr<EventTreeItem> child, bool atFront)
{
    TreeItem::appendChild(std::move(child), atFront);
}

std::unique_ptr<EventTreeItem> EventTreeItem::clone()
{
    // The top-level branches (the groups of an event tree) are copied on every
    // core, each recording its linked copies apart; links may cross branches,
    // so they are set once all copies exist.
    struct Branch {
        EventTreeItem *original; // not owned
        std::unique_ptr<EventTreeItem> copy;
        QHash<const EventTreeItem *, EventTreeItem *> linkedCopies;
    };
    std::vector<Branch> branches(static_cast<size_t>(childCount()));
    for (int row = 0; row < childCount(); ++row) {
        branches[size_t(row)].original = child(row);
    }
    QtConcurrent::blockingMap(branches, [](Branch &branch) {
        branch.copy = branch.original->cloneSubtree(&branch.linkedCopies);
    });

    QHash<const EventTreeItem *, EventTreeItem *> linkedCopies;
    std::unique_ptr<EventTreeItem> copy = cloneNode(&linkedCopies);
    copy->reserveChildren(childCount());
    for (Branch &branch : branches) {
        linkedCopies.insert(branch.linkedCopies);
        copy->TreeItem::appendChild(std::move(branch.copy));
    }
    shareNewCopyStamp(copy.get());
    for (auto it = linkedCopies.cbegin(); it != linkedCopies.cend(); ++it) {
        it.value()->setLinksOf(it.key(), [&linkedCopies](const EventTreeItem *item) {
            return linkedCopies.value(item);
        });
    }
    return copy;
}

void EventTreeItem::setLinksOf(const EventTreeItem *original, const std::function<EventTreeItem *(const EventTreeItem *)> &copyOf)
{
    if (!original->m_links) {
        m_links.reset();
        return;
    }
    const auto copies = [&copyOf](const QVector<EventTreeItem *> &items) {
        QVector<EventTreeItem *> found;
        for (const EventTreeItem *item : items) {
            if (EventTreeItem *itemCopy = copyOf(item)) {
                found.append(itemCopy);
            }
        }
        return found;
    };
    m_links = std::make_unique<Links>(Links{copies(original->dependsOn()), copies(original->dependents())});
}

std::unique_ptr<EventTreeItem> EventTreeItem::cloneNode(QHash<const EventTreeItem *, EventTreeItem *> *linkedCopies) const
{
    // Not make_unique: the constructor is private.
    std::unique_ptr<EventTreeItem> copy(new EventTreeItem(this));
    // Links are set once every copy exists.
    if (m_links) {
        linkedCopies->insert(this, copy.get());
    }
    return copy;
}

std::unique_ptr<EventTreeItem> EventTreeItem::cloneSubtree(QHash<const EventTreeItem *, EventTreeItem *> *linkedCopies)
{
    std::unique_ptr<EventTreeItem> copy = cloneNode(linkedCopies);
    copy->reserveChildren(childCount());
    for (int row = 0; row < childCount(); ++row) {
        copy->TreeItem::appendChild(child(row)->cloneSubtree(linkedCopies));
    }
    shareNewCopyStamp(copy.get());
    return copy;
}

bool EventTreeItem::catchUp(EventTreeItem *original)
{
    bool relink = false;
    if (!catchUpSubtree(original, &relink)) {
        return false;
    }
    if (relink) {
        relinkAs(original, original, this);
    }
    return true;
}

bool EventTreeItem::catchUpSubtree(EventTreeItem *original, bool *relink)
{
    // Unchanged copies of one another: nothing below has changed either.
    if (copyStamp() != 0 && copyStamp() == original->copyStamp()) {
        return true;
    }
    shareContent(*original);
    *relink = *relink || m_links || original->m_links;
    if (childCount() == original->childCount()) {
        for (int row = 0; row < childCount(); ++row) {
            if (!child(row)->catchUpSubtree(original->child(row), relink)) {
                return false;
            }
        }
    } else {
        // Rows came or went: the rows are copied anew, unless links lead
        // to or from them, which only a whole copy sets right.
        if (rowsHoldLinks() || original->rowsHoldLinks()) {
            return false;
        }
        while (childCount() > 0) {
            m_children.erase(childCount() - 1);
        }
        reserveChildren(original->childCount());
        QHash<const EventTreeItem *, EventTreeItem *> noLinks;
        for (int row = 0; row < original->childCount(); ++row) {
            TreeItem::appendChild(original->child(row)->cloneSubtree(&noLinks));
        }
    }
    original->shareNewCopyStamp(this);
    return true;
}

void EventTreeItem::relinkAs(const EventTreeItem *original, const EventTreeItem *originalRoot, EventTreeItem *root)
{
    setLinksOf(original, [originalRoot, root](const EventTreeItem *item) {
        return counterpart(item, originalRoot, root);
    });
    for (int row = 0; row < childCount(); ++row) {
        child(row)->relinkAs(original->child(row), originalRoot, root);
    }
}

EventTreeItem *EventTreeItem::counterpart(const EventTreeItem *node, const EventTreeItem *originalRoot, EventTreeItem *root)
{
    std::vector<int> rows;
    for (const EventTreeItem *item = node; item != originalRoot; item = item->parentItem()) {
        if (!item) {
            return nullptr; // outside the tree, as a copy drops it
        }
        rows.push_back(item->row());
    }
    EventTreeItem *here = root;
    for (auto row = rows.crbegin(); here && row != rows.crend(); ++row) {
        here = here->child(*row);
    }
    return here;
}

bool EventTreeItem::rowsHoldLinks() const
{
    for (int row = 0; row < childCount(); ++row) {
        if (child(row)->m_links || child(row)->rowsHoldLinks()) {
            return true;
        }
    }
    return false;
}

const QVector<EventTreeItem *> &EventTreeItem::dependsOn() const
{
    return linked(&Links::dependsOn);
}

void EventTreeItem::addDependsOn(EventTreeItem *item)
{
    addLinked(&Links::dependsOn, item);
}

const QVector<EventTreeItem *> &EventTreeItem::dependents() const
{
    return linked(&Links::dependents);
}

void EventTreeItem::addDependent(EventTreeItem *item)
{
    addLinked(&Links::dependents, item);
}

const QVector<EventTreeItem *> &EventTreeItem::linked(LinkList list) const
{
    static const QVector<EventTreeItem *> none;
    return m_links ? (*m_links).*list : none;
}

void EventTreeItem::addLinked(LinkList list, EventTreeItem *item)
{
    if (!m_links) {
        m_links = std::make_unique<Links>();
    }
    ((*m_links).*list).append(item);
    markChanged();
}

void EventTreeItem::setOverlaid(bool overlaid)
{
    // The block is detached: the copies keep what they were given. The stamps
    // go, so that a copy catching up takes the mark; the change test then
    // compares the cells, which are what they were.
    if (writePackedField(flagField(Overlaid), overlaid ? 1u : 0u)) {
        markChanged();
    }
}

EventTreeItem *EventTreeItem::child(int row) const
{
    // Only EventTreeItems are ever appended to an EventTreeItem.
    return static_cast<EventTreeItem *>(const_cast<EventTreeItem *>(this)->TreeItem::child(row));
}

EventTreeItem *EventTreeItem::parentItem() const
{
    return static_cast<EventTreeItem *>(TreeItem::parentItem());
}

EventTreeItem *EventTreeItem::findById(const QString &id) const
{
    for (int row = 0; row < childCount(); ++row) {
        EventTreeItem *item = child(row);
        if (item->id() == id) {
            return item;
        }
        if (EventTreeItem *found = item->findById(id)) {
            return found;
        }
    }
    return nullptr;
}

EventTreeItem *EventTreeItem::findChildById(const QString &id) const
{
    for (int row = 0; row < childCount(); ++row) {
        if (child(row)->id() == id) {
            return child(row);
        }
    }
    return nullptr;
}

EventTreeItem *EventTreeItem::findInParent(const QString &id) const
{
    EventTreeItem *parent = parentItem();
    if (!parent) {
        return nullptr;
    }
    return parent->id() == id ? parent : parent->findById(id);
}

std::optional<int> EventTreeItem::checkStateOfChildren() const
{
    int checkable = 0;
    int checked = 0;
    for (int row = 0; row < childCount(); ++row) {
        const EventTreeItem *item = child(row);
        if (!item->isCheckable() || item->kind() == Group) {
            continue;
        }
        if (item->checkState() == Qt::PartiallyChecked) {
            return Qt::PartiallyChecked;
        }
        ++checkable;
        checked += item->checkState() == Qt::Checked;
    }
    if (checkable == 0) {
        return std::nullopt;
    }
    return checked == 0 ? Qt::Unchecked : checked == checkable ? Qt::Checked : Qt::PartiallyChecked;
}

void EventTreeItem::updateGroupCheckState()
{
    if (kind() != Group || !isCheckable()) {
        return;
    }
    bool holdsEvents = false;
    for (int row = 0; row < childCount(); ++row) {
        EventTreeItem *item = child(row);
        item->updateGroupCheckState();
        holdsEvents = holdsEvents || (item->isCheckable() && (item->kind() == Event || item->kind() == Group));
    }
    // A folder without events has nothing to switch: it gets no box, and
    // ticking it can never make Apply rewrite files for nothing.
    setCheckable(holdsEvents);
    setCheckState(checkStateOfChildren().value_or(Qt::Unchecked));
}

void registerNotificationStateType()
{
    static const int id = qRegisterMetaType<EventTreeItem::NotificationState>("EventTreeItem::NotificationState");
    Q_UNUSED(id)
}

void destroyInBackground(std::unique_ptr<EventTreeItem> tree)
{
    if (!tree) {
        return;
    }
    // The pool waits for its tasks when the process ends, so the tree is freed
    // in any case; its values share only reference-counted data with live trees.
    EventTreeItem *released = tree.release();
    QThreadPool::globalInstance()->start([released] {
        delete released;
    });
}
