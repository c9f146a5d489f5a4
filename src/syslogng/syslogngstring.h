#pragma once

#include <QString>

// Text placed between double quotes in a syslog-ng configuration file.
namespace SyslogNgString
{
// Escapes text so that syslog-ng reads it back unchanged from a double-quoted
// string: backslash, double quote, backtick and control characters are escaped.
QString escaped(const QString &text);
} // namespace SyslogNgString
