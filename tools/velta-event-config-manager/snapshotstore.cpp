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

// Whether the snapshot name holds exactly files.
bool holdsExactly(const QString &name, const ConfigArchive::Files &files)
{
    ConfigArchive::Files held;
    QString ignored; // an unreadable snapshot simply does not hold them
    return ConfigArchive::read(ConfigSnapshot::path(name), &held, &ignored) && held == files;
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
    ConfigArchive::Present present;
    if (!ConfigArchive::readPresent(&present, errorText)) {
        return false;
    }
    if (present.names.isEmpty()) {
        return true;
    }
    if (const QString newest = ConfigSnapshot::newest(); !newest.isEmpty() && holdsExactly(newest, present.files)) {
        prepared->newest = newest;
        return true;
    }
    return ConfigArchive::pack(present, &prepared->archive, errorText);
}

bool keep(const Prepared &prepared, QString *errorText, QString *name)
{
    if (prepared.archive.isEmpty()) { // nothing to keep, or kept already
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

bool putBack(const QString &name, QString *errorText)
{
    const QString path = ConfigSnapshot::path(name);
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        *errorText = i18n("%1: no such snapshot", name);
        return false;
    }
    ConfigArchive::Files files;
    ConfigImport::Plan plan;
    QStringList notPutBack;
    return ConfigArchive::read(path, &files, errorText) && ConfigImport::plan(files, &plan, errorText) && ConfigImport::apply(plan, errorText, &notPutBack);
}

bool holds(const QString &archivePath)
{
    const QFileInfo archive(QDir::cleanPath(QFileInfo(archivePath).absoluteFilePath()));
    QString ignored; // logged
    return archive.path() == QDir::cleanPath(folder()) && !ConfigSnapshot::path(archive.fileName()).isEmpty()
        && PrivateFolder::check(folder(), false, &ignored);
}

} // namespace SnapshotStore
