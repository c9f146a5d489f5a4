#pragma once

#include <QByteArray>
#include <QString>

// syslog-ng runs code while it merely reads its configuration (a python {}
// block runs at "--syntax-only"), and a driver it accepts may read or write
// any file as root, so a syslog-ng file that comes from an archive is read
// here first, as syslog-ng reads it, and accepted only when every statement,
// driver, option and value is one this system writes or reads itself: the
// events socket as the only source; file destinations under the main log's
// folder or /var/log; network destinations by host, port, transport and IP
// protocol; the notification destination's python class; json-parser;
// filters of the functions that only look at a message; the module's
// templates and template functions that only format. "@define", blocks,
// backticks, python code and an "@include" other than of scl.conf are not.
namespace SyslogNgSubset
{
// The class of the notification destination, the one python class accepted.
inline constexpr char NotificationClassName[] = "syslog_ng_mod_velta.velta_syslog_ng_destination.VeltaSyslogNgDestination";
inline constexpr QLatin1String NotificationClass(NotificationClassName, sizeof(NotificationClassName) - 1);

// Why text, the file at path (a system path, for the message), is refused:
// "<path>:<line>: <statement>: <reason>"; an empty text when it is accepted.
QString refusal(const QString &path, const QByteArray &text);
}
