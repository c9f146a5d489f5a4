#include "platform/asyncprocess.h"
#include "platform/configsnapshot.h"
#include "platform/paths.h"
#include "services/rebootrequest.h"
#include "services/snghandler.h"
#include "testroot.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <optional>

#include <csignal>

// The service controller against the fake sudo, and the reboot request.
namespace
{
// Counts the handler's switch reports as the module receives them.
void countReports(QObject *receiver, int *reports)
{
    QObject::connect(SngHandler::instance(), &SngHandler::sngSwitched, receiver, [reports] {
        ++*reports;
    });
}

struct StatusAnswer {
    SngHandler::State state = SngHandler::State::Unknown;
    QString text;
};

StatusAnswer askStatus()
{
    QSignalSpy answered(SngHandler::instance(), &SngHandler::statusReady);
    const quint64 query = SngHandler::instance()->queryStatus();
    if (!answered.wait(30000) || answered.constFirst().at(0).toULongLong() != query) {
        return {};
    }
    return {answered.constFirst().at(1).value<SngHandler::State>(), answered.constFirst().at(2).toString()};
}

SngHandler::RestartOutcome restartAndWait(SngHandler::Units units, const QString &snapshot)
{
    QSignalSpy finished(SngHandler::instance(), &SngHandler::restartFinished);
    const quint64 id = SngHandler::instance()->restart(units, snapshot);
    if (!finished.wait(60000) || finished.constFirst().at(0).toULongLong() != id) {
        return {};
    }
    return finished.constFirst().at(1).value<SngHandler::RestartOutcome>();
}

QString sudo(const char *verb, const char *unit)
{
    return QStringLiteral("sudo systemctl %1 %2").arg(QLatin1String(verb), QLatin1String(unit));
}

const QString Reload = QStringLiteral("sudo syslog-ng-ctl reload");
}

class ServicesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void status_data()
    {
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<SngHandler::State>("state");
        QTest::addColumn<QString>("text");

        const QString audit = QStringLiteral("auditd");
        const QString logging = QStringLiteral("syslog-ng");
        QTest::newRow("none") << QStringList() << SngHandler::State::Stopped << QStringLiteral("auditd: off, syslog-ng: off");
        QTest::newRow("audit-only") << QStringList{audit} << SngHandler::State::Stopped << QStringLiteral("auditd: on, syslog-ng: off");
        QTest::newRow("logging-only") << QStringList{logging} << SngHandler::State::Stopped << QStringLiteral("auditd: off, syslog-ng: on");
        QTest::newRow("both") << QStringList{logging, audit} << SngHandler::State::Running << QStringLiteral("auditd: on, syslog-ng: on");
    }

    void status()
    {
        QFETCH(QStringList, running);
        QFETCH(SngHandler::State, state);
        QFETCH(QString, text);

        TestRoot root;
        root.setRunningUnits(running);
        const StatusAnswer answer = askStatus();
        QCOMPARE(answer.state, state);
        QCOMPARE(answer.text, text);
        QCOMPARE(root.commands(), (QStringList{sudo("status", "syslog-ng"), sudo("status", "auditd")}));
    }

    // A unit whose status never comes is not called stopped: the state is
    // unknown, and the text says why.
    void hangingStatusIsUnknown_data()
    {
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<SngHandler::State>("state");
        QTest::addColumn<QString>("text");
        QTest::newRow("other-runs") << QStringList{QStringLiteral("syslog-ng"), QStringLiteral("auditd")} << SngHandler::State::Unknown
                                    << QStringLiteral(
                                           "auditd: no answer, syslog-ng: on\nThe command \"sudo systemctl status auditd\" did not answer within 1 seconds.");
        // One unit known to be down is enough to tell.
        QTest::newRow("other-stopped") << QStringList{QStringLiteral("auditd")} << SngHandler::State::Stopped
                                       << QStringLiteral("auditd: no answer, syslog-ng: off");
    }

    void hangingStatusIsUnknown()
    {
        QFETCH(QStringList, running);
        QFETCH(SngHandler::State, state);
        QFETCH(QString, text);
        TestRoot root;
        root.setRunningUnits(running);
        SngHandler::instance()->setTimeLimits(300, 300);
        TestRoot::setFakeVariable("QUOR_FAKE_HANG", "status auditd");
        QElapsedTimer clock;
        clock.start();
        const StatusAnswer answer = askStatus();
        TestRoot::setFakeVariable("QUOR_FAKE_HANG", {});
        SngHandler::instance()->setTimeLimits(10000, 120000);
        QCOMPARE(answer.state, state);
        QCOMPARE(answer.text, text);
        QVERIFY(clock.elapsed() < 5000);
    }

    // The handler never waits: the call returns before any command has run.
    void queriesDoNotWait()
    {
        TestRoot root;
        TestRoot::setFakeVariable("QUOR_FAKE_HANG", "status syslog-ng");
        QElapsedTimer clock;
        clock.start();
        SngHandler::instance()->queryStatus();
        SngHandler::instance()->restart(SngHandler::Logging, QString());
        QVERIFY(clock.elapsed() < 1000);
        QVERIFY(SngHandler::instance()->busy());
        TestRoot::setFakeVariable("QUOR_FAKE_HANG", {});
        SngHandler::instance()->abandonAll();
        QVERIFY(!SngHandler::instance()->busy());
    }

    void switches_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<bool>("failStart");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QStringList>("runningAfter");

        const QString audit = QStringLiteral("auditd");
        const QString logging = QStringLiteral("syslog-ng");
        QTest::newRow("start-starts-stopped-audit") << QStringLiteral("start") << QStringList() << false
                                                    << QStringList{sudo("status", "auditd"), sudo("start", "auditd"), sudo("start", "syslog-ng")}
                                                    << QStringList{audit, logging};
        QTest::newRow("start-leaves-running-audit") << QStringLiteral("start") << QStringList{audit} << false
                                                    << QStringList{sudo("status", "auditd"), sudo("start", "syslog-ng")} << QStringList{audit, logging};
        QTest::newRow("stop-leaves-audit-running") << QStringLiteral("stop") << QStringList{audit, logging} << false << QStringList{sudo("stop", "syslog-ng")}
                                                   << QStringList{audit};
        QTest::newRow("failed-start-still-reports") << QStringLiteral("start") << QStringList() << true
                                                    << QStringList{sudo("status", "auditd"), sudo("start", "auditd"), sudo("start", "syslog-ng")}
                                                    << QStringList();
    }

    void switches()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, running);
        QFETCH(bool, failStart);
        QFETCH(QStringList, commands);
        QFETCH(QStringList, runningAfter);

        TestRoot root;
        root.setRunningUnits(running);
        if (failStart) {
            TestRoot::setFakeVariable("QUOR_FAKE_FAIL_START", "1");
        }
        int reports = 0;
        QObject receiver;
        countReports(&receiver, &reports);
        SngHandler *handler = SngHandler::instance();
        if (action == QLatin1String("start")) {
            handler->syslogNgStart();
        } else {
            handler->syslogNgStop();
        }
        QTRY_COMPARE(reports, 1);
        TestRoot::setFakeVariable("QUOR_FAKE_FAIL_START", {});
        QCOMPARE(root.commands(), commands);
        QCOMPARE(root.runningUnits(), runningAfter);
    }

    void concurrentSwitchesAllReport()
    {
        TestRoot root;
        int reports = 0;
        QObject receiver;
        countReports(&receiver, &reports);
        SngHandler::instance()->restart(SngHandler::Logging, QString());
        SngHandler::instance()->syslogNgStop();
        SngHandler::instance()->syslogNgStart();
        QTRY_COMPARE(reports, 3);
        // The restart asks first whether syslog-ng runs, then reloads it.
        QCOMPARE(root.commands().filter(QStringLiteral("syslog-ng")).size(), 4);
    }

    // Each unit is restarted when a file it reads changed, and only then.
    void unitsReading_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<SngHandler::Units>("units");
        const QString notified = QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-usb-added.conf");
        QTest::newRow("nothing") << QStringList() << SngHandler::Units();
        QTest::newRow("rotation-only") << QStringList{QString(Paths::LogRotateFile)} << SngHandler::Units();
        QTest::newRow("destinations") << QStringList{QString(Paths::CommonSyslogNgFile)} << SngHandler::Units(SngHandler::Logging);
        QTest::newRow("notification-file") << QStringList{notified} << SngHandler::Units(SngHandler::Logging);
        QTest::newRow("event-settings") << QStringList{QString(Paths::EventsFile)} << SngHandler::Units(SngHandler::Logging);
        QTest::newRow("audit-rules") << QStringList{QString(Paths::AuditRulesFile)} << SngHandler::Units(SngHandler::Audit);
        QTest::newRow("both") << QStringList{QString(Paths::AuditRulesFile), QString(Paths::EventsFile)}
                              << SngHandler::Units(SngHandler::Logging | SngHandler::Audit);
        QTest::newRow("folder-itself-is-no-file") << QStringList{QStringLiteral("/etc/syslog-ng/conf.d")} << SngHandler::Units();
    }

    void unitsReading()
    {
        QFETCH(QStringList, files);
        QFETCH(SngHandler::Units, units);
        QCOMPARE(SngHandler::unitsReading(files), units);
    }

    // A running syslog-ng reloads its files and loses nothing; one that does
    // not run is started by the restart. auditd is always restarted.
    void restarts_data()
    {
        QTest::addColumn<SngHandler::Units>("units");
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<QStringList>("commands");
        const QStringList both{QStringLiteral("syslog-ng"), QStringLiteral("auditd")};
        const QStringList auditOnly{QStringLiteral("auditd")};
        const QString status = sudo("status", "syslog-ng");
        QTest::newRow("nothing-changed") << SngHandler::Units() << both << QStringList();
        QTest::newRow("logging-running-reloads") << SngHandler::Units(SngHandler::Logging) << both << QStringList{status, Reload};
        QTest::newRow("logging-stopped-restarts") << SngHandler::Units(SngHandler::Logging) << auditOnly << QStringList{status, sudo("restart", "syslog-ng")};
        QTest::newRow("audit-only") << SngHandler::Units(SngHandler::Audit) << both << QStringList{sudo("restart", "auditd")};
        QTest::newRow("both-logging-first") << SngHandler::Units(SngHandler::Logging | SngHandler::Audit) << both
                                            << QStringList{status, Reload, sudo("restart", "auditd")};
    }

    void restarts()
    {
        QFETCH(SngHandler::Units, units);
        QFETCH(QStringList, running);
        QFETCH(QStringList, commands);
        TestRoot root;
        root.setRunningUnits(running);
        int reports = 0;
        QObject receiver;
        countReports(&receiver, &reports);
        const SngHandler::RestartOutcome outcome = restartAndWait(units, QString());
        QVERIFY(outcome.ok);
        QCOMPARE(outcome.message, QString());
        QCOMPARE(root.commands(), commands);
        QTRY_COMPARE(reports, 1);
    }

    // syslog-ng refuses its new files: the snapshot taken before them is put
    // back. After a refused restart syslog-ng is restarted with it; after a
    // refused reload it still runs the configuration before, and reloads the
    // files put back. auditd's files went back too: it is not restarted.
    void refusedChangeRollsBack_data()
    {
        QTest::addColumn<bool>("loggingRuns");
        QTest::addColumn<QByteArray>("failure"); // the fake sudo's variable
        QTest::addColumn<bool>("snapshotTaken");
        QTest::addColumn<bool>("rolledBack");
        QTest::addColumn<bool>("loggingDown");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QStringList>("shown");

        const QString status = sudo("status", "syslog-ng");
        const QString restart = sudo("restart", "syslog-ng");
        const QStringList restartTwice{status, restart, status, restart};
        QTest::newRow("restart-refused-once") << false << QByteArray("QUOR_FAKE_FAIL_ONCE") << true << true << false << restartTwice
                                              << QStringList{QStringLiteral("syslog-ng refused the new configuration and was restarted with the previous one."),
                                                             QStringLiteral("Error initializing message pipeline")};
        QTest::newRow("restart-refused-with-previous-too")
            << false << QByteArray("QUOR_FAKE_FAIL") << true << false << true << restartTwice
            << QStringList{QStringLiteral("did not start with the previous one either: logging is stopped."), QStringLiteral("--restore ")};
        QTest::newRow("restart-refused-no-snapshot") << false << QByteArray("QUOR_FAKE_FAIL") << false << false << true << QStringList{status, restart}
                                                     << QStringList{QStringLiteral("no snapshot was taken before the change"),
                                                                    QStringLiteral("logging is stopped")};
        QTest::newRow("reload-refused") << true << QByteArray("QUOR_FAKE_FAIL_ONCE") << true << true << false << QStringList{status, Reload, status, Reload}
                                        << QStringList{QStringLiteral("kept running with the previous one; its files were put back."),
                                                       QStringLiteral("Config reload failed, reverted to previous config")};
        // A daemon that refuses even what it runs still runs it.
        QTest::newRow("reload-refused-with-previous-too")
            << true << QByteArray("QUOR_FAKE_FAIL") << true << true << false << QStringList{status, Reload, status, Reload}
            << QStringList{QStringLiteral("kept running with the previous one")};
        QTest::newRow("reload-refused-no-snapshot") << true << QByteArray("QUOR_FAKE_FAIL") << false << false << false << QStringList{status, Reload}
                                                    << QStringList{QStringLiteral("keeps running with the previous one"),
                                                                   QStringLiteral("the files on disk are the refused ones")};
    }

    void refusedChangeRollsBack()
    {
        QFETCH(bool, loggingRuns);
        QFETCH(QByteArray, failure);
        QFETCH(bool, snapshotTaken);
        QFETCH(bool, rolledBack);
        QFETCH(bool, loggingDown);
        QFETCH(QStringList, commands);
        QFETCH(QStringList, shown);

        TestRoot root;
        root.copySampleSystem();
        root.setRunningUnits(loggingRuns ? QStringList{QStringLiteral("syslog-ng"), QStringLiteral("auditd")} : QStringList{QStringLiteral("auditd")});
        const QByteArray before = root.readFile(Paths::CommonSyslogNgFile);
        QString snapshot;
        if (snapshotTaken) {
            QString error;
            QVERIFY2(ConfigSnapshot::take(&error, &snapshot), qPrintable(error));
            QVERIFY(!snapshot.isEmpty());
        }
        const QByteArray written = before + "# the new configuration\n";
        root.writeFile(Paths::CommonSyslogNgFile, written);
        TestRoot::setFakeVariable(failure, loggingRuns ? "reload syslog-ng" : "restart syslog-ng");
        const SngHandler::RestartOutcome outcome = restartAndWait(SngHandler::Logging | SngHandler::Audit, snapshot);
        TestRoot::setFakeVariable(failure, {});
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.rolledBack, rolledBack);
        QCOMPARE(outcome.loggingDown, loggingDown);
        for (const QString &part : shown) {
            QVERIFY2(outcome.message.contains(part), qPrintable(outcome.message));
        }
        if (loggingDown && snapshotTaken) {
            QVERIFY2(outcome.message.contains(snapshot), qPrintable(outcome.message));
        }
        QCOMPARE(root.commands(), commands);
        QCOMPARE(root.readFile(Paths::CommonSyslogNgFile), snapshotTaken ? before : written);
        QCOMPARE(root.runningUnits().contains(QStringLiteral("syslog-ng")), !loggingDown);
    }

    void failedAuditRestartIsReported()
    {
        TestRoot root;
        TestRoot::setFakeVariable("QUOR_FAKE_FAIL", "restart auditd");
        const SngHandler::RestartOutcome outcome = restartAndWait(SngHandler::Logging | SngHandler::Audit, QString());
        TestRoot::setFakeVariable("QUOR_FAKE_FAIL", {});
        QVERIFY(!outcome.ok);
        QVERIFY(!outcome.rolledBack && !outcome.loggingDown);
        QVERIFY2(outcome.message.contains(QLatin1String("\"sudo systemctl restart auditd\" failed with exit code 1.")), qPrintable(outcome.message));
    }

    // A hung command is killed at once when the handler lets go of its work,
    // with whatever it started; nothing of it is reported.
    void abandonKillsHungCommand()
    {
        TestRoot root;
        TestRoot::setFakeVariable("QUOR_FAKE_HANG", "reload syslog-ng");
        QSignalSpy finished(SngHandler::instance(), &SngHandler::restartFinished);
        SngHandler::instance()->restart(SngHandler::Logging, QString());
        const QString hung = root.placed(QStringLiteral("/test/commands.log.hung"));
        QTRY_VERIFY(QFileInfo::exists(hung) && !root.readFile(QStringLiteral("/test/commands.log.hung")).isEmpty());
        TestRoot::setFakeVariable("QUOR_FAKE_HANG", {});
        const pid_t pid = root.readFile(QStringLiteral("/test/commands.log.hung")).trimmed().toInt();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid, 0), 0);
        QElapsedTimer clock;
        clock.start();
        SngHandler::instance()->abandonAll();
        QVERIFY(clock.elapsed() < 1000);
        QVERIFY(!SngHandler::instance()->busy());
        // Gone, and reaped: no zombie either.
        QTRY_VERIFY(::kill(pid, 0) != 0);
        QTest::qWait(100);
        QCOMPARE(finished.size(), 0);
    }

    void rebootRequest_data()
    {
        QTest::addColumn<QByteArray>("sudoUid"); // empty: unset
        QTest::addColumn<bool>("toolPresent");
        QTest::addColumn<QByteArray>("refusal"); // what the tool says when it fails; empty: it succeeds
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("failure");

        const QStringList called{QStringLiteral("quor-wmfunc QUORWM_REBOOT XDG_RUNTIME_DIR=/run/user/1000")};
        QTest::newRow("runtime-dir-of-sudo-user") << QByteArray("1000") << true << QByteArray() << called << QString();
        QTest::newRow("without-sudo-uid") << QByteArray() << true << QByteArray()
                                          << QStringList{QStringLiteral("quor-wmfunc QUORWM_REBOOT XDG_RUNTIME_DIR=/run/user/")} << QString();
        QTest::newRow("tool-missing") << QByteArray("1000") << false << QByteArray() << QStringList()
                                      << QStringLiteral("/usr/bin/quor-wmfunc QUORWM_REBOOT could not be started.");
        QTest::newRow("tool-refuses") << QByteArray("1000") << true << QByteArray("no session manager on the session bus\n") << called
                                      << QStringLiteral("/usr/bin/quor-wmfunc QUORWM_REBOOT ended with exit code 1: no session manager on the session bus");
    }

    void rebootRequest()
    {
        QFETCH(QByteArray, sudoUid);
        QFETCH(bool, toolPresent);
        QFETCH(QByteArray, refusal);
        QFETCH(QStringList, commands);
        QFETCH(QString, failure);

        TestRoot root;
        if (!toolPresent) {
            root.removeProgram(QStringLiteral("quor-wmfunc"));
        }
        if (!refusal.isEmpty()) {
            root.writeFile(QStringLiteral("/test/wmfunc-refusal"), refusal);
        }
        const QByteArray previous = qgetenv("SUDO_UID");
        if (sudoUid.isEmpty()) {
            qunsetenv("SUDO_UID");
        } else {
            qputenv("SUDO_UID", sudoUid);
        }
        AsyncProcess process;
        std::optional<QString> reported;
        requestReboot(&process, [&reported](const QString &why) {
            reported = why;
        });
        qputenv("SUDO_UID", previous);
        QTRY_VERIFY(reported);
        QCOMPARE(*reported, failure);
        QCOMPARE(root.commands(), commands);
    }
};

QTEST_GUILESS_MAIN(ServicesTest)
#include "servicestest.moc"
