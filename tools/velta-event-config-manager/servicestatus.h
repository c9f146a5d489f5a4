#pragma once

#include <QJsonArray>
#include <QJsonObject>

// Whether the services that read the managed files run, and whether the
// running syslog-ng runs the files on disk: a daemon that died, or one that
// still runs a configuration it was never made to take, is drift as much as
// a file changed behind the archive's back.
namespace ServiceStatus
{
// One object per unit ("syslog-ng", and "auditd" where it is installed):
// "running" (true, false, or null when the service manager does not tell),
// for syslog-ng "configurationOnDisk" (null when it does not run or does not
// answer), and "reason" when something is not known or not as it should be.
// Each unit that does not run, and a syslog-ng that runs another
// configuration, adds an entry {"service", "change"} to drift.
QJsonObject query(QJsonArray *drift);
}
