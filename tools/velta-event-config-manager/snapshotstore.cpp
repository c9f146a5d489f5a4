#include "snapshotstore.h"

#include "configarchive.h"
#include "configimport.h"
#include "platform/paths.h"
#include "platform/privatefolder.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>

namespace SnapshotStore
{
namespace
{
// UTC, so that names sort by time whatever the zone or season.
const QString NameFormat = QStringLiteral("yyyyMMdd-HHmmss-zzz");
const QString Suffix = QStringLiteral(".tar.gz");

QString folder()
{
    return Paths::placed(Paths::SnapshotDir);
}

bool isSnapshotName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{8}-[0-9]{6}-[0-9]{3}\\.tar\\.gz$"));
    return pattern.match(name).hasMatch();
}

// Whether the newest snapshot holds exactly the files on the system now.
bool newestIsCurrent()
{
    const QStringList all = names();
    if (all.isEmpty()) {
        return false;
    }
    ConfigArchive::Files files;
    ConfigImport::Plan changes;
    QString ignored; // an unreadable snapshot is simply not the current state
    if (!ConfigArchive::read(path(all.last()), &files, &ignored) || !ConfigImport::plan(files, &changes, &ignored)) {
        return false;
    }
    QStringList present = ConfigArchive::presentNames();
    present.sort();
    return changes.empty() && files.keys() == present;
}

void dropOldest()
{
    const QStringList all = names();
    for (int i = 0; i < all.size() - Kept; ++i) {
        QFile::remove(path(all.at(i)));
    }
}
} // namespace

bool take(QString *errorText, QString *name)
{
    if (ConfigArchive::presentNames().isEmpty()) {
        return true;
    }
    if (newestIsCurrent()) {
        if (name) {
            *name = names().constLast();
        }
        return true;
    }
    // Snapshots hold the audit rules and every setting: for root's eyes only.
    if (!PrivateFolder::check(folder(), true, errorText)) {
        return false;
    }
    QDateTime when = QDateTime::currentDateTimeUtc();
    while (QFile::exists(path(when.toString(NameFormat) + Suffix))) {
        when = when.addMSecs(1);
    }
    const QString taken = when.toString(NameFormat) + Suffix;
    if (!ConfigArchive::exportTo(path(taken), errorText)) {
        return false;
    }
    dropOldest();
    if (name) {
        *name = taken;
    }
    return true;
}

QStringList names()
{
    // A folder in its place that is not root's own is not read from.
    QString ignored; // logged
    if (!QFileInfo::exists(folder()) || !PrivateFolder::check(folder(), false, &ignored)) {
        return {};
    }
    QStringList all = QDir(folder()).entryList({QLatin1Char('*') + Suffix}, QDir::Files, QDir::Name);
    all.erase(std::remove_if(all.begin(),
                             all.end(),
                             [](const QString &name) {
                                 return !isSnapshotName(name);
                             }),
              all.end());
    return all;
}

QString path(const QString &name)
{
    return isSnapshotName(name) ? folder() + QLatin1Char('/') + name : QString();
}

bool holds(const QString &archivePath)
{
    const QFileInfo archive(QDir::cleanPath(QFileInfo(archivePath).absoluteFilePath()));
    QString ignored; // logged
    return archive.path() == QDir::cleanPath(folder()) && isSnapshotName(archive.fileName()) && PrivateFolder::check(folder(), false, &ignored);
}

QDateTime takenAt(const QString &name)
{
    QDateTime when = QDateTime::fromString(name.left(NameFormat.size()), NameFormat);
    when.setTimeZone(QTimeZone::utc());
    return when;
}
} // namespace SnapshotStore
