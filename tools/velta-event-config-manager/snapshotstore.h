#pragma once

#include <QByteArray>
#include <QString>

// The last configurations, kept as export archives in the snapshot folder so
// that an administrator can go back to one after a change went wrong.
namespace SnapshotStore
{
inline constexpr int Kept = 10;

// Saves the managed files as a new snapshot unless the newest one holds them
// already, and drops the oldest beyond Kept. name gets the snapshot that holds
// the files now (the new one or the newest); nothing present, nothing saved
// and no name. Their names and paths: ConfigSnapshot.
bool take(QString *errorText, QString *name = nullptr);

// The two halves of take(), for a caller that decides in between whether the
// snapshot is kept: the files are read when it is prepared, as they are then.
struct Prepared {
    QString newest; // the newest snapshot, when it holds the files already
    QByteArray archive; // the new snapshot otherwise; empty when no managed file exists
};
bool prepare(Prepared *prepared, QString *errorText);
bool keep(const Prepared &prepared, QString *errorText, QString *name = nullptr);

// Puts the files of the snapshot name back as they are: no check (they are
// what ran before) and no snapshot of the files they replace.
bool putBack(const QString &name, QString *errorText);

// Whether archivePath (placed) is a snapshot of the private snapshot folder:
// root's own copy of what the system held, which nobody else can have put there.
bool holds(const QString &archivePath);
} // namespace SnapshotStore
