#pragma once

#include <QByteArray>
#include <QString>

// syslog-ng runs code while it merely reads its configuration (a python {}
// block runs at "--syntax-only"), so a syslog-ng file that comes from an
// archive is read here first and accepted only when it holds what this system
// writes and reads itself: source, destination, filter, parser, rewrite,
// template, options and log statements, the drivers unix-dgram, file, network
// and json-parser, the notification destination's python(class(...)) naming
// the shipped class, "@version", "@module" of the modules those need and
// "@include" of files under "/etc/syslog-ng".
namespace SyslogNgSubset
{
// The class of the notification destination, the one python class accepted.
inline constexpr char NotificationClassName[] = "syslog_ng_mod_velta.velta_syslog_ng_destination.VeltaSyslogNgDestination";
inline constexpr QLatin1String NotificationClass(NotificationClassName, sizeof(NotificationClassName) - 1);

// Why text, the file at path (a system path, for the message), is refused:
// "<path>:<line>: <reason>"; an empty text when it is accepted.
QString refusal(const QString &path, const QByteArray &text);
}
