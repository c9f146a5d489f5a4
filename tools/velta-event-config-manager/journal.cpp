#include "journal.h"

#include "appliedrecord.h"
#include "snapshotstore.h"

#include "platform/fileread.h"
#include "platform/paths.h"
#include "platform/privatefolder.h"
#include "platform/stagedfile.h"

#include <KLocalizedString>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Journal
{
namespace
{
const QString SnapshotKey = QStringLiteral("snapshot");
const QString FilesKey = QStringLiteral("files");
const QString UnitsKey = QStringLiteral("units");
const QString StepKey = QStringLiteral("step");
const QString BeforeKey = QStringLiteral("before");
const QString OwedBeforeKey = QStringLiteral("owedBefore");

QStringList strings(const QJsonValue &array)
{
    QStringList list;
    for (const QJsonValue &value : array.toArray()) {
        list << value.toString();
    }
    return list;
}

const QStringList StepNames{QStringLiteral("writing"), QStringLiteral("restarting")};

QString folder()
{
    return Paths::placed(Paths::ChangeJournalDir);
}

QString journalPath()
{
    return folder() + QLatin1String("/journal.json");
}
} // namespace

bool lock(bool create, QString *errorText)
{
    // Held until the process ends, killed or not: the kernel lets go of it
    // then. The folder itself is locked, so that no file is left for it.
    static int held = -1;
    if (held >= 0) {
        return true;
    }
    // Without the folder no change was ever journaled, and none runs.
    if (!create && !QFileInfo::exists(folder())) {
        return true;
    }
    if (!PrivateFolder::check(folder(), create, errorText)) {
        return false;
    }
    const int fd = ::open(QFile::encodeName(folder()).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *errorText = i18n("%1: %2", folder(), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        *errorText = i18n("another run of velta-event-config-manager is changing the configuration; try again when it has ended");
        return false;
    }
    held = fd;
    return true;
}

bool load(Entry *entry, bool *present, QString *errorText)
{
    *entry = Entry();
    const QString path = journalPath();
    const FileRead::Result read = FileRead::regular(path, FileRead::ConfigLimit);
    *present = !read.missing;
    if (read.missing) {
        return true;
    }
    if (!read.ok) {
        *errorText = FileRead::describe(path, read);
        return false;
    }
    const QJsonObject data = QJsonDocument::fromJson(read.data).object();
    const int step = StepNames.indexOf(data.value(StepKey).toString());
    if (step < 0) {
        *errorText = i18n("%1: not a journal of a change", path);
        return false;
    }
    entry->snapshot = data.value(SnapshotKey).toString();
    entry->files = strings(data.value(FilesKey));
    entry->units = strings(data.value(UnitsKey));
    entry->step = Step(step);
    entry->before = data.value(BeforeKey).toObject();
    entry->owedBefore = strings(data.value(OwedBeforeKey));
    return true;
}

bool save(const Entry &entry, QString *errorText)
{
    const QJsonObject data{{SnapshotKey, entry.snapshot},
                           {FilesKey, QJsonArray::fromStringList(entry.files)},
                           {UnitsKey, QJsonArray::fromStringList(entry.units)},
                           {StepKey, StepNames.at(int(entry.step))},
                           {BeforeKey, entry.before},
                           {OwedBeforeKey, QJsonArray::fromStringList(entry.owedBefore)}};
    QString reason;
    // Synced: the journal must be on the disk before the write it announces.
    if (!PrivateFolder::check(folder(), true, errorText)
        || !StagedFile::replace(journalPath(), QJsonDocument(data).toJson(QJsonDocument::Compact) + '\n', &reason, 0600)) {
        if (!reason.isEmpty()) {
            *errorText = i18n("%1: %2", journalPath(), reason);
        }
        return false;
    }
    return true;
}

bool remove(QString *errorText)
{
    if (!QFile::remove(journalPath()) && QFile::exists(journalPath())) {
        *errorText = i18n("%1: cannot be removed", journalPath());
        return false;
    }
    return true;
}

bool recover(QString *report, QString *errorText)
{
    report->clear();
    if (!QFileInfo::exists(folder())) {
        return true;
    }
    StagedFile::removeLeftovers(journalPath());
    StagedFile::removeLeftovers(Paths::placed(Paths::AppliedRecordFile));
    Entry entry;
    bool present = false;
    if (!load(&entry, &present, errorText)) {
        return false;
    }
    if (!present) {
        return true;
    }
    for (const QString &file : std::as_const(entry.files)) {
        StagedFile::removeLeftovers(Paths::placed(file));
    }
    if (entry.step == Step::Restarting) {
        // The applied record owes the restarts; the journal keeps the way back.
        return true;
    }
    // Not yet recorded: nothing ran the new files, and the ones before go back.
    if (entry.snapshot.isEmpty()) {
        for (const QString &file : std::as_const(entry.files)) {
            if (QFile::exists(Paths::placed(file)) && !QFile::remove(Paths::placed(file))) {
                *errorText = i18n("%1: cannot be removed", file);
                return false;
            }
        }
    } else if (!SnapshotStore::putBack(entry.snapshot, errorText)) {
        return false;
    }
    // A run killed just after it recorded the change named it there.
    AppliedRecord record;
    if (!AppliedRecord::load(&record, errorText)) {
        return false;
    }
    AppliedRecord undone = record;
    undone.setAppliedState(entry.before);
    for (const QString &unit : std::as_const(entry.units)) {
        if (!entry.owedBefore.contains(unit)) {
            undone.settle(unit);
        }
    }
    const bool same = undone.appliedState() == record.appliedState() && undone.pendingRestarts() == record.pendingRestarts();
    if (!same && !undone.save(errorText)) {
        return false;
    }
    *report = entry.snapshot.isEmpty() ? i18n("an interrupted import was undone: its files are removed")
                                       : i18n("an interrupted import was undone: the files of the snapshot %1 are back", entry.snapshot);
    return remove(errorText);
}
}
