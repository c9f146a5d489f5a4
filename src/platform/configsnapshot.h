#pragma once

#include "process.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

// Keeps the managed files as they are now, before the module replaces some of
// them, by running the configuration manager with "--snapshot": the state a
// failed restart goes back to, and that the administrator can restore.
namespace ConfigSnapshot
{
struct Taken {
    bool ok = false;
    QString error; // the command and why it failed
    QString name; // the snapshot that holds the files now
};

// name gets the snapshot that holds the files now: a new one, or the newest
// when it holds them already; empty when there is nothing to keep.
bool take(QString *errorText = nullptr, QString *name = nullptr);
// The same through run, handing the outcome to done.
void take(const Process::Runner &run, const std::function<void(const Taken &)> &done);

// The newest snapshot's name; empty when there is none.
QString newest();

// The snapshots of the snapshot folder, oldest first; none when the folder is
// not root's private one. A snapshot is named by the time it was taken, in UTC,
// so that names sort by it.
QStringList names();
// The name of a snapshot taken at when.
QString nameAt(const QDateTime &when);
// When the snapshot was taken (from its name).
QDateTime takenAt(const QString &name);
// The placed path of a snapshot, or empty when name is none of ours.
QString path(const QString &name);
}
