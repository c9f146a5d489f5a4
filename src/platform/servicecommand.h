#pragma once

#include <QString>
#include <QStringList>

// The services this system starts, stops and restarts, and the one command
// line that does it: the page and the configuration manager run the same.
namespace ServiceCommand
{
constexpr char LoggingUnit[] = "syslog-ng";
constexpr char AuditUnit[] = "auditd";
// The program run; the rights come from its rules, not from this process.
constexpr char Program[] = "sudo";

// The program's arguments for verb ("start", "stop", "restart", "status") on unit.
QStringList arguments(const QString &verb, const QString &unit);

// The command as the administrator would type it, for messages.
QString text(const QString &verb, const QString &unit);

// The program's arguments that make the running syslog-ng read its files
// again. Its own control command, not the unit's reload: that only signals
// the daemon and is back before it has read anything, while this one waits
// for the daemon's answer, which tells a refused configuration (the one
// before keeps running) from one it runs now.
QStringList reloadArguments();
QString reloadText();

// The program's arguments that print the configuration the running syslog-ng
// runs, and the one it would run from the files on disk, both with every
// include read: the same text when it runs the files on disk.
QStringList runningConfigurationArguments();
QStringList diskConfigurationArguments();
}
