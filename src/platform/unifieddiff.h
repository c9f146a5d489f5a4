#pragma once

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

// Appends the diff of one file to text; nothing for a file that does not
// change. False, with errorText, when diff could not be run.
bool append(const File &file, QByteArray *text, QString *errorText);

// One diff per changed file, in the order given.
bool of(const QList<File> &files, QByteArray *text, QString *errorText);

// Cuts a text of several diffs into the diff of each file, as (system path, diff).
QList<QPair<QString, QByteArray>> split(const QByteArray &text);
}
