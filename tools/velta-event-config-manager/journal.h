#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The intent of a change of the managed files, recorded and synced before
// its first write and updated at each later step, so that a run killed part
// way is finished by the next one: the files all old or all new, and a
// restart they owe never lost. One change at a time: a run that changes or
// recovers holds the change lock for as long as it lives.
namespace Journal
{
enum class Step {
    Writing, // not yet in the applied record: the files may be part old, part new
    Restarting, // all new and in the applied record, which owes their restarts
};

struct Entry {
    QString snapshot; // the files before the change; empty when there were none
    QStringList files; // system paths the change writes or removes
    QStringList units; // the restarts the change owes
    Step step = Step::Writing;
    QJsonObject before; // what the applied record held as applied before (AppliedRecord::appliedState)
    QStringList owedBefore; // the restarts it owed before
};

// Takes the change lock, or tells that another run holds it. Without create
// a host where no change was ever journaled needs no lock, and gets no folder.
bool lock(bool create, QString *errorText);

// present is false when no change was interrupted.
bool load(Entry *entry, bool *present, QString *errorText);
bool save(const Entry &entry, QString *errorText);
bool remove(QString *errorText);

// Puts back what an interrupted run left half done: the snapshot's files and
// the applied record as they were when it was killed before the change was
// settled in the record, and the temporaries of its writes. A change already
// recorded stays, with its owed restarts. report gets one line on what was
// done; empty when nothing was.
bool recover(QString *report, QString *errorText);
}
