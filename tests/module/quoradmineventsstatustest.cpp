#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "pageapply.h"
#include "plugin/quoradminevents.h"
#include "services/snghandler.h"
#include "testroot.h"

#include <KColorScheme>

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <csignal>
#include <memory>

// The service status line and the start/stop button of the page.
class QuorAdminEventsStatusTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void statusLine_data()
    {
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("toolTip");

        const QString audit = QStringLiteral("auditd");
        const QString logging = QStringLiteral("syslog-ng");
        const QString start = QStringLiteral("Start logging service");
        // Rows that show "stopped" follow one that shows "running": every new page
        // must show its state although the stored state starts as "stopped".
        QTest::newRow("both") << QStringList{audit, logging} << QStringLiteral("Logging service is running.") << QStringLiteral("Stop logging service")
                              << QStringLiteral("auditd: on, syslog-ng: on");
        // The line names what is stopped.
        QTest::newRow("none") << QStringList() << QStringLiteral("Logging and audit services stopped.") << start
                              << QStringLiteral("auditd: off, syslog-ng: off");
        QTest::newRow("audit-only") << QStringList{audit} << QStringLiteral("Logging service stopped.") << start
                                    << QStringLiteral("auditd: on, syslog-ng: off");
        QTest::newRow("logging-only") << QStringList{logging} << QStringLiteral("Audit service (auditd) stopped.") << start
                                      << QStringLiteral("auditd: off, syslog-ng: on");
    }

    void statusLine()
    {
        QFETCH(QStringList, running);
        QFETCH(QString, label);
        QFETCH(QString, button);
        QFETCH(QString, toolTip);

        TestRoot root;
        root.setRunningUnits(running);
        QuorAdminEvents module(nullptr, {});
        auto *statusLabel = module.findChild<QLabel *>(QStringLiteral("sngStatusLabel"));
        auto *startStop = module.findChild<QPushButton *>(QStringLiteral("sngStartStopButton"));
        QVERIFY(statusLabel && startStop);
        QTRY_COMPARE(statusLabel->text(), label);
        QCOMPARE(statusLabel->toolTip(), toolTip);
        QCOMPARE(startStop->text(), button);
        QVERIFY(startStop->isEnabled());
        const QColor warning = KColorScheme(QPalette::Active, KColorScheme::Window).foreground(KColorScheme::NegativeText).color();
        QCOMPARE(statusLabel->palette().color(QPalette::WindowText) == warning, running.size() < 2);
    }

    // Stopping costs the record of security events: the button asks first.
    void stopAsks_data()
    {
        QTest::addColumn<int>("answerButton");
        QTest::addColumn<QString>("label");
        QTest::newRow("yes-stops") << int(QMessageBox::Yes) << QStringLiteral("Logging service stopped.");
        QTest::newRow("no-keeps-running") << int(QMessageBox::No) << QStringLiteral("Logging service is running.");
    }

    void stopAsks()
    {
        QFETCH(int, answerButton);
        const auto answer = QMessageBox::StandardButton(answerButton);
        QFETCH(QString, label);
        TestRoot root;
        root.setRunningUnits({QStringLiteral("auditd"), QStringLiteral("syslog-ng")});
        QuorAdminEvents module(nullptr, {});
        auto *statusLabel = module.findChild<QLabel *>(QStringLiteral("sngStatusLabel"));
        auto *startStop = module.findChild<QPushButton *>(QStringLiteral("sngStartStopButton"));
        QTRY_COMPARE(statusLabel->text(), QStringLiteral("Logging service is running."));
        QTRY_VERIFY(startStop->isEnabled());
        root.clearCommands();
        MessageBoxWatcher watcher;
        watcher.queueAnswer(answer);
        startStop->click();
        QTRY_VERIFY(startStop->isEnabled());
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Stop logging service")});
        QCOMPARE(watcher.texts(), QStringList{QStringLiteral("While the logging service is stopped, security events are not recorded. Stop it?")});
        QCOMPARE(root.commands().contains(QStringLiteral("sudo systemctl stop syslog-ng")), answer == QMessageBox::Yes);
        QTRY_COMPARE(statusLabel->text(), label);
    }

    void switchByButton_data()
    {
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<bool>("failStart");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("toolTip");

        const QString audit = QStringLiteral("auditd");
        const QString logging = QStringLiteral("syslog-ng");
        const QStringList statusQuery{QStringLiteral("sudo systemctl status syslog-ng"), QStringLiteral("sudo systemctl status auditd")};
        QTest::newRow("start-leaves-running-audit")
            << QStringList{audit} << false
            << (QStringList{QStringLiteral("sudo systemctl status auditd"), QStringLiteral("sudo systemctl start syslog-ng")} + statusQuery)
            << QStringLiteral("Logging service is running.") << QStringLiteral("auditd: on, syslog-ng: on");
        QTest::newRow("stop-leaves-audit-running") << QStringList{audit, logging} << false
                                                   << (QStringList{QStringLiteral("sudo systemctl stop syslog-ng")} + statusQuery)
                                                   << QStringLiteral("Logging service stopped.") << QStringLiteral("auditd: on, syslog-ng: off");
        QTest::newRow("failed-start") << QStringList{logging} << true
                                      << (QStringList{QStringLiteral("sudo systemctl status auditd"),
                                                      QStringLiteral("sudo systemctl start auditd"),
                                                      QStringLiteral("sudo systemctl start syslog-ng")}
                                          + statusQuery)
                                      << QStringLiteral("Logging and audit services stopped.") << QStringLiteral("auditd: off, syslog-ng: off");
    }

    void switchByButton()
    {
        QFETCH(QStringList, running);
        QFETCH(bool, failStart);
        QFETCH(QStringList, commands);
        QFETCH(QString, label);
        QFETCH(QString, toolTip);

        TestRoot root;
        root.setRunningUnits(running);
        MessageBoxWatcher watcher;
        QuorAdminEvents module(nullptr, {});
        auto *statusLabel = module.findChild<QLabel *>(QStringLiteral("sngStatusLabel"));
        auto *startStop = module.findChild<QPushButton *>(QStringLiteral("sngStartStopButton"));
        QTRY_VERIFY(startStop->isEnabled());
        root.clearCommands();
        // The question before a stop is answered Yes.
        watcher.queueAnswer(QMessageBox::Yes);
        if (failStart) {
            // syslog-ng died meanwhile: the line and the tool tip must tell.
            root.setRunningUnits({});
            TestRoot::setFakeVariable("QUOR_FAKE_FAIL_START", "1");
        }
        startStop->click();
        QVERIFY(!startStop->isEnabled());
        QTRY_VERIFY(startStop->isEnabled());
        TestRoot::setFakeVariable("QUOR_FAKE_FAIL_START", {});
        QStringList titles = watcher.titles();
        titles.removeAll(QStringLiteral("Stop logging service")); // asked, and answered Yes
        QCOMPARE(titles, failStart ? QStringList{QStringLiteral("Error")} : QStringList());
        QCOMPARE(root.commands(), commands);
        QCOMPARE(statusLabel->text(), label);
        QCOMPARE(statusLabel->toolTip(), toolTip);

        // The button now does the opposite, or the same again after a failure.
        root.clearCommands();
        startStop->click();
        QTRY_VERIFY(startStop->isEnabled());
        const bool shownRunning = label == QLatin1String("Logging service is running.");
        QCOMPARE(root.commands().first(), shownRunning ? QStringLiteral("sudo systemctl stop syslog-ng") : QStringLiteral("sudo systemctl status auditd"));
    }

    // The page opens at once although the status query hangs; an unanswered
    // query is no "stopped": the state is unknown, in no warning colour, and
    // the tool tip tells why.
    void hangingStatusQuery()
    {
        TestRoot root;
        root.setRunningUnits({QStringLiteral("syslog-ng"), QStringLiteral("auditd")});
        SngHandler::instance()->setTimeLimits(300, 300);
        TestRoot::setFakeVariable("QUOR_FAKE_HANG", "status auditd");
        QuorAdminEvents module(nullptr, {});
        auto *statusLabel = module.findChild<QLabel *>(QStringLiteral("sngStatusLabel"));
        auto *startStop = module.findChild<QPushButton *>(QStringLiteral("sngStartStopButton"));
        QCOMPARE(statusLabel->text(), QStringLiteral("Asking for the state of the logging service..."));
        QVERIFY(!startStop->isEnabled());
        QTRY_COMPARE(statusLabel->text(), QStringLiteral("Logging service status unknown"));
        TestRoot::setFakeVariable("QUOR_FAKE_HANG", {});
        SngHandler::instance()->setTimeLimits(10000, 120000);
        QCOMPARE(statusLabel->toolTip(),
                 QStringLiteral("auditd: no answer, syslog-ng: on\nThe command \"sudo systemctl status auditd\" did not answer within 1 seconds."));
        QCOMPARE(statusLabel->palette().color(QPalette::WindowText), module.palette().color(QPalette::WindowText));
        QVERIFY(startStop->isEnabled());
    }

    // While the page is shown it asks for the state every few seconds: a
    // service that stops behind its back shows within that time. A hidden page
    // asks nothing.
    void statusFollowsTheServices()
    {
        TestRoot root;
        // Shown for the first time, the page loads the settings.
        root.copySampleSystem();
        root.setRunningUnits({QStringLiteral("syslog-ng"), QStringLiteral("auditd")});
        QuorAdminEvents module(nullptr, {});
        auto *statusLabel = module.findChild<QLabel *>(QStringLiteral("sngStatusLabel"));
        module.show();
        QTRY_COMPARE(statusLabel->text(), QStringLiteral("Logging service is running."));
        // kill -9 of syslog-ng: nothing of the module's did it.
        root.setRunningUnits({QStringLiteral("auditd")});
        QElapsedTimer clock;
        clock.start();
        QTRY_COMPARE_WITH_TIMEOUT(statusLabel->text(), QStringLiteral("Logging service stopped."), QuorAdminEvents::StatusRefreshMs + 3000);
        QVERIFY(clock.elapsed() <= QuorAdminEvents::StatusRefreshMs + 3000);
        QCOMPARE(statusLabel->toolTip(), QStringLiteral("auditd: on, syslog-ng: off"));

        module.hide();
        QTest::qWait(500); // a query asked before is answered
        root.clearCommands();
        QTest::qWait(QuorAdminEvents::StatusRefreshMs + 500);
        QCOMPARE(root.commands(), QStringList());
    }

    // Closing the page while a restart hangs returns at once: the command is
    // killed and its result ignored.
    void closingDuringHungRestart()
    {
        TestRoot root;
        root.copySampleSystem();
        MessageBoxWatcher watcher;
        auto module = std::make_unique<QuorAdminEvents>(nullptr, QVariantList());
        module->load();
        auto *view = module->findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        const QModelIndexList found = view->model()->match(view->model()->index(0, 0),
                                                           CheckableTreeModel::IdRole,
                                                           QStringLiteral("package-updated"),
                                                           1,
                                                           Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        QVERIFY(view->model()->setData(found.first(), Qt::Checked, Qt::CheckStateRole));
        TestRoot::setFakeVariable("QUOR_FAKE_HANG", "reload syslog-ng");
        PageApply::run(*module);
        QTRY_VERIFY(!root.readFile(QStringLiteral("/test/commands.log.hung")).isEmpty());
        TestRoot::setFakeVariable("QUOR_FAKE_HANG", {});
        const pid_t hung = root.readFile(QStringLiteral("/test/commands.log.hung")).trimmed().toInt();
        QCOMPARE(::kill(hung, 0), 0);
        QElapsedTimer clock;
        clock.start();
        module.reset();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!SngHandler::instance()->busy());
        QTRY_VERIFY(::kill(hung, 0) != 0);
    }

    void failedSwitchIsReported_data()
    {
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<QByteArray>("failure"); // the environment variable of the fake sudo
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QStringList>("shown"); // parts of the error text
        QTest::addColumn<QString>("label");

        const QString audit = QStringLiteral("auditd");
        const QString logging = QStringLiteral("syslog-ng");
        QTest::newRow("start-fails") << QStringList{audit} << QByteArray("QUOR_FAKE_FAIL") << QByteArray("start syslog-ng")
                                     << QStringList{QStringLiteral("\"sudo systemctl start syslog-ng\" failed with exit code 1."),
                                                    QStringLiteral("Job for syslog-ng.service failed")}
                                     << QStringLiteral("Logging service stopped.");
        QTest::newRow("start-hangs") << QStringList{audit} << QByteArray("QUOR_FAKE_HANG") << QByteArray("start syslog-ng")
                                     << QStringList{QStringLiteral("\"sudo systemctl start syslog-ng\" did not answer within 1 seconds.")}
                                     << QStringLiteral("Logging service stopped.");
        QTest::newRow("stop-fails") << QStringList{audit, logging} << QByteArray("QUOR_FAKE_FAIL") << QByteArray("stop syslog-ng")
                                    << QStringList{QStringLiteral("\"sudo systemctl stop syslog-ng\" failed with exit code 1.")}
                                    << QStringLiteral("Logging service is running.");
        QTest::newRow("audit-start-fails") << QStringList() << QByteArray("QUOR_FAKE_FAIL") << QByteArray("start auditd")
                                           << QStringList{QStringLiteral("\"sudo systemctl start auditd\" failed with exit code 1.")}
                                           << QStringLiteral("Audit service (auditd) stopped.");
    }

    // A failed or hanging command is shown with what it printed; the status line
    // then tells what really runs and the page stays usable.
    void failedSwitchIsReported()
    {
        QFETCH(QStringList, running);
        QFETCH(QByteArray, failure);
        QFETCH(QByteArray, command);
        QFETCH(QStringList, shown);
        QFETCH(QString, label);

        TestRoot root;
        root.setRunningUnits(running);
        MessageBoxWatcher watcher;
        QuorAdminEvents module(nullptr, {});
        auto *statusLabel = module.findChild<QLabel *>(QStringLiteral("sngStatusLabel"));
        auto *startStop = module.findChild<QPushButton *>(QStringLiteral("sngStartStopButton"));
        QTRY_VERIFY(startStop->isEnabled());
        SngHandler::instance()->setTimeLimits(10000, 300);
        TestRoot::setFakeVariable(failure, command);
        const bool stopping = statusLabel->text() == QLatin1String("Logging service is running.");
        watcher.queueAnswer(QMessageBox::Yes); // the question before a stop
        startStop->click();
        const QStringList asked = stopping ? QStringList{QStringLiteral("Stop logging service")} : QStringList();
        QTRY_COMPARE(watcher.titles(), asked + QStringList{QStringLiteral("Error")});
        QTRY_VERIFY(startStop->isEnabled());
        TestRoot::setFakeVariable(failure, {});
        SngHandler::instance()->setTimeLimits(10000, 120000);
        for (const QString &part : shown) {
            QVERIFY2(watcher.texts().constLast().contains(part), qPrintable(watcher.texts().constLast()));
        }
        QCOMPARE(statusLabel->text(), label);
    }
};

QTEST_MAIN(QuorAdminEventsStatusTest)
#include "quoradmineventsstatustest.moc"
