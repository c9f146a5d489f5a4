#include "eventtreebuilder.h"

#include "model/eventtreeitem.h"

EventTreeItem *addTreeItem(EventTreeItem *parent, const QString &name, int kind, const QVariant &value)
{
    auto item = std::make_unique<EventTreeItem>(QVector<QVariant>{name, value, QVariant()}, parent);
    item->setKind(kind);
    item->setName(name);
    item->setId(name);
    EventTreeItem *raw = item.get();
    parent->appendChild(std::move(item));
    return raw;
}
