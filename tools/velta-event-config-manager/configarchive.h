#pragma once

#include "platform/paths.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
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

// What the archive itself says about what it holds: its manifest ("format",
// "created", "host", "files": entry name -> SHA-256 in hex), written by
// exportTo() and checked against the files by read().
inline constexpr QLatin1String ManifestName = Paths::latin1("quor-admin-events-manifest.json");

struct Identity {
    QByteArray sha256; // of the archive file, hex
    QJsonObject manifest; // empty for an archive made before manifests
    QString signer; // who signed it, as the import found it; empty for a snapshot
};

// SHA-256 of data in hex, as the manifest and the applied record carry it.
QByteArray sha256(const QByteArray &data);

// Whether an archive entry name is one of the managed files.
bool isManagedName(const QString &name);

// Entry names of the managed files present on the system, in archive order.
QStringList presentNames();

// Writes the present managed files into the archive at archivePath (replaced
// whole), signed with the machine's key.
bool exportTo(const QString &archivePath, QString *errorText);

// The three steps of exportTo(), for a caller that keeps the archive later.
struct Present {
    QStringList names; // in archive order
    Files files;
    QMap<QString, QDateTime> modified; // when each file was last changed
};
// Reads the present managed files whole (none, when none is there).
bool readPresent(Present *present, QString *errorText);
// The archive of present, with its manifest; unsigned (a snapshot's).
bool pack(const Present &present, QByteArray *archiveData, QString *errorText);
// Writes archiveData to archivePath, root's alone, without following a link.
bool writeArchive(const QString &archivePath, const QByteArray &archiveData, QString *errorText);

// Reads the whole archive at archivePath: true only when every entry is a
// managed regular file within the limits and a manifest, when there is one,
// names exactly these files with their hashes. identity may be null.
bool read(const QString &archivePath, Files *files, QString *errorText, Identity *identity = nullptr);
// The two halves of read(), for a caller that checks the bytes in between:
// the file read once, never through a link, and its entries.
bool load(const QString &archivePath, QByteArray *archiveData, QString *errorText);
bool unpack(const QByteArray &archiveData, const QString &archivePath, Files *files, QString *errorText, Identity *identity = nullptr);
} // namespace ConfigArchive
