#pragma once

#include <QVariant>

class EventTreeItem;
class QString;

// Appends an item to a hand-built event tree: name is its column 0, id and name;
// value its column 1. Returns the item, owned by parent.
EventTreeItem *addTreeItem(EventTreeItem *parent, const QString &name, int kind, const QVariant &value = QVariant());
