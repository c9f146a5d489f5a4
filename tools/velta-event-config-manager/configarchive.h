#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// The configuration files this system manages, saved to and restored from a
// gzip-compressed tar archive. Entries carry the system paths without the
// leading "/" ("etc/velta-syslog.conf").
namespace ConfigArchive
{
// Entry name -> content.
using Files = QMap<QString, QByteArray>;

// Whether an archive entry name is one of the managed files.
bool isManagedName(const QString &name);

// Entry names of the managed files present on the system, in archive order.
QStringList presentNames();

// Writes the present managed files into the archive at archivePath (replaced whole).
bool exportTo(const QString &archivePath, QString *errorText);

// Reads the whole archive at archivePath: true only when every entry is a
// managed regular file within the limits.
bool read(const QString &archivePath, Files *files, QString *errorText);
} // namespace ConfigArchive
