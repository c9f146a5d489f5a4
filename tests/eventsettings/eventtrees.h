#pragma once

#include <QStringList>

#include <memory>

class EventTreeItem;
class TestRoot;

// Writes a package event file /usr/share/.../event-settings/<group>/<id>.
void writeEvent(const TestRoot &root, const QString &group, const QString &id, const QByteArray &json);
// A tree parsed from the package and the current settings of the active root.
std::unique_ptr<EventTreeItem> parseEvents();
// A group by its directory, or an event's item by "event/key/key"; null if missing.
EventTreeItem *itemAt(const EventTreeItem *root, const QString &path);
// What a user sees of a tree, one line per item: ids, columns, kind, check state, visibility.
QStringList dump(const EventTreeItem *item);
