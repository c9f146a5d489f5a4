#pragma once

#include "process.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The unified diff of a file as it is and as a writer would leave it: what
// "velta-event-config-manager --diff" prints and what the module's review of
// its changes shows, made by the one function below ("diff -u --text", labelled
// with the system path, "/dev/null" for a side where the file is missing).
namespace UnifiedDiff
{
struct File {
    QString systemPath;
    bool exists = false; // the file is on the system now
    QByteArray current;
    bool remove = false; // the writer deletes it
    QByteArray wanted;

    // Whether writing it would change anything.
    bool changes() const
    {
        return remove ? exists : !exists || current != wanted;
    }
};

struct Diffs {
    bool ok = true; // false, with errorText, when diff could not be run
    QByteArray text;
    QString errorText;
};
using Done = std::function<void(const Diffs &)>;

// One diff per changed file, in the order given, each run through run once the
// one before it has ended; nothing for a file that does not change.
void of(const QList<File> &files, const Process::Runner &run, const Done &done);

// Cuts a text of several diffs into the diff of each file, as (system path, diff).
QList<QPair<QString, QByteArray>> split(const QByteArray &text);
}
