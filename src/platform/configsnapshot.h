#pragma once

#include "process.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class AsyncProcess;

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

using Done = std::function<void(const Taken &)>;
// A way to take a snapshot, handing the outcome to done.
using Take = std::function<void(const Done &done)>;

// name gets the snapshot that holds the files now: a new one, or the newest
// when it holds them already; empty when there is nothing to keep.
bool take(QString *errorText = nullptr, QString *name = nullptr);
// The same through run, handing the outcome to done.
void take(const Process::Runner &run, const Done &done);

// A snapshot whose files are read at once, while the change it comes before
// is still being checked, and that is kept only when keep() is called: one
// dropped before keeps nothing. The configuration manager runs meanwhile
// ("--snapshot --hold"), on the event loop of the thread that made it.
class Held
{
public:
    Held();
    ~Held();
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;
    // done gets the outcome as take() hands it, once the snapshot is kept (or
    // could not be); done may follow before keep() returns.
    void keep(const Done &done);

private:
    Taken outcome(const Process::Result &result) const;

    std::unique_ptr<AsyncProcess> m_process;
    QString m_tool;
    std::optional<Process::Result> m_ended; // when the tool ended before keep()
    bool m_told = false; // the tool was told to keep it while it waited
    Done m_done;
};

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
