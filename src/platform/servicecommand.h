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
}
