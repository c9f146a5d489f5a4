#pragma once

#include <QByteArray>
#include <QTextStream>

// What the tool prints. Its texts quote files of archives and what syslog-ng
// and logrotate said of them: control characters in them are printed as
// escapes, so that nothing a file holds can erase or rewrite a line the
// administrator reads, on a terminal, in the page or in Ansible's output.
namespace TerminalOutput
{
// Standard error as a text stream.
QTextStream &errors();
// Bytes to standard output as they are: JSON, whose strings are escaped
// already, and texts escaped by the caller.
void write(const QByteArray &data);
}
