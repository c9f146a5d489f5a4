#pragma once

#include <QString>
#include <QStringList>

// The configuration files this system manages, saved to and restored from a
// gzip-compressed tar archive. Entries carry the system paths without the
// leading "/" ("etc/velta-syslog.conf").
namespace ConfigArchive
{
// Whether an archive entry name is one of the managed files.
bool isManagedName(const QString &name);

// Entry names of the managed files present on the system, in archive order.
QStringList presentNames();

// Writes the present managed files into the archive at archivePath (replaced whole).
bool exportTo(const QString &archivePath, QString *errorText);

// Checks the whole archive first; only when every entry is a managed regular
// file within the limits are the files replaced, and per-event files the
// archive does not hold removed. A refused archive changes nothing.
bool importFrom(const QString &archivePath, QString *errorText);
} // namespace ConfigArchive
