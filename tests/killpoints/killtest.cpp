#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "model/eventswriter.h"
#include "model/eventtreeitem.h"
#include "notifications/notificationcatalogue.h"
#include "notifications/notificationfile.h"
#include "platform/paths.h"
#include "plugin/quoradminevents.h"
#include "testroot.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace
{
using Files = QMap<QString, QByteArray>; // system path -> content

const QString NotifiedBefore = QString(Paths::PerEventFilePrefix) + QLatin1String("session-locked.conf");

// Every file of the system root but the fakes' records, the import's
// snapshots (new files named by the time they are taken) and root's scratch
// folder (a killed check leaves its copies there; nothing reads them).
Files systemFiles(const TestRoot &root)
{
    Files files;
    QDirIterator it(root.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next().mid(root.path().size());
        if (!name.startsWith(QLatin1String("/test/")) && !name.startsWith(Paths::SnapshotDir) && !name.startsWith(Paths::ScratchDir)) {
            files.insert(name, root.readFile(name));
        }
    }
    return files;
}

QString describe(const Files &files, const QString &name)
{
    return files.contains(name) ? QStringLiteral("%1 bytes").arg(files.value(name).size()) : QStringLiteral("absent");
}

// A writer killed before its rename leaves its temporary "<file>.XXXXXX~": a
// name no reader takes, removed by the next write of the file. The import's
// journal is one of those files, gone once the import ends.
QRegularExpressionMatch temporaryMatch(const QString &name)
{
    static const QRegularExpression temporary(QStringLiteral("^(.+)\\.[A-Za-z0-9]{6}~$"));
    return temporary.match(name);
}

const QString JournalFile = Paths::ChangeJournalDir + QLatin1String("/journal.json");

bool isLeftover(const QString &name, const Files &before, const Files &after)
{
    const QRegularExpressionMatch match = temporaryMatch(name);
    return match.hasMatch() && (before.contains(match.captured(1)) || after.contains(match.captured(1)) || match.captured(1) == JournalFile);
}

// The audit store is switched one type at a time, as the audit database is:
// between two switches it holds some of the new types, each switch written whole.
bool isAuditStoreBetween(const QString &name, const Files &before, const Files &after, const Files &now)
{
    if (name != Paths::AuditTypeStore || !now.contains(name)) {
        return false;
    }
    const QByteArray content = now.value(name);
    const QList<QByteArray> known = before.value(name).split('\n') + after.value(name).split('\n');
    const QList<QByteArray> lines = content.split('\n');
    return (content.isEmpty() || content.endsWith('\n')) && std::all_of(lines.cbegin(), lines.cend(), [&known](const QByteArray &line) {
               return known.contains(line);
           });
}

// The files that are neither wholly as before nor wholly as after, and files
// that belong to neither but leftovers.
QStringList tornFiles(const Files &before, const Files &after, const Files &now)
{
    QStringList names = before.keys() + after.keys() + now.keys();
    names.removeDuplicates();
    QStringList torn;
    for (const QString &name : std::as_const(names)) {
        const auto same = [&name, &now](const Files &state) {
            return state.contains(name) == now.contains(name) && state.value(name) == now.value(name);
        };
        // The journal of an interrupted import is for the next run to read; its
        // applied record, written whole, names the time of the import and
        // between the restarts the ones still owed.
        if (!same(before) && !same(after) && name != JournalFile && name != Paths::AppliedRecordFile && !isLeftover(name, before, after)
            && !isAuditStoreBetween(name, before, after, now)) {
            torn << QStringLiteral("%1 (%2; before %3, after %4)").arg(name, describe(now, name), describe(before, name), describe(after, name));
        }
    }
    return torn;
}

// Whether the named files are now all as before or all as after.
bool allBeforeOrAllAfter(const QStringList &names, const Files &before, const Files &after, const Files &now)
{
    const auto all = [&names, &now](const Files &state) {
        return std::all_of(names.cbegin(), names.cend(), [&state, &now](const QString &name) {
            return state.contains(name) == now.contains(name) && state.value(name) == now.value(name);
        });
    };
    return all(before) || all(after);
}

QStringList changedNames(const Files &before, const Files &after)
{
    QStringList names = before.keys() + after.keys();
    names.removeDuplicates();
    QStringList changed;
    for (const QString &name : std::as_const(names)) {
        if (before.contains(name) != after.contains(name) || before.value(name) != after.value(name)) {
            changed << name;
        }
    }
    return changed;
}

struct KilledRun {
    QString end; // "done N" or "killed N" from the shim; empty when it crashed otherwise
    int exitCode = -1;
    QString output;
};

// Runs the program under the kill shim, killed at the killAt-th file change (0: never).
KilledRun runUnderShim(const QString &program, const QStringList &arguments, long killAt, bool armedAtStart)
{
    QTemporaryDir scratch;
    const QString report = scratch.filePath(QStringLiteral("report"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KILLSHIM_PATH));
    environment.insert(QStringLiteral("QUOR_KILL_AT"), QString::number(killAt));
    environment.insert(QStringLiteral("QUOR_KILL_REPORT"), report);
    if (armedAtStart) {
        environment.insert(QStringLiteral("QUOR_KILL_ARMED"), QStringLiteral("1"));
    }
    // Sanitizer builds: the shim comes before the sanitizers' runtime.
    const QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"), (asan.isEmpty() ? QString() : asan + QLatin1Char(':')) + QLatin1String("verify_asan_link_order=0"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    KilledRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = QString::fromUtf8(process.readAll());
    QFile end(report);
    if (end.open(QIODevice::ReadOnly)) {
        run.end = QString::fromUtf8(end.readAll()).trimmed();
    }
    return run;
}

// The settings file as the next load reads it, written back; empty when the load showed a message.
QString loadedSettings()
{
    NotificationCatalogue::instance().reset();
    MessageBoxWatcher boxes;
    QuorAdminEvents module(nullptr, {});
    module.load();
    if (!boxes.boxes().isEmpty()) {
        return QLatin1String("message: ") + boxes.texts().join(QLatin1Char('\n'));
    }
    return EventsWriter(QString(), QString()).text(module.savedModel()->root()).join(QLatin1Char('\n'));
}

QByteArray notificationFile(const QString &messageId)
{
    NotificationFile::Input input;
    input.messageId = messageId;
    input.messageType = QStringLiteral("info");
    input.title = QStringLiteral("Before");
    return NotificationFile::build(input).lines.join(QLatin1Char('\n')).toUtf8();
}

void prepareSystem(const TestRoot &root)
{
    root.copySampleSystem();
    // The sample homes belong to the demo's users; here they belong to accounts
    // every system has: the session's user "nobody" (home /nonexistent) and "daemon".
    QDir folders(root.path());
    folders.rename(QStringLiteral("home/alice"), QStringLiteral("nonexistent"));
    folders.rename(QStringLiteral("home/bob"), QStringLiteral("home/daemon"));
    QDir(root.placed(QStringLiteral("/home/carol"))).removeRecursively();
    QDir(root.placed(QStringLiteral("/home/.qmx"))).removeRecursively();
    root.writeFile(QStringLiteral("/home/daemon/.config/velta-event-watcher.notifyrc"), "[Event/old]\nAction=Popup\n");
    root.writeFile(Paths::AuditRulesFile, QByteArray());
    root.writeFile(NotifiedBefore, notificationFile(QStringLiteral("session-locked")));
    root.installFake(QStringLiteral("quor-wmfunc"), Paths::WmFuncTool);
}
}

// An Apply of the module and an import of the configuration manager, each
// killed at every call that changes a file: afterwards every file is wholly as
// before or wholly as after, and the next load reads what is there.
class KillTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // The session's user, for the notification dialog: "nobody".
        qputenv("SUDO_UID", "65534");
    }

    void killedEverywhere_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("armedAtStart"); // false: the program arms the shim after its start-up
        QTest::addColumn<bool>("importArchive");
        QTest::addColumn<QStringList>("mustChange");

        const QString added = QString(Paths::PerEventFilePrefix) + QLatin1String("user-login-failed.conf");
        QTest::newRow("apply") << QStringLiteral(APPLYCHILD_PATH) << false << false
                               << QStringList{Paths::EventsFile,
                                              Paths::AuditRulesFile,
                                              Paths::AuditTypeStore,
                                              added,
                                              NotifiedBefore,
                                              QStringLiteral("/nonexistent/.config/velta-event-watcher_auth.notifyrc"),
                                              QStringLiteral("/home/daemon/.config/velta-event-watcher.notifyrc")};
        // The import restarts what read its files; killed, the next run of the
        // tool finds the files all old or all new and no restart owed.
        QTest::newRow("import") << QStringLiteral(CONFIG_MANAGER_PATH) << true << true
                                << QStringList{Paths::EventsFile,
                                               Paths::AuditRulesFile,
                                               Paths::CommonSyslogNgFile,
                                               Paths::LogRotateFile,
                                               Paths::RootNotifyrc,
                                               QString(Paths::PerEventFilePrefix) + QLatin1String("user-login.conf"),
                                               NotifiedBefore};
    }

    void killedEverywhere()
    {
        QFETCH(QString, program);
        QFETCH(bool, armedAtStart);
        QFETCH(bool, importArchive);
        QFETCH(QStringList, mustChange);

        QTemporaryDir archiveDir;
        QStringList arguments;
        if (importArchive) {
            arguments = QStringList{QStringLiteral("-i"), makeArchive(archiveDir.path()), QStringLiteral("--restart-if-changed")};
            QVERIFY(!arguments.at(1).isEmpty());
            // Packed here, unsigned: what is killed is the import, not the signature's check.
            arguments << QStringLiteral("--allow-unsigned");
        }

        // Unkilled: what the system looks like before and after, and how many calls change files.
        Files before;
        Files after;
        QString settingsBefore;
        QString settingsAfter;
        long points = 0;
        {
            TestRoot root;
            prepareSystem(root);
            before = systemFiles(root);
            settingsBefore = loadedSettings();
            const KilledRun run = runUnderShim(program, arguments, 0, armedAtStart);
            QVERIFY2(run.exitCode == 0 && run.end.startsWith(QLatin1String("done ")), qPrintable(run.end + QLatin1Char('\n') + run.output));
            points = run.end.mid(5).toLong();
            after = systemFiles(root);
            settingsAfter = loadedSettings();
        }
        const QStringList changed = changedNames(before, after);
        for (const QString &name : std::as_const(mustChange)) {
            QVERIFY2(changed.contains(name), qPrintable(name + QLatin1String(" unchanged; changed: ") + changed.join(QLatin1Char(' '))));
        }
        QVERIFY(points > changed.size());
        qInfo("%ld file changes, %lld files changed", points, qint64(changed.size()));

        for (long killAt = 1; killAt <= points; ++killAt) {
            TestRoot root;
            prepareSystem(root);
            const KilledRun run = runUnderShim(program, arguments, killAt, armedAtStart);
            QVERIFY2(run.end == QStringLiteral("killed %1").arg(killAt), qPrintable(run.end + QLatin1Char('\n') + run.output));
            const QStringList torn = tornFiles(before, after, systemFiles(root));
            QVERIFY2(torn.isEmpty(), qPrintable(QStringLiteral("killed at %1: ").arg(killAt) + torn.join(QLatin1String(", "))));
            const QString settings = loadedSettings();
            QVERIFY2(settings == settingsBefore || settings == settingsAfter, qPrintable(QStringLiteral("killed at %1: ").arg(killAt) + settings));
            if (importArchive) {
                nextRunSettles(root, killAt, changed, before, after);
            }
        }
    }

private:
    // The next run of the tool finishes what the killed one left: every file
    // it changes all old or all new, no temporary left, no restart owed.
    static void nextRunSettles(const TestRoot &root, long killAt, const QStringList &changed, const Files &before, const Files &after)
    {
        QProcess next;
        next.setProcessChannelMode(QProcess::MergedChannels);
        next.start(QStringLiteral(CONFIG_MANAGER_PATH), {QStringLiteral("--restart-pending")});
        QVERIFY(next.waitForFinished(120000));
        const QString said = QString::fromUtf8(next.readAll());
        QVERIFY2(next.exitCode() == 0, qPrintable(QStringLiteral("killed at %1: ").arg(killAt) + said));
        const Files now = systemFiles(root);
        // The record of the import names the time it was made: not compared.
        QStringList compared = changed;
        compared.removeAll(Paths::AppliedRecordFile);
        QVERIFY2(allBeforeOrAllAfter(compared, before, after, now), qPrintable(QStringLiteral("killed at %1: part old, part new; ").arg(killAt) + said));
        for (auto it = now.cbegin(); it != now.cend(); ++it) {
            QVERIFY2(!temporaryMatch(it.key()).hasMatch(), qPrintable(QStringLiteral("killed at %1: %2 left").arg(killAt).arg(it.key())));
        }
        QVERIFY2(!now.contains(JournalFile), qPrintable(QStringLiteral("killed at %1: the journal is left").arg(killAt)));
        const QJsonObject record = QJsonDocument::fromJson(now.value(Paths::AppliedRecordFile)).object();
        QVERIFY2(record.value(QStringLiteral("pendingRestarts")).toArray().isEmpty(),
                 qPrintable(QStringLiteral("killed at %1: a restart owed: ").arg(killAt) + QString::fromUtf8(now.value(Paths::AppliedRecordFile))));
    }

    // The sample's configuration with every managed file changed, and one
    // notified event swapped for another, packed as the tool's archives are.
    static QString makeArchive(const QString &folder)
    {
        TestRoot source;
        prepareSystem(source);
        const auto edit = [&source](const QString &name, const QByteArray &from, const QByteArray &to) {
            QByteArray content = source.readFile(name);
            source.writeFile(name, from.isEmpty() ? content + to : content.replace(from, to));
        };
        source.writeFile(Paths::EventsFile, "{\n\t\"user-login\" : { \"enabled\": \"1\" }\n}\n");
        source.writeFile(Paths::AuditRulesFile, "-w /etc/passwd -p wa -k velta_passwd\n");
        edit(Paths::CommonSyslogNgFile, QByteArray(), "\n# imported\n");
        edit(Paths::LogRotateFile, "rotate 10", "rotate 7");
        edit(Paths::RootNotifyrc, QByteArray(), "\n[Event/imported]\nAction=Popup\n");
        QFile::remove(source.placed(NotifiedBefore));
        const QString added = QString(Paths::PerEventFilePrefix) + QLatin1String("user-login.conf");
        source.writeFile(added, notificationFile(QStringLiteral("user-login")));
        QStringList names;
        for (const QString &name : {QString(Paths::EventsFile),
                                    QString(Paths::AuditRulesFile),
                                    QString(Paths::CommonSyslogNgFile),
                                    QString(Paths::LogRotateFile),
                                    QString(Paths::RootNotifyrc),
                                    added}) {
            names << name.mid(1);
        }
        const QString archive = folder + QLatin1String("/import.tar.gz");
        QProcess tar;
        tar.start(QStringLiteral("tar"), QStringList{QStringLiteral("-czf"), archive, QStringLiteral("-C"), source.path()} + names);
        return tar.waitForFinished(60000) && tar.exitStatus() == QProcess::NormalExit && tar.exitCode() == 0 ? archive : QString();
    }
};

QTEST_MAIN(KillTest)

#include "killtest.moc"
