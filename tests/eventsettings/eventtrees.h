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

// A package laid out unlike the sample: first-level groups, a file in the top
// directory, a nested folder holding an event-like file and a deeper folder,
// and a group file that holds an event object.
void writeSecondLayout(const TestRoot &root);
// Groups and events with their check states, pre-order: "accounts=1(archive=0(notes=0) login=2)";
// groups by their directory name, events by identifier.
QString checkStates(const EventTreeItem *item);
