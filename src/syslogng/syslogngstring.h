#pragma once

#include <QString>

// Text placed between double quotes in a syslog-ng configuration file.
namespace SyslogNgString
{
// Escapes text so that syslog-ng reads it back unchanged from a double-quoted
// string: backslash, double quote, backtick and control characters are escaped.
QString escaped(const QString &text);
// The inverse of escaped(): the text syslog-ng reads from the inside of a
// double-quoted string.
QString unescaped(const QString &text);
// The length of the double-quoted string that text starts with, both quotes
// included; 0 when text does not start with a closed one.
int quotedLength(const QString &text);
} // namespace SyslogNgString
