#pragma once

#include <QByteArray>
#include <QString>

// Whether the files of an archive that neither syslog-ng nor logrotate read
// can be read whole the way the module reads them: the event settings, the
// audit rules and types, root's notification file. An import of a file the
// module would read only in part writes a configuration nobody chose.
namespace ContentCheck
{
// Why the file with the entry name cannot be read whole; empty when it can or
// when it is none of these files.
QString refusal(const QString &name, const QByteArray &data);
}
