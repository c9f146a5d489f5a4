#pragma once

#include <QByteArray>
#include <QString>

// Whether the files of an archive other than the syslog-ng ones are of the
// shapes this system writes: the event settings and audit event types read
// whole, the audit rules only watch and syscall rules, the logrotate file only
// the main log's block with the rotation tab's directives, root's notification
// file only the notification dialog's keys and actions. Each file is read the
// way its own program reads it; what it may hold is an allowlist, since
// logrotate, auditd and the notification daemon run what they read as root.
namespace ContentCheck
{
// Why the file with the entry name is refused ("<path>: line N: <reason>");
// empty when it is accepted or none of these files.
QString refusal(const QString &name, const QByteArray &data);
}
