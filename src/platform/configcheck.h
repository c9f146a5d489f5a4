#pragma once

#include <QString>

// Runs the real tools on configuration files before they are used, so that a
// file the service would reject never reaches a restart.
namespace ConfigCheck
{
struct Result {
    bool accepted = false;
    QString message; // what the tool printed, or why it could not run
};

// "syslog-ng --syntax-only" on the system's main configuration with its
// include of "/etc/syslog-ng/conf.d" pointed at confDir (a placed path, the
// live folder or a staged copy). A system root without a main configuration
// gets a minimal one that includes confDir only.
Result syslogNg(const QString &confDir);

// "logrotate -d" on one logrotate file (a placed path).
Result logrotate(const QString &file);
}
