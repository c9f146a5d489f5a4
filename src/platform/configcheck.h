#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Runs the real tools on configuration files before they are used, so that a
// file the service would reject never reaches a restart.
namespace ConfigCheck
{
struct Result {
    bool accepted = false;
    QString message; // what the tool printed, or why it could not run
    bool changedOutside = false; // a writer found its file changed since it was read and wrote nothing
};

// "syslog-ng --syntax-only" on the system's main configuration with its
// include of "/etc/syslog-ng/conf.d" pointed at confDir (a placed path, the
// live folder or a staged copy). A system root without a main configuration
// gets a minimal one that includes confDir only. A configuration syslog-ng
// parses is still refused when a log statement names an object that it does
// not define: syslog-ng would then fail only when it starts.
Result syslogNg(const QString &confDir);

// The objects that log statements of a preprocessed syslog-ng configuration
// name but that no top-level statement defines, as "kind(name)", in the order
// they are named, each once.
QStringList undefinedLogReferences(const QByteArray &configuration);

// "logrotate -d" on one logrotate file (a placed path). Under a system root the
// check runs on a copy whose log paths are placed under the root too, so that
// logrotate finds the log folders the file names.
Result logrotate(const QString &file);
}
