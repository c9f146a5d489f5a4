#include "snapshotstore.h"

#include "configarchive.h"
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

// Whether the newest snapshot holds exactly the files present.
bool newestHolds(const ConfigArchive::Files &present)
{
    const QString newest = ConfigSnapshot::newest();
    if (newest.isEmpty()) {
        return false;
    }
    ConfigArchive::Files files;
    QString ignored; // an unreadable snapshot is simply not the current state
    return ConfigArchive::read(ConfigSnapshot::path(newest), &files, &ignored) && files == present;
}

void dropOldest()
{
    const QStringList all = ConfigSnapshot::names();
    for (int i = 0; i < all.size() - Kept; ++i) {
        QFile::remove(ConfigSnapshot::path(all.at(i)));
    }
}
} // namespace

bool prepare(Prepared *prepared, QString *errorText)
{
    *prepared = Prepared();
    if (ConfigArchive::presentNames().isEmpty()) {
        return true;
    }
    ConfigArchive::Present present;
    if (!ConfigArchive::readPresent(&present, errorText)) {
        return false;
    }
    prepared->present = true;
    if (newestHolds(present.files)) {
        prepared->newest = ConfigSnapshot::newest();
        return true;
    }
    return ConfigArchive::pack(present, &prepared->archive, errorText);
}

bool keep(const Prepared &prepared, QString *errorText, QString *name)
{
    if (!prepared.present || !prepared.newest.isEmpty()) {
        if (name) {
            *name = prepared.newest;
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
    if (!ConfigArchive::writeArchive(ConfigSnapshot::path(taken), prepared.archive, errorText)) {
        return false;
    }
    dropOldest();
    if (name) {
        *name = taken;
    }
    return true;
}

bool take(QString *errorText, QString *name)
{
    Prepared prepared;
    return prepare(&prepared, errorText) && keep(prepared, errorText, name);
}

bool holds(const QString &archivePath)
{
    const QFileInfo archive(QDir::cleanPath(QFileInfo(archivePath).absoluteFilePath()));
    QString ignored; // logged
    return archive.path() == QDir::cleanPath(folder()) && !ConfigSnapshot::path(archive.fileName()).isEmpty()
        && PrivateFolder::check(folder(), false, &ignored);
}

} // namespace SnapshotStore
