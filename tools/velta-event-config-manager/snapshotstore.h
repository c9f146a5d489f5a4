#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// The last configurations, kept as export archives in the snapshot folder so
// that an administrator can go back to one after a change went wrong.
namespace SnapshotStore
{
inline constexpr int Kept = 10;

// Saves the managed files as a new snapshot unless the newest one holds them
// already, and drops the oldest beyond Kept. name gets the snapshot that holds
// the files now (the new one or the newest); nothing present, nothing saved
// and no name.
bool take(QString *errorText, QString *name = nullptr);

// Snapshot names, oldest first.
QStringList names();

// The placed path of a snapshot, or empty when name is none of ours.
QString path(const QString &name);

// Whether archivePath (placed) is a snapshot of the private snapshot folder:
// root's own copy of what the system held, which nobody else can have put there.
bool holds(const QString &archivePath);

// When the snapshot was taken (from its name).
QDateTime takenAt(const QString &name);
} // namespace SnapshotStore
