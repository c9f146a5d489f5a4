#include "snapshotstore.h"

#include "configarchive.h"
#include "configimport.h"
#include "platform/configsnapshot.h"
#include "platform/paths.h"
#include "platform/privatefolder.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace SnapshotStore
{
namespace
{
QString folder()
{
    return Paths::placed(Paths::SnapshotDir);
}

// Whether the newest snapshot holds exactly the files on the system now.
bool newestIsCurrent()
{
    const QStringList all = ConfigSnapshot::names();
    if (all.isEmpty()) {
        return false;
    }
    ConfigArchive::Files files;
    ConfigImport::Plan changes;
    QString ignored; // an unreadable snapshot is simply not the current state
    if (!ConfigArchive::read(ConfigSnapshot::path(all.last()), &files, &ignored) || !ConfigImport::plan(files, &changes, &ignored)) {
        return false;
    }
    QStringList present = ConfigArchive::presentNames();
    present.sort();
    return changes.empty() && files.keys() == present;
}

void dropOldest()
{
    const QStringList all = ConfigSnapshot::names();
    for (int i = 0; i < all.size() - Kept; ++i) {
        QFile::remove(ConfigSnapshot::path(all.at(i)));
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
            *name = ConfigSnapshot::newest();
        }
        return true;
    }
    // Snapshots hold the audit rules and every setting: for root's eyes only.
    if (!PrivateFolder::check(folder(), true, errorText)) {
        return false;
    }
    QDateTime when = QDateTime::currentDateTimeUtc();
    while (QFile::exists(ConfigSnapshot::path(ConfigSnapshot::nameAt(when)))) {
        when = when.addMSecs(1);
    }
    const QString taken = ConfigSnapshot::nameAt(when);
    if (!ConfigArchive::exportTo(ConfigSnapshot::path(taken), errorText)) {
        return false;
    }
    dropOldest();
    if (name) {
        *name = taken;
    }
    return true;
}

bool holds(const QString &archivePath)
{
    const QFileInfo archive(QDir::cleanPath(QFileInfo(archivePath).absoluteFilePath()));
    QString ignored; // logged
    return archive.path() == QDir::cleanPath(folder()) && !ConfigSnapshot::path(archive.fileName()).isEmpty()
        && PrivateFolder::check(folder(), false, &ignored);
}

} // namespace SnapshotStore
