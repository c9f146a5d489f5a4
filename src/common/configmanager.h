#pragma once

#include "platform/process.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The configuration manager tool that saves and restores the whole configuration.
// Each call starts the tool through runner and hands what it found to done.
namespace ConfigManager
{

struct Outcome {
    bool ok = false;
    QString message; // what the tool said on failure
};

// Writes the current configuration into the archive at path (placed).
void exportArchive(const QString &path, const Process::Runner &runner, const std::function<void(const Outcome &)> &done);

struct ImportResult {
    bool ok = false;
    bool changed = false; // files on the system differ from before, also after a failure
    QStringList files; // the system paths that changed
    QString message; // what the tool said on failure
};

// Whether an archive whose signer is missing or not trusted may be read: only
// once the administrator said so.
enum class Signature {
    MustBeTrusted,
    AnySigner,
};

// Imports the archive at path (placed), all or nothing.
void importArchive(const QString &path, Signature signature, const Process::Runner &runner, const std::function<void(const ImportResult &)> &done);

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
    bool untrusted = false; // refused for a missing or unknown signer alone; message says which
    QString signer; // who signed the archive, as the tool names it; empty for a snapshot
    QList<FileChange> changes; // empty when the archive holds the configuration as it is
    QByteArray diff; // a unified diff per changed file
    QString message; // what the tool said on failure
};

// What importing the archive at path (placed) would change; changes nothing.
void preview(const QString &path, Signature signature, const Process::Runner &runner, const std::function<void(const Preview &)> &done);

// The archive (placed) of a snapshot, for a preview of its restore.
QString snapshotArchive(const QString &name);

struct Snapshot {
    QString name;
    QDateTime taken;
    QStringList differing; // system paths a restore would change
};

// The kept configurations, oldest first; empty when none or the tool failed.
void snapshots(const Process::Runner &runner, const std::function<void(const QList<Snapshot> &)> &done);
} // namespace ConfigManager
