#pragma once

#include "platform/process.h"

#include <functional>

class QString;
class QWidget;

// Before the module writes a change that has been accepted: the configuration
// as it is now is kept in a snapshot. When none can be taken the change stops,
// unless the administrator chooses to go on without one (asked with parent,
// default No). True when the write may go on; snapshot gets the snapshot's
// name, empty without one.
bool snapshotBeforeWrite(QWidget *parent, QString *snapshot);
// The same through run: done gets whether the write may go on and the snapshot.
void snapshotBeforeWrite(QWidget *parent, const Process::Runner &run, const std::function<void(bool goOn, const QString &snapshot)> &done);

// While one lives, the writes of one action of the administrator (one OK of
// the settings window) share the snapshot the first of them took, or the
// answer to go on without one.
class SnapshotScope
{
public:
    SnapshotScope();
    ~SnapshotScope();
    SnapshotScope(const SnapshotScope &) = delete;
    SnapshotScope &operator=(const SnapshotScope &) = delete;
};
