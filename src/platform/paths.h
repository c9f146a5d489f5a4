#pragma once

#include <QLatin1String>
#include <QString>

// Every fixed path of the system, as it stands on a real machine. File-system
// access always goes through placed(), which puts the path under the system
// root named by QUOR_ADMIN_EVENTS_ROOT (the real "/" when unset or empty).
namespace Paths
{
inline constexpr QLatin1String EventSettingsDir("/usr/share/syslog-ng-mod-velta/event-settings");
inline constexpr QLatin1String EventsFile("/etc/velta-syslog.conf");
inline constexpr QLatin1String AuditRulesFile("/etc/audit/rules.d/velta-syslog.rules");
inline constexpr QLatin1String EventsDictionary("/etc/quor-admin-events/eventsdictionary.json");
inline constexpr QLatin1String AuditTypeStore("/var/lib/quor-admin-events/audit-types");
inline constexpr QLatin1String SnapshotDir("/var/lib/quor-admin-events/snapshots");
inline constexpr QLatin1String SyslogNgConfDir("/etc/syslog-ng/conf.d");
inline constexpr QLatin1String CommonSyslogNgFile("/etc/syslog-ng/conf.d/mod-velta.conf");
inline constexpr QLatin1String PerEventFilePrefix("/etc/syslog-ng/conf.d/mod-velta-");
inline constexpr QLatin1String NotificationCatalogueDir("/usr/share/knotifications5/");
inline constexpr QLatin1String RootNotifyrc("/root/.config/velta-event-watcher.notifyrc");
inline constexpr QLatin1String HomeDir("/home");
inline constexpr QLatin1String QmxHomeDir("/home/.qmx");
inline constexpr QLatin1String LogRotateFile("/etc/logrotate.d/syslog-ng-mod-velta");
inline constexpr QLatin1String MainEventLog("/dorvex/log/velta/events");
inline constexpr QLatin1String WmFuncTool("/usr/bin/quor-wmfunc");
inline constexpr QLatin1String ConfigManagerTool("/usr/sbin/velta-event-config-manager");

// The system root: QUOR_ADMIN_EVENTS_ROOT without trailing "/", or empty for "/".
QString systemRoot();

// An absolute system path placed under the system root.
QString placed(const QString &path);

// The inverse of placed(): a placed path as the system knows it.
QString unplaced(const QString &placedPath);
}
