#include "checkedwrite.h"

#include "fileread.h"
#include "folderentries.h"
#include "paths.h"
#include "platformlog.h"
#include "privatefolder.h"
#include "stagedfile.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>

namespace CheckedWrite
{
namespace
{
struct Previous {
    QString path; // placed
    bool existed = false;
    QByteArray data;
};

bool applyTo(const QString &path, const Change &change, QString *reason = nullptr)
{
    if (change.remove) {
        QFile file(path);
        if (file.exists() && !file.remove()) {
            qCWarning(QUOR_PLATFORM).nospace().noquote() << path << ": " << file.errorString();
            if (reason) {
                *reason = file.errorString();
            }
            return false;
        }
        return true;
    }
    return replaceFile(path, change.content, reason);
}

void putBack(const QList<Previous> &previous)
{
    for (auto it = previous.crbegin(); it != previous.crend(); ++it) {
        if (it->existed) {
            replaceFile(it->path, it->data);
        } else {
            QFile::remove(it->path);
        }
    }
}

// Logged with the system path: the staged copy the tool read is gone by then.
QString refused(const QString &tool, const QString &systemPath, const QString &message)
{
    qCWarning(QUOR_PLATFORM).nospace().noquote() << systemPath << ": " << tool << " refuses the configuration: " << message;
    return i18n("%1 refuses the configuration; nothing was changed.\n\n%2", tool, message);
}
}

void checkSyslogNg(const QList<Change> &changes, const Process::Runner &run, const ConfigCheck::Done &done)
{
    // The staged copy lives until the check ends.
    const auto stage = std::make_shared<ScratchFolder>();
    if (!stage->isValid()) {
        return done({false, i18n("No folder to check the configuration in: %1", stage->errorString())});
    }
    const QDir live(Paths::placed(Paths::SyslogNgConfDir));
    // What the staged copy would leave out still reaches syslog-ng's restart.
    if (const QStringList problems = ConfigCheck::includeFolderProblems(live.path()); !problems.isEmpty()) {
        qCWarning(QUOR_PLATFORM).noquote() << problems.join(QLatin1Char('\n'));
        return done({false, problems.join(QLatin1Char('\n'))});
    }
    const QStringList names = FolderEntries::names(live.path(), {QStringLiteral("*.conf")}, QDir::Files);
    for (const QString &name : names) {
        const FileRead::Result read = FileRead::regular(live.filePath(name), FileRead::ConfigLimit);
        if (!read.ok) {
            qCWarning(QUOR_PLATFORM).noquote() << FileRead::describe(live.filePath(name), read);
            return done({false, FileRead::describe(QString(Paths::SyslogNgConfDir) + QLatin1Char('/') + name, read)});
        }
        // Only the check reads the copy: no wait for the disk.
        QString error;
        if (!StagedFile::writeScratch(stage->filePath(name), read.data, &error)) {
            qCWarning(QUOR_PLATFORM).noquote() << stage->filePath(name) << error;
            return done({false, i18n("The file %1 could not be staged for the check.", QString(Paths::SyslogNgConfDir) + QLatin1Char('/') + name)});
        }
    }
    for (const Change &change : changes) {
        if (!applyTo(stage->filePath(QFileInfo(change.systemPath).fileName()), change)) {
            return done({false, i18n("The file %1 could not be staged for the check.", change.systemPath)});
        }
    }
    ConfigCheck::syslogNg(stage->path(), run, [stage, done](const ConfigCheck::Result &check) {
        if (!check.accepted) {
            return done(
                {false,
                 refused(QStringLiteral("syslog-ng"), Paths::SyslogNgConfDir, QString(check.message).replace(stage->path(), QString(Paths::SyslogNgConfDir)))});
        }
        done({true, QString()});
    });
}

namespace
{
// What a syslog-ng write would change, found before anything is written.
struct Plan {
    ConfigCheck::Result result{true, QString()}; // not accepted: nothing may be written
    QList<Previous> previous; // what each effective change replaces
    QList<Change> effective; // the changes that change a file
};

Plan planWrite(const QList<Change> &changes)
{
    // What each file holds now: a change that leaves it so is no change.
    Plan plan;
    for (const Change &change : changes) {
        const QString path = Paths::placed(change.systemPath);
        const FileRead::Result old = FileRead::regular(path, FileRead::ConfigLimit);
        if (!old.ok && !old.missing) {
            qCWarning(QUOR_PLATFORM).noquote() << FileRead::describe(path, old);
            plan.result = {false, FileRead::describe(change.systemPath, old)};
            return plan;
        }
        // Nothing is written yet: a file changed since it was read stops all.
        if (change.expected && !change.expected->sameContent(old.missing ? FileStamp::missing() : FileStamp::ofRead(path, old.data))) {
            plan.result = changedOutside(change.systemPath);
            return plan;
        }
        if (change.remove ? old.missing : (old.ok && old.data == change.content)) {
            continue;
        }
        plan.effective << change;
        plan.previous << Previous{path, old.ok, old.data};
    }
    return plan;
}

ConfigCheck::Result commit(const Plan &plan, QStringList *changed)
{
    for (int i = 0; i < plan.effective.size(); ++i) {
        QString reason;
        if (!applyTo(plan.previous.at(i).path, plan.effective.at(i), &reason)) {
            putBack(plan.previous.mid(0, i + 1));
            return {false, i18n("The file %1 could not be changed: %2. The files changed before it were put back.", plan.effective.at(i).systemPath, reason)};
        }
    }
    if (changed) {
        for (const Change &change : plan.effective) {
            *changed << change.systemPath;
        }
    }
    return {true, QString()};
}

// Asks beforeWrite, when there is one, whether to go on with write.
void askBeforeWrite(const BeforeWrite &beforeWrite, const GoOn &write)
{
    if (beforeWrite) {
        beforeWrite(write);
    } else {
        write(true);
    }
}
}

ConfigCheck::Result writeSyslogNg(const QList<Change> &changes, QStringList *changed)
{
    const Plan plan = planWrite(changes);
    return plan.result.accepted ? commit(plan, changed) : plan.result;
}

void syslogNg(const QList<Change> &changes, const Process::Runner &run, const BeforeWrite &beforeWrite, const Written &done)
{
    checkSyslogNg(changes, run, [changes, beforeWrite, done](const ConfigCheck::Result &check) {
        if (!check.accepted) {
            return done(check, {});
        }
        const Plan plan = planWrite(changes);
        if (!plan.result.accepted || plan.effective.isEmpty()) {
            return done(plan.result, {});
        }
        askBeforeWrite(beforeWrite, [plan, done](bool goOn) {
            if (!goOn) {
                return done({false, stoppedBeforeWrite()}, {});
            }
            QStringList changed;
            const ConfigCheck::Result written = commit(plan, &changed);
            done(written, changed);
        });
    });
}

void logrotate(const QString &systemPath,
               const QByteArray &content,
               const std::optional<FileStamp> &expected,
               const Process::Runner &run,
               const BeforeWrite &beforeWrite,
               const ConfigCheck::Done &done)
{
    // The staged copy lives until the check ends.
    const auto stage = std::make_shared<ScratchFolder>();
    const QString staged = stage->filePath(QFileInfo(systemPath).fileName());
    if (!stage->isValid() || !replaceFile(staged, content)) {
        return done({false, i18n("No folder to check the configuration in: %1", stage->errorString())});
    }
    ConfigCheck::logrotate(staged, run, [systemPath, content, expected, beforeWrite, done, stage, staged](const ConfigCheck::Result &check) {
        if (!check.accepted) {
            return done({false, refused(QStringLiteral("logrotate"), systemPath, QString(check.message).replace(staged, systemPath))});
        }
        // One read serves both: whether the file still holds what was read, and
        // whether the content would change it.
        const QString placed = Paths::placed(systemPath);
        const FileRead::Result old = FileRead::regular(placed, FileRead::ConfigLimit);
        if (expected && !expected->sameContent(old.missing ? FileStamp::missing() : FileStamp::ofRead(placed, old.data))) {
            return done(changedOutside(systemPath));
        }
        if (old.ok && old.data == content) {
            return done({true, QString()});
        }
        askBeforeWrite(beforeWrite, [systemPath, placed, content, done](bool goOn) {
            if (!goOn) {
                return done({false, stoppedBeforeWrite()});
            }
            QString reason;
            if (!replaceFile(placed, content, &reason)) {
                return done({false, writeFailure(systemPath, reason)});
            }
            done({true, QString()});
        });
    });
}

QString stoppedBeforeWrite()
{
    return i18n("Nothing was changed: no snapshot of the configuration could be kept before the change.");
}

ConfigCheck::Result changedOutside(const QString &systemPath)
{
    qCWarning(QUOR_PLATFORM).noquote() << systemPath << "was changed outside the module since it was read; not written";
    ConfigCheck::Result result;
    result.message = i18n("The file %1 was changed outside this module since it was opened. Nothing was written.", systemPath);
    result.changedOutside = true;
    return result;
}

bool replaceFile(const QString &path, const QByteArray &data, QString *reason)
{
    return StagedFile::replace(path, data, reason);
}

QString writeFailure(const QString &systemPath, const QString &reason)
{
    return i18n("Could not write the file %1: %2.", systemPath, reason);
}
}
