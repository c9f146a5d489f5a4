#pragma once

#include "process.h"

#include <QString>

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
}
