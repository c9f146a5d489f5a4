#pragma once

#include "platform/checkedwrite.h"
#include "platform/configsnapshot.h"
#include "platform/process.h"

#include <functional>
#include <memory>

class QString;
class QWidget;

// Before the module writes a change that has been accepted: the configuration
// as it is now is kept in a snapshot. When none can be taken the change stops,
// unless the administrator chooses to go on without one (asked with parent,
// default No). The snapshot is taken through run; done gets whether the write
// may go on and the snapshot's name, empty without one.
void snapshotBeforeWrite(QWidget *parent, const Process::Runner &run, const std::function<void(bool goOn, const QString &snapshot)> &done);
// The same with the snapshot taken by take (a held one kept, say).
void snapshotBeforeWrite(QWidget *parent, const ConfigSnapshot::Take &take, const std::function<void(bool goOn, const QString &snapshot)> &done);
// The same as a checked write's question before it writes; snapshot gets the name.
CheckedWrite::BeforeWrite keepSnapshot(QWidget *parent, const Process::Runner &run, const std::shared_ptr<QString> &snapshot);

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
