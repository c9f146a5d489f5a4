#include "messageboxwatcher.h"
#include "plugin/quoradminevents.h"
#include "testroot.h"

#include <KColorScheme>

#include <QLabel>
#include <QPushButton>
#include <QTest>

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
        const QString stopped = QStringLiteral("Logging service stopped.");
        const QString start = QStringLiteral("Start logging service");
        // Rows that show "stopped" follow one that shows "running": every new page
        // must show its state although the stored state starts as "stopped".
        QTest::newRow("both") << QStringList{audit, logging} << QStringLiteral("Logging service is running.") << QStringLiteral("Stop logging service")
                              << QStringLiteral("auditd: on, syslog-ng: on");
        QTest::newRow("none") << QStringList() << stopped << start << QStringLiteral("auditd: off, syslog-ng: off");
        QTest::newRow("audit-only") << QStringList{audit} << stopped << start << QStringLiteral("auditd: on, syslog-ng: off");
        QTest::newRow("logging-only") << QStringList{logging} << stopped << start << QStringLiteral("auditd: off, syslog-ng: on");
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
        QCOMPARE(statusLabel->text(), label);
        QCOMPARE(statusLabel->toolTip(), toolTip);
        QCOMPARE(startStop->text(), button);
        QVERIFY(startStop->isEnabled());
        const QColor warning = KColorScheme(QPalette::Active, KColorScheme::Window).foreground(KColorScheme::NegativeText).color();
        QCOMPARE(statusLabel->palette().color(QPalette::WindowText) == warning, label == QLatin1String("Logging service stopped."));
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
                                      << QStringLiteral("Logging service stopped.") << QStringLiteral("auditd: off, syslog-ng: off");
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
        QuorAdminEvents module(nullptr, {});
        auto *statusLabel = module.findChild<QLabel *>(QStringLiteral("sngStatusLabel"));
        auto *startStop = module.findChild<QPushButton *>(QStringLiteral("sngStartStopButton"));
        root.clearCommands();
        MessageBoxWatcher watcher; // the question before a stop
        watcher.queueAnswer(QMessageBox::Yes);
        if (failStart) {
            // syslog-ng died meanwhile: the tool tip must tell, though the line stays.
            root.setRunningUnits({});
            qputenv("QUOR_FAKE_FAIL_START", "1");
        }
        startStop->click();
        QVERIFY(!startStop->isEnabled());
        QTRY_VERIFY(startStop->isEnabled());
        qunsetenv("QUOR_FAKE_FAIL_START");
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
};

QTEST_MAIN(QuorAdminEventsStatusTest)
#include "quoradmineventsstatustest.moc"
