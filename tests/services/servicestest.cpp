#include "services/rebootrequest.h"
#include "services/snghandler.h"
#include "testroot.h"

#include <QTest>

// The service controller against the fake sudo, and the reboot request.
// Counts the handler's reports as the module receives them: queued into this thread.
static void countReports(QObject *receiver, int *reports)
{
    QObject::connect(
        SngHandler::instance(),
        &SngHandler::sngSwitched,
        receiver,
        [reports] {
            ++*reports;
        },
        Qt::QueuedConnection);
}

class ServicesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void status_data()
    {
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<bool>("both");
        QTest::addColumn<QString>("text");

        const QString audit = QStringLiteral("auditd");
        const QString logging = QStringLiteral("syslog-ng");
        QTest::newRow("none") << QStringList() << false << QStringLiteral("auditd: off, syslog-ng: off");
        QTest::newRow("audit-only") << QStringList{audit} << false << QStringLiteral("auditd: on, syslog-ng: off");
        QTest::newRow("logging-only") << QStringList{logging} << false << QStringLiteral("auditd: off, syslog-ng: on");
        QTest::newRow("both") << QStringList{logging, audit} << true << QStringLiteral("auditd: on, syslog-ng: on");
    }

    void status()
    {
        QFETCH(QStringList, running);
        QFETCH(bool, both);
        QFETCH(QString, text);

        TestRoot root;
        root.setRunningUnits(running);
        QCOMPARE(SngHandler::instance()->status(), both);
        QCOMPARE(SngHandler::instance()->statusText(), text);
        QCOMPARE(root.commands(), (QStringList{QStringLiteral("sudo systemctl status syslog-ng"), QStringLiteral("sudo systemctl status auditd")}));
    }

    // A unit whose status never comes counts as not running, and says so.
    void hangingStatusHasLimit()
    {
        TestRoot root;
        root.setRunningUnits({QStringLiteral("syslog-ng"), QStringLiteral("auditd")});
        SngHandler::instance()->setTimeLimits(300, 300);
        qputenv("QUOR_FAKE_HANG", "status auditd");
        const bool running = SngHandler::instance()->status();
        qunsetenv("QUOR_FAKE_HANG");
        SngHandler::instance()->setTimeLimits(10000, 120000);
        QVERIFY(!running);
        QCOMPARE(SngHandler::instance()->statusText(), QStringLiteral("auditd: no answer, syslog-ng: on"));
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
        const auto sudo = [](const char *verb, const char *unit) {
            return QStringLiteral("sudo systemctl %1 %2").arg(QLatin1String(verb), QLatin1String(unit));
        };
        QTest::newRow("start-starts-stopped-audit") << QStringLiteral("start") << QStringList() << false
                                                    << QStringList{sudo("status", "auditd"), sudo("start", "auditd"), sudo("start", "syslog-ng")}
                                                    << QStringList{audit, logging};
        QTest::newRow("start-leaves-running-audit") << QStringLiteral("start") << QStringList{audit} << false
                                                    << QStringList{sudo("status", "auditd"), sudo("start", "syslog-ng")} << QStringList{audit, logging};
        QTest::newRow("stop-leaves-audit-running") << QStringLiteral("stop") << QStringList{audit, logging} << false << QStringList{sudo("stop", "syslog-ng")}
                                                   << QStringList{audit};
        QTest::newRow("restart-restarts-both") << QStringLiteral("restart") << QStringList{logging} << false
                                               << QStringList{sudo("restart", "auditd"), sudo("restart", "syslog-ng")} << QStringList{logging, audit};
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
            qputenv("QUOR_FAKE_FAIL_START", "1");
        }
        int reports = 0;
        QObject receiver;
        countReports(&receiver, &reports);
        const SngHandler *handler = SngHandler::instance();
        if (action == QLatin1String("start")) {
            handler->syslogNgStart();
        } else if (action == QLatin1String("stop")) {
            handler->syslogNgStop();
        } else {
            handler->syslogNgRestart();
        }
        QTRY_COMPARE(reports, 1);
        qunsetenv("QUOR_FAKE_FAIL_START");
        QCOMPARE(root.commands(), commands);
        QCOMPARE(root.runningUnits(), runningAfter);
    }

    void concurrentSwitchesAllReport()
    {
        TestRoot root;
        int reports = 0;
        QObject receiver;
        countReports(&receiver, &reports);
        SngHandler::instance()->syslogNgRestart();
        SngHandler::instance()->syslogNgStop();
        SngHandler::instance()->syslogNgStart();
        QTRY_COMPARE(reports, 3);
        QCOMPARE(root.commands().filter(QStringLiteral("syslog-ng")).size(), 3);
    }

    void rebootRequest_data()
    {
        QTest::addColumn<QByteArray>("sudoUid"); // empty: unset
        QTest::addColumn<bool>("toolPresent");
        QTest::addColumn<QStringList>("commands");

        QTest::newRow("runtime-dir-of-sudo-user") << QByteArray("1000") << true
                                                  << QStringList{QStringLiteral("quor-wmfunc QUORWM_REBOOT XDG_RUNTIME_DIR=/run/user/1000")};
        QTest::newRow("without-sudo-uid") << QByteArray() << true << QStringList{QStringLiteral("quor-wmfunc QUORWM_REBOOT XDG_RUNTIME_DIR=/run/user/")};
        QTest::newRow("tool-missing") << QByteArray("1000") << false << QStringList();
    }

    void rebootRequest()
    {
        QFETCH(QByteArray, sudoUid);
        QFETCH(bool, toolPresent);
        QFETCH(QStringList, commands);

        TestRoot root;
        if (toolPresent) {
            root.installFake(QStringLiteral("quor-wmfunc"), QStringLiteral("/usr/bin/quor-wmfunc"));
        }
        const QByteArray previous = qgetenv("SUDO_UID");
        if (sudoUid.isEmpty()) {
            qunsetenv("SUDO_UID");
        } else {
            qputenv("SUDO_UID", sudoUid);
        }
        requestReboot();
        qputenv("SUDO_UID", previous);
        QCOMPARE(root.commands(), commands);
    }
};

QTEST_GUILESS_MAIN(ServicesTest)
#include "servicestest.moc"
