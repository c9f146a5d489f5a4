#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// The configuration manager tool that saves and restores the whole configuration.
namespace ConfigManager
{

struct Outcome {
    bool ok = false;
    QString message; // what the tool said on failure
};

// Writes the current configuration into the archive at path (placed).
Outcome exportArchive(const QString &path);

struct ImportResult {
    bool ok = false;
    bool changed = false; // files on the system differ from before, also after a failure
    QStringList files; // the system paths that changed
    QString message; // what the tool said on failure
};

// Imports the archive at path (placed), all or nothing.
ImportResult importArchive(const QString &path);

struct FileChange {
    enum class Kind {
        Added,
        Replaced,
        Removed,
    };
    QString path; // system path
    Kind kind = Kind::Replaced;
};

struct Preview {
    bool ok = false;
    QList<FileChange> changes; // empty when the archive holds the configuration as it is
    QByteArray diff; // a unified diff per changed file
    QString message; // what the tool said on failure
};

// What importing the archive at path (placed) would change; changes nothing.
Preview preview(const QString &path);

// The archive (placed) of a snapshot, for a preview of its restore.
QString snapshotArchive(const QString &name);

struct Snapshot {
    QString name;
    QDateTime taken;
    QStringList differing; // system paths a restore would change
};

// The kept configurations, oldest first; empty when none or the tool failed.
QList<Snapshot> snapshots();
} // namespace ConfigManager
