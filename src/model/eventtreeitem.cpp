#include "eventtreeitem.h"

EventTreeItem::EventTreeItem(const QVector<QVariant> &data, EventTreeItem *parent)
    : TreeItem(data, parent)
{
}

EventTreeItem::~EventTreeItem() = default;

void EventTreeItem::appendChild(std::unique_ptr<EventTreeItem> child, bool atFront)
{
    TreeItem::appendChild(std::move(child), atFront);
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
        if (item->m_id == id) {
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
        if (child(row)->m_id == id) {
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
    return parent->m_id == id ? parent : parent->findById(id);
}

void EventTreeItem::updateGroupCheckState()
{
    if (m_kind != Group || !m_checkable || childCount() == 0) {
        return;
    }
    int checkable = 0;
    int checked = 0;
    for (int row = 0; row < childCount(); ++row) {
        if (child(row)->m_checkable) {
            ++checkable;
        }
    }
    if (checkable == 0) {
        m_checkState = Qt::Unchecked;
        return;
    }
    for (int row = 0; row < childCount(); ++row) {
        EventTreeItem *item = child(row);
        if (!item->m_checkable) {
            continue;
        }
        item->updateGroupCheckState();
        if (item->m_checkState == Qt::PartiallyChecked) {
            m_checkState = Qt::PartiallyChecked;
            return;
        }
        if (item->m_checkState == Qt::Checked) {
            ++checked;
        }
    }
    m_checkState = checked == 0 ? Qt::Unchecked : checked == checkable ? Qt::Checked : Qt::PartiallyChecked;
}

void registerNotificationStateType()
{
    static const int id = qRegisterMetaType<EventTreeItem::NotificationState>("EventTreeItem::NotificationState");
    Q_UNUSED(id)
}
