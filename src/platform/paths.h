#pragma once

#include <QLatin1String>
#include <QString>

// Every fixed path of the system, as it stands on a real machine. File-system
// access always goes through placed(), which puts the path under the system
// root named by QUOR_ADMIN_EVENTS_ROOT (the real "/" when unset or empty).
namespace Paths
{
// A constant text of fixed length: QLatin1String(const char *) counts with
// strlen, which not every compiler evaluates at compile time.
template<int N>
constexpr QLatin1String latin1(const char (&text)[N])
{
    return QLatin1String(text, N - 1);
}

inline constexpr QLatin1String EventSettingsDir = latin1("/usr/share/syslog-ng-mod-velta/event-settings");
inline constexpr QLatin1String EventsFile = latin1("/etc/velta-syslog.conf");
inline constexpr QLatin1String AuditRulesFile = latin1("/etc/audit/rules.d/velta-syslog.rules");
inline constexpr QLatin1String EventsDictionary = latin1("/etc/quor-admin-events/eventsdictionary.json");
inline constexpr QLatin1String AuditTypeStore = latin1("/var/lib/quor-admin-events/audit-types");
inline constexpr QLatin1String SnapshotDir = latin1("/var/lib/quor-admin-events/snapshots");
inline constexpr QLatin1String AppliedRecordFile = latin1("/var/lib/quor-admin-events/applied.json");
inline constexpr QLatin1String ImportDir = latin1("/var/lib/quor-admin-events/import");
// Root's scratch files (copies under check, diffs): never in TMPDIR, which
// root may have been handed by a user.
inline constexpr QLatin1String ScratchDir = latin1("/var/lib/quor-admin-events/scratch");
inline constexpr QLatin1String ChangeJournalDir = latin1("/var/lib/quor-admin-events/journal");
// The machine's own key that signs its exports (root's alone), and the
// administrator's list of the keys whose archives it imports.
inline constexpr QLatin1String SigningDir = latin1("/var/lib/quor-admin-events/signing");
inline constexpr QLatin1String TrustedSigners = latin1("/etc/quor-admin-events/trusted-signers");
inline constexpr QLatin1String SyslogNgDir = latin1("/etc/syslog-ng");
// Where syslog-ng looks for an included file after SyslogNgDir.
inline constexpr QLatin1String SyslogNgIncludeDir = latin1("/usr/share/syslog-ng/include");
inline constexpr QLatin1String SyslogNgConfDir = latin1("/etc/syslog-ng/conf.d");
inline constexpr QLatin1String CommonSyslogNgFile = latin1("/etc/syslog-ng/conf.d/mod-velta.conf");
inline constexpr QLatin1String PerEventFilePrefix = latin1("/etc/syslog-ng/conf.d/mod-velta-");
inline constexpr QLatin1String NotificationCatalogueDir = latin1("/usr/share/knotifications5/");
inline constexpr QLatin1String RootNotifyrc = latin1("/root/.config/velta-event-watcher.notifyrc");
inline constexpr QLatin1String HomeDir = latin1("/home");
inline constexpr QLatin1String QmxHomeDir = latin1("/home/.qmx");
inline constexpr QLatin1String AuditDaemon = latin1("/sbin/auditd");
inline constexpr QLatin1String LogRotateFile = latin1("/etc/logrotate.d/syslog-ng-mod-velta");
inline constexpr QLatin1String MainEventLog = latin1("/dorvex/log/velta/events");
// The socket the event sources send to; syslog-ng makes it.
inline constexpr QLatin1String EventsSocket = latin1("/run/syslog-ng-mod-velta/events.sock");
inline constexpr QLatin1String WmFuncTool = latin1("/usr/bin/quor-wmfunc");
inline constexpr QLatin1String ConfigManagerTool = latin1("/usr/sbin/velta-event-config-manager");

// The system root: QUOR_ADMIN_EVENTS_ROOT without trailing "/", or empty for "/".
QString systemRoot();

// Why the system root named by QUOR_ADMIN_EVENTS_ROOT may not be used by root,
// or an empty text: it and every folder above it must be folders (not links)
// owned by root that no one else may write, save folders above it with the
// sticky bit, such as /tmp, where no one else can move root's folders away.
// A process that is not root is not asked.
QString rootRefusal();

// An absolute system path placed under the system root.
QString placed(const QString &path);

// The inverse of placed(): a placed path as the system knows it.
QString unplaced(const QString &placedPath);

// Whether a name in SyslogNgConfDir is that of a per-event file: the name part
// of PerEventFilePrefix, at least one character and ".conf", all of them
// letters, digits, "_", "-" or "." as syslog-ng takes the files of an included
// folder ("mod-velta-net.iface.conf" too). The module's reader, exports and
// snapshots go by it alike.
bool isPerEventFileName(const QString &name);

// A path the administrator typed or chose, which names a file of the managed
// system: made absolute against the working directory, cleaned, and placed.
QString placedTyped(const QString &typed);
}
