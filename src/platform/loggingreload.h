#pragma once

#include "process.h"

#include <QString>

#include <functional>

// Makes syslog-ng run the files on disk at the smallest loss: a running
// daemon reloads them, which loses no record and, when it refuses them, keeps
// running the configuration it had; one that does not run is restarted. The
// page and the configuration manager run the same steps.
namespace LoggingReload
{
struct Result {
    bool reload = false; // syslog-ng ran and was asked to reload, not restarted
    QString command; // the command that decided, as the administrator would type it
    Process::Result outcome; // its result

    bool ok() const
    {
        return outcome.finished && outcome.exitCode == 0;
    }
    // syslog-ng ran and did not take the files: it still runs what it ran before.
    bool refused() const
    {
        return reload && !ok();
    }
};
using Done = std::function<void(const Result &)>;

void run(const Process::Runner &run, int statusLimitMs, int switchLimitMs, const Done &done);
}
