#pragma once

#include "parametervalue.h"
#include "treeitem.h"

#include <QHash>
#include <QMetaType>

#include <functional>
#include <optional>

// A node of the event tree: the root, a group, an event or a parameter.
// Every node of an event tree is an EventTreeItem. A tree of 50,000 events has
// a million of them: they come from a pool of slots of their size.
class EventTreeItem : public TreeItem, public PooledAllocation<EventTreeItem>
{
public:
    enum NotificationState : int {
        NotificationsOff = 0,
        NotificationsEnabled = 1,
        NotificationsEdited = 2,
    };

    enum Kind : int {
        Group = 0,
        Event = 1,
        Parameter = 2, // scalar or object
        ListParameter = 3,
        ObjectListParameter = 4,
    };

    explicit EventTreeItem(const QVector<QVariant> &data, EventTreeItem *parent = nullptr);
    explicit EventTreeItem(std::initializer_list<QVariant> data, EventTreeItem *parent = nullptr);
    ~EventTreeItem() override;

    void appendChild(std::unique_ptr<EventTreeItem> child, bool atFront = false);
    // A deep copy with all fields; dependency links lead to the copies of their
    // targets (links to items outside this subtree are dropped). This item and
    // the copy share copy stamps until either changes.
    std::unique_ptr<EventTreeItem> clone();
    // Makes this tree, a copy of original made by clone(), an unchanged copy
    // of it again and answers true: each node shares the original's content
    // and stamp, rows added or removed are copied, and links lead to the
    // nodes at their places. Nodes whose stamps still match are passed over:
    // nothing below them changed since they were copied. False when rows
    // holding links came or went: this tree is then whole, but only a new
    // clone() is a copy.
    bool catchUp(EventTreeItem *original);
    EventTreeItem *child(int row) const;
    EventTreeItem *parentItem() const;

    EventTreeItem *findById(const QString &id) const;
    EventTreeItem *findChildById(const QString &id) const;
    EventTreeItem *findInParent(const QString &id) const;

    // The state that the checkable children other than groups give (a group's
    // direct events): a nested group is a folder of its own and does not count.
    // Nothing when there is no such child.
    std::optional<int> checkStateOfChildren() const;
    // Recomputes the check state of a checkable group from its direct events,
    // nested groups first; a group with no event anywhere below it is
    // unchecked and not checkable, one with events only in nested groups is
    // unchecked.
    void updateGroupCheckState();

    bool isCheckable() const
    {
        return flag(Checkable);
    }
    void setCheckable(bool checkable)
    {
        setFlag(Checkable, checkable);
    }
    int checkState() const
    {
        return int(packedField(CheckStateField));
    }
    void setCheckState(int state)
    {
        assign(CheckStateField, quint32(state));
    }
    bool isEditable() const
    {
        return flag(Editable);
    }
    void setEditable(bool editable)
    {
        setFlag(Editable, editable);
    }
    bool childrenEditable() const
    {
        return flag(ChildrenEditable);
    }
    void setChildrenEditable(bool editable)
    {
        setFlag(ChildrenEditable, editable);
    }
    bool isVisible() const
    {
        return flag(Visible);
    }
    void setVisible(bool visible)
    {
        setFlag(Visible, visible);
    }
    // Written by Apply: the entry came from the current settings file, or an
    // edit through the model changed it.
    bool isOverlaid() const
    {
        return flag(Overlaid);
    }
    // The change test does not compare it.
    void setOverlaid(bool overlaid);
    bool isNotRedirected() const
    {
        return flag(NotRedirected);
    }
    void setNotRedirected(bool notRedirected)
    {
        setFlag(NotRedirected, notRedirected);
    }
    bool generatesLoad() const
    {
        return flag(GeneratesLoad);
    }
    void setGeneratesLoad(bool generatesLoad)
    {
        setFlag(GeneratesLoad, generatesLoad);
    }
    bool hasAuditRules() const
    {
        return flag(HasAuditRules);
    }
    void setHasAuditRules(bool has)
    {
        setFlag(HasAuditRules, has);
    }
    bool hasAuditEvents() const
    {
        return flag(HasAuditEvents);
    }
    void setHasAuditEvents(bool has)
    {
        setFlag(HasAuditEvents, has);
    }
    NotificationState notificationState() const
    {
        return NotificationState(packedField(NotificationStateField));
    }
    void setNotificationState(NotificationState state)
    {
        assign(NotificationStateField, quint32(state));
    }
    bool notificationsOn() const
    {
        return notificationState() == NotificationsEnabled || notificationState() == NotificationsEdited;
    }
    int kind() const
    {
        return int(packedField(KindField));
    }
    void setKind(int kind)
    {
        assign(KindField, quint32(kind));
    }
    // By reference: read over whole trees, a copy would write to every string's
    // reference count.
    const QString &id() const
    {
        return content().id;
    }
    void setId(const QString &id)
    {
        assign(&TreeItemData::id, id);
    }
    // The JSON type a scalar parameter was read with; edits keep it.
    ParameterValue::Kind valueKind() const
    {
        return ParameterValue::Kind(packedField(ValueKindField));
    }
    void setValueKind(ParameterValue::Kind kind)
    {
        assign(ValueKindField, quint32(kind));
    }
    const QString &name() const
    {
        return content().name;
    }
    void setName(const QString &name)
    {
        assign(&TreeItemData::name, name);
    }

    // Links into the same tree; not owned.
    const QVector<EventTreeItem *> &dependsOn() const;
    void addDependsOn(EventTreeItem *item);
    const QVector<EventTreeItem *> &dependents() const;
    void addDependent(EventTreeItem *item);

private:
    // The on/off fields, one bit each.
    enum Flag : quint8 {
        Checkable,
        Editable,
        ChildrenEditable,
        Visible,
        Overlaid,
        NotRedirected,
        GeneratesLoad,
        HasAuditRules,
        HasAuditEvents,
        FlagCount,
    };
    // The small fields in the content block's packed word: a tree of 50,000
    // events has a million nodes, and each block holds them in four bytes.
    static constexpr PackedField CheckStateField{FirstFreeBit, 2};
    static constexpr PackedField NotificationStateField{FirstFreeBit + 2, 2};
    static constexpr PackedField KindField{FirstFreeBit + 4, 3};
    static constexpr PackedField ValueKindField{FirstFreeBit + 7, 2};
    static constexpr quint8 FirstFlagBit = FirstFreeBit + 9;
    static_assert(FirstFlagBit + FlagCount <= 32, "the small fields fit the packed word");
    static constexpr PackedField flagField(Flag flag)
    {
        return PackedField{quint8(FirstFlagBit + flag), 1};
    }
    // A new node: a visible event, every other field zero.
    static constexpr quint32 NewNodeFields = 1u << (FirstFlagBit + Visible) | quint32(Event) << KindField.shift;

    // Few events have links: they are kept apart, and a node without any
    // holds one pointer for them. They lead to nodes of this tree, so they
    // are the node's own and not shared with its copies.
    struct Links {
        QVector<EventTreeItem *> dependsOn;
        QVector<EventTreeItem *> dependents;
    };
    using LinkList = QVector<EventTreeItem *> Links::*;

    // A copy of this node alone that shares its content.
    explicit EventTreeItem(const EventTreeItem *original);

    bool flag(Flag flag) const
    {
        return packedField(flagField(flag)) != 0;
    }
    void setFlag(Flag flag, bool on)
    {
        assign(flagField(flag), on ? 1u : 0u);
    }
    // Every change of a field: the block is detached only when the value differs.
    void assign(PackedField field, quint32 value)
    {
        if (writePackedField(field, value)) {
            markChanged();
        }
    }
    void assign(QString TreeItemData::*field, const QString &value)
    {
        if (content().*field != value) {
            editableContent().*field = value;
            markChanged();
        }
    }
    const QVector<EventTreeItem *> &linked(LinkList list) const;
    void addLinked(LinkList list, EventTreeItem *item);

    std::unique_ptr<EventTreeItem> cloneNode(QHash<const EventTreeItem *, EventTreeItem *> *linkedCopies) const;
    std::unique_ptr<EventTreeItem> cloneSubtree(QHash<const EventTreeItem *, EventTreeItem *> *linkedCopies);
    // catchUp() below this node; relink gets whether links may have moved.
    bool catchUpSubtree(EventTreeItem *original, bool *relink);
    // Sets the links of this tree's nodes from original's, the same tree.
    void relinkAs(const EventTreeItem *original, const EventTreeItem *originalRoot, EventTreeItem *root);
    // The node of the tree under root at the place node holds under originalRoot.
    static EventTreeItem *counterpart(const EventTreeItem *node, const EventTreeItem *originalRoot, EventTreeItem *root);
    // Whether a node below this one has links.
    bool rowsHoldLinks() const;
    // This node's links lead to copyOf the targets of original's (none where
    // copyOf gives none).
    void setLinksOf(const EventTreeItem *original, const std::function<EventTreeItem *(const EventTreeItem *)> &copyOf);

    std::unique_ptr<Links> m_links;
};

Q_DECLARE_METATYPE(EventTreeItem::NotificationState)

// Destroys a tree on a worker thread: a tree of thousands of events takes
// longer to free than a frame, and nothing else refers to it any more.
void destroyInBackground(std::unique_ptr<EventTreeItem> tree);

// Registers "EventTreeItem::NotificationState" once; cheap to call again.
void registerNotificationStateType();
