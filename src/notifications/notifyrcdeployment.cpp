#include "notifyrcdeployment.h"

#include "notificationslog.h"

#include "notifyrcfile.h"
#include "platform/fileread.h"
#include "platform/folderentries.h"
#include "platform/paths.h"

#include <KLocalizedString>

#include <QDir>

namespace NotifyrcDeployment
{
namespace
{
const QString TargetName = QStringLiteral("velta-event-watcher.notifyrc");

void deployData(const QByteArray &data, const QString &directory, Report *report)
{
    const QDir dir(Paths::placed(directory));
    if (!dir.exists()) {
        return;
    }
    const QStringList entries = FolderEntries::names(dir.path(), {}, QDir::Dirs | QDir::Hidden);
    for (const QString &entry : entries) {
        if (entry == QLatin1String(".qmx")) {
            // Only the home directory holds the per-level homes; anywhere else
            // the entry would lead back into them for ever.
            if (directory == Paths::HomeDir) {
                deployData(data, Paths::QmxHomeDir, report);
            }
            continue;
        }
        const QString home = directory + QLatin1Char('/') + entry;
        const UserAccount user = UserAccount::byName(entry);
        if (!user.isValid()) {
            report->skipped << i18n("%1: no user of that name", home);
            qCWarning(QUOR_NOTIFICATIONS).noquote() << report->skipped.last();
            continue;
        }
        const UserFolder folder = NotifyrcFile::configFolder(home, user);
        QString error;
        if (!folder.isOpen()) {
            // A user who never logged in has no ~/.config: nothing to replace.
            if (!folder.isMissing()) {
                report->skipped << folder.error();
            }
            continue;
        }
        if (folder.write(TargetName, data, &error)) {
            ++report->copied;
        } else {
            report->skipped << error;
        }
    }
}
}

Report deploy(const QString &sourcePath, const QString &directory)
{
    Report report;
    // Root's own file: a place no user can change.
    const FileRead::Result source = FileRead::regular(Paths::placed(sourcePath), FileRead::SmallFileLimit);
    if (!source.ok) {
        report.error = FileRead::describe(sourcePath, source);
        qCWarning(QUOR_NOTIFICATIONS).noquote() << report.error;
        return report;
    }
    deployData(source.data, directory, &report);
    return report;
}
}
