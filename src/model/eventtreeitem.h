#pragma once

#include "parametervalue.h"
#include "treeitem.h"

#include <QHash>
#include <QMetaType>

#include <optional>

// A node of the event tree: the root, a group, an event or a parameter.
// Every node of an event tree is an EventTreeItem.
class EventTreeItem : public TreeItem
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
        return m_checkable;
    }
    void setCheckable(bool checkable)
    {
        assign(m_checkable, checkable);
    }
    int checkState() const
    {
        return m_checkState;
    }
    void setCheckState(int state)
    {
        assign(m_checkState, qint8(state));
    }
    bool isEditable() const
    {
        return m_editable;
    }
    void setEditable(bool editable)
    {
        assign(m_editable, editable);
    }
    bool childrenEditable() const
    {
        return m_childrenEditable;
    }
    void setChildrenEditable(bool editable)
    {
        assign(m_childrenEditable, editable);
    }
    bool isVisible() const
    {
        return m_visible;
    }
    void setVisible(bool visible)
    {
        assign(m_visible, visible);
    }
    // Written by Apply: the entry came from the current settings file, or an
    // edit through the model changed it.
    bool isOverlaid() const
    {
        return m_overlaid;
    }
    // Not a change of content: the change test does not compare it.
    void setOverlaid(bool overlaid)
    {
        m_overlaid = overlaid;
    }
    bool isNotRedirected() const
    {
        return m_notRedirected;
    }
    void setNotRedirected(bool notRedirected)
    {
        assign(m_notRedirected, notRedirected);
    }
    bool generatesLoad() const
    {
        return m_generatesLoad;
    }
    void setGeneratesLoad(bool generatesLoad)
    {
        assign(m_generatesLoad, generatesLoad);
    }
    bool hasAuditRules() const
    {
        return m_hasAuditRules;
    }
    void setHasAuditRules(bool has)
    {
        assign(m_hasAuditRules, has);
    }
    bool hasAuditEvents() const
    {
        return m_hasAuditEvents;
    }
    void setHasAuditEvents(bool has)
    {
        assign(m_hasAuditEvents, has);
    }
    NotificationState notificationState() const
    {
        return NotificationState(m_notificationState);
    }
    void setNotificationState(NotificationState state)
    {
        assign(m_notificationState, qint8(state));
    }
    bool notificationsOn() const
    {
        return m_notificationState == NotificationsEnabled || m_notificationState == NotificationsEdited;
    }
    int kind() const
    {
        return m_kind;
    }
    void setKind(int kind)
    {
        assign(m_kind, qint8(kind));
    }
    // By reference: read over whole trees, a copy would write to every string's
    // reference count.
    const QString &id() const
    {
        return m_id;
    }
    void setId(const QString &id)
    {
        assign(m_id, id);
    }
    // The JSON type a scalar parameter was read with; edits keep it.
    ParameterValue::Kind valueKind() const
    {
        return m_valueKind;
    }
    void setValueKind(ParameterValue::Kind kind)
    {
        assign(m_valueKind, kind);
    }
    const QString &name() const
    {
        return m_name;
    }
    void setName(const QString &name)
    {
        assign(m_name, name);
    }

    // Links into the same tree; not owned.
    const QVector<EventTreeItem *> &dependsOn() const;
    void addDependsOn(EventTreeItem *item);
    const QVector<EventTreeItem *> &dependents() const;
    void addDependent(EventTreeItem *item);

private:
    template<typename T>
    void assign(T &field, const T &value)
    {
        if (!(field == value)) {
            field = value;
            markChanged();
        }
    }
    // This node alone, all fields but the links and children.
    std::unique_ptr<EventTreeItem> cloneNode(QHash<const EventTreeItem *, EventTreeItem *> *linkedCopies) const;
    std::unique_ptr<EventTreeItem> cloneSubtree(QHash<const EventTreeItem *, EventTreeItem *> *linkedCopies);

    // Few events have links: they are kept apart, and a node without any
    // holds one pointer for them.
    struct Links {
        QVector<EventTreeItem *> dependsOn;
        QVector<EventTreeItem *> dependents;
    };
    Links &links();

    // A tree of 50,000 events has a million nodes: the small fields take a
    // byte each.
    bool m_checkable = false;
    bool m_editable = false;
    bool m_childrenEditable = false;
    bool m_visible = true;
    bool m_overlaid = false;
    bool m_notRedirected = false;
    bool m_generatesLoad = false;
    bool m_hasAuditRules = false;
    bool m_hasAuditEvents = false;
    qint8 m_checkState = 0;
    qint8 m_notificationState = NotificationsOff;
    qint8 m_kind = Event;
    ParameterValue::Kind m_valueKind = ParameterValue::Kind::Text;
    QString m_id;
    QString m_name;
    std::unique_ptr<Links> m_links;
};

Q_DECLARE_METATYPE(EventTreeItem::NotificationState)

// Destroys a tree on a worker thread: a tree of thousands of events takes
// longer to free than a frame, and nothing else refers to it any more.
void destroyInBackground(std::unique_ptr<EventTreeItem> tree);

// Registers "EventTreeItem::NotificationState" once; cheap to call again.
void registerNotificationStateType();
