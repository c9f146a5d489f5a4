#include "configimport.h"

#include "contentcheck.h"
#include "filetransaction.h"
#include "platform/configcheck.h"
#include "platform/fileread.h"
#include "platform/folderentries.h"
#include "platform/paths.h"
#include "platform/privatefolder.h"
#include "platform/process.h"
#include "platform/syslogngsubset.h"
#include "platform/unifieddiff.h"

#include <KLocalizedString>

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace ConfigImport
{
namespace
{
QString entryName(const QString &systemPath)
{
    return systemPath.mid(1);
}

bool isPerEventName(const QString &name)
{
    return name.startsWith(entryName(Paths::PerEventFilePrefix)) && ConfigArchive::isManagedName(name);
}

bool isSyslogNgName(const QString &name)
{
    return name.startsWith(entryName(Paths::SyslogNgConfDir) + QLatin1Char('/'));
}

bool addChange(const QString &name, bool remove, const QByteArray &wanted, Plan *plan, QString *errorText)
{
    const QString path = Paths::placed(systemPath(name));
    const FileRead::Result current = FileRead::regular(path, FileRead::ConfigLimit);
    if (!current.ok && !current.missing) {
        *errorText = FileRead::describe(path, current);
        return false;
    }
    const bool unchanged = remove ? current.missing : current.ok && current.data == wanted;
    if (unchanged) {
        return true;
    }
    plan->push_back({name, current.ok, current.data, remove, wanted});
    return true;
}

bool writeFile(const QString &path, const QByteArray &data, QString *errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        *errorText = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

// The tools name the staged copies; the administrator knows the system paths.
QString underSystemPaths(QString message, const QString &stagedPath, const QString &systemPath)
{
    return message.replace(stagedPath, systemPath);
}

// The live syslog-ng folder with the planned changes laid over it.
bool stageSyslogNg(const QString &stagedDir, const Plan &plan, QString *errorText)
{
    if (!QDir().mkpath(stagedDir)) {
        *errorText = i18n("%1: cannot create the folder", stagedDir);
        return false;
    }
    const QDir live(Paths::placed(Paths::SyslogNgConfDir));
    const QStringList names = FolderEntries::names(live.path(), {QStringLiteral("*.conf")}, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        const FileRead::Result read = FileRead::regular(live.filePath(name), FileRead::ConfigLimit);
        if (!read.ok) {
            *errorText = FileRead::describe(live.filePath(name), read);
            return false;
        }
        if (!writeFile(stagedDir + QLatin1Char('/') + name, read.data, errorText)) {
            return false;
        }
    }
    for (const Change &change : plan) {
        if (!isSyslogNgName(change.name)) {
            continue;
        }
        const QString staged = stagedDir + QLatin1Char('/') + QFileInfo(change.name).fileName();
        if (change.remove && !QFile::remove(staged)) {
            *errorText = i18n("%1: cannot remove", staged);
            return false;
        }
        if (!change.remove && !writeFile(staged, change.wanted, errorText)) {
            return false;
        }
    }
    return true;
}

bool checkSyslogNg(const QString &stage, const Plan &plan, QString *errorText)
{
    const QString stagedDir = stage + QLatin1String("/conf.d");
    if (!stageSyslogNg(stagedDir, plan, errorText)) {
        return false;
    }
    const ConfigCheck::Result result = ConfigCheck::syslogNg(stagedDir);
    if (!result.accepted) {
        *errorText = i18n("syslog-ng rejects the configuration:\n%1", underSystemPaths(result.message, stagedDir, Paths::SyslogNgConfDir));
    }
    return result.accepted;
}

bool checkLogrotate(const QString &stage, const QByteArray &content, QString *errorText)
{
    const QString staged = stage + QLatin1Char('/') + QFileInfo(Paths::LogRotateFile).fileName();
    if (!writeFile(staged, content, errorText)) {
        return false;
    }
    const ConfigCheck::Result result = ConfigCheck::logrotate(staged);
    if (!result.accepted) {
        *errorText = i18n("logrotate rejects the configuration:\n%1", underSystemPaths(result.message, staged, Paths::LogRotateFile));
    }
    return result.accepted;
}

// The files the module reads itself are refused when it could not read them
// whole, and the files logrotate, auditd and the notifications read when they
// are not of the shapes this system writes.
bool readableWhole(const ConfigArchive::Files &files, QString *errorText)
{
    QStringList unreadable;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString refusal = ContentCheck::refusal(it.key(), it.value());
        if (!refusal.isEmpty()) {
            unreadable << refusal;
        }
    }
    if (!unreadable.isEmpty()) {
        *errorText = i18n("The archive's files cannot be read whole or are not of the shapes this system writes:\n%1", unreadable.join(QLatin1Char('\n')));
    }
    return unreadable.isEmpty();
}
} // namespace

QString systemPath(const QString &name)
{
    return QLatin1Char('/') + name;
}

bool plan(const ConfigArchive::Files &files, Plan *plan, QString *errorText)
{
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!addChange(it.key(), false, it.value(), plan, errorText)) {
            return false;
        }
    }
    // The archive's notified events are the ones wanted: the others go.
    const QStringList present = ConfigArchive::presentNames();
    for (const QString &name : present) {
        if (isPerEventName(name) && !files.contains(name) && !addChange(name, true, QByteArray(), plan, errorText)) {
            return false;
        }
    }
    std::sort(plan->begin(), plan->end(), [](const Change &a, const Change &b) {
        return a.name < b.name;
    });
    return true;
}

bool check(const ConfigArchive::Files &files, const Plan &plan, Origin origin, QString *errorText)
{
    // A snapshot goes back to what the system held, whatever that was.
    if (origin == Origin::Outside && !readableWhole(files, errorText)) {
        return false;
    }
    // syslog-ng runs code while it reads (a python {} block runs at
    // --syntax-only): what it reads from someone's archive is screened first.
    // A snapshot holds what root's system ran, which may be written by hand.
    QStringList refusals;
    for (const Change &change : origin == Origin::Outside ? plan : Plan()) {
        const QString refusal = isSyslogNgName(change.name) && !change.remove ? SyslogNgSubset::refusal(systemPath(change.name), change.wanted) : QString();
        if (!refusal.isEmpty()) {
            refusals << refusal;
        }
    }
    if (!refusals.isEmpty()) {
        *errorText = i18n("The archive's syslog-ng files are refused before syslog-ng reads them:\n%1", refusals.join(QLatin1Char('\n')));
        return false;
    }
    ScratchFolder stage;
    if (!stage.isValid()) {
        *errorText = i18n("no temporary folder: %1", stage.errorString());
        return false;
    }
    const bool syslogNgTouched = std::any_of(files.keyBegin(), files.keyEnd(), isSyslogNgName) || std::any_of(plan.cbegin(), plan.cend(), [](const Change &c) {
                                     return isSyslogNgName(c.name);
                                 });
    if (syslogNgTouched && !checkSyslogNg(stage.path(), plan, errorText)) {
        return false;
    }
    const QString rotation = entryName(Paths::LogRotateFile);
    return !files.contains(rotation) || checkLogrotate(stage.path(), files.value(rotation), errorText);
}

bool diff(const Plan &plan, QByteArray *text, QString *errorText)
{
    // The module's review of its own changes shows them through the same function.
    QList<UnifiedDiff::File> files;
    for (const Change &change : plan) {
        files << UnifiedDiff::File{systemPath(change.name), change.exists, change.current, change.remove, change.wanted};
    }
    UnifiedDiff::Diffs diffs;
    UnifiedDiff::of(files, Process::waiting(), [&diffs](const UnifiedDiff::Diffs &made) {
        diffs = made;
    });
    // What diff gave before a failure is kept, as it was appended file by file.
    text->append(diffs.text);
    *errorText = diffs.errorText;
    return diffs.ok;
}

bool apply(const Plan &plan, QString *errorText, QStringList *notPutBack)
{
    FileTransaction transaction;
    for (const Change &change : plan) {
        const QString path = Paths::placed(systemPath(change.name));
        if (change.remove ? !transaction.remove(path, errorText) : !transaction.replace(path, change.wanted, errorText)) {
            return false;
        }
    }
    if (!transaction.commit(errorText)) {
        *notPutBack = transaction.notPutBack();
        return false;
    }
    return true;
}
} // namespace ConfigImport
