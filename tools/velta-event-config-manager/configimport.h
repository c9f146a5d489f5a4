#pragma once

#include "configarchive.h"

#include <vector>

// Import of an archive's files, in steps that a caller can stop after: what
// would change, whether the real tools accept the result, the diff, and the
// replacement itself.
namespace ConfigImport
{
struct Change {
    QString name; // entry name
    bool exists = false; // the file is on the system now
    QByteArray current;
    bool remove = false; // a notified event the archive does not hold
    QByteArray wanted;
};
// Only the files an import would change, in entry-name order.
using Plan = std::vector<Change>;

// The system path of an entry name.
QString systemPath(const QString &name);

// Compares the archive's files with the system's.
bool plan(const ConfigArchive::Files &files, Plan *plan, QString *errorText);

// Where the archive comes from: anyone (its syslog-ng files are screened
// before syslog-ng reads them) or root's own snapshots of the system.
enum class Origin {
    Outside,
    Snapshot,
};

// Runs syslog-ng and logrotate on a staged copy of the files as the import
// would leave them; errorText holds what the tools said, under system paths.
bool check(const ConfigArchive::Files &files, const Plan &plan, Origin origin, QString *errorText);

// A unified diff per changed file, current text first.
bool diff(const Plan &plan, QByteArray *text, QString *errorText);

// Replaces and removes the planned files all or nothing. notPutBack gets the
// files a failed import could not restore.
bool apply(const Plan &plan, QString *errorText, QStringList *notPutBack);
} // namespace ConfigImport
