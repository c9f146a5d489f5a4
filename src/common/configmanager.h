#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// The configuration manager tool that saves and restores the whole configuration.
namespace ConfigManager
{
// Runs the tool with option ("-o" or "-i") and the archive path as given; true when it exited with 0.
bool run(const QString &option, const QString &archive);

struct ImportResult {
    bool ok = false;
    bool changed = false; // files on the system differ from before, also after a failure
    QString message; // what the tool said on failure
};

// Imports the archive at path, all or nothing.
ImportResult importArchive(const QString &path);
// Restores a snapshot by name, as an import.
ImportResult restoreSnapshot(const QString &name);

struct Snapshot {
    QString name;
    QDateTime taken;
    QStringList differing; // system paths a restore would change
};

// The kept configurations, oldest first; empty when none or the tool failed.
QList<Snapshot> snapshots();
} // namespace ConfigManager
