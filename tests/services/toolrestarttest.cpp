#include "platform/paths.h"
#include "platform/process.h"
#include "testroot.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

// "velta-event-config-manager -i ARCHIVE --restart-if-changed" never leaves
// logging down: when syslog-ng refuses the imported files at its restart, the
// snapshot taken before the import is put back and syslog-ng restarted again.
class ToolRestartTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void importRestart_data()
    {
        QTest::addColumn<bool>("loggingRuns");
        QTest::addColumn<QByteArray>("failure"); // the fake sudo's variable, empty for none
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("restarts");
        QTest::addColumn<bool>("imported"); // the archive's files are in place afterwards
        QTest::addColumn<QString>("said"); // on standard error
        QTest::addColumn<QString>("summaryKey"); // in the JSON summary

        const QString logging = QStringLiteral("sudo systemctl restart syslog-ng");
        const QString reload = QStringLiteral("sudo syslog-ng-ctl reload");
        const QString audit = QStringLiteral("sudo systemctl restart auditd");
        QTest::newRow("reloaded") << true << QByteArray() << 0 << QStringList{reload, audit} << true << QString() << QStringLiteral("reloaded");
        QTest::newRow("restarted") << false << QByteArray() << 0 << QStringList{logging, audit} << true << QString() << QStringLiteral("restarted");
        QTest::newRow("reload-refused") << true << QByteArray("QUOR_FAKE_FAIL_ONCE") << 1 << QStringList{reload, reload} << false
                                        << QStringLiteral(
                                               "syslog-ng refused the new configuration and kept running with the previous one, whose files are back")
                                        << QStringLiteral("rolledBack");
        QTest::newRow("refused-once") << false << QByteArray("QUOR_FAKE_FAIL_ONCE") << 1 << QStringList{logging, logging} << false
                                      << QStringLiteral("syslog-ng refused the new configuration and was restarted with the previous one (snapshot ")
                                      << QStringLiteral("rolledBack");
        QTest::newRow("refused-with-previous-too") << false << QByteArray("QUOR_FAKE_FAIL") << 1 << QStringList{logging, logging} << false
                                                   << QStringLiteral("logging is stopped") << QStringLiteral("loggingStopped");
    }

    void importRestart()
    {
        QFETCH(bool, loggingRuns);
        QFETCH(QByteArray, failure);
        QFETCH(int, exitCode);
        QFETCH(QStringList, restarts);
        QFETCH(bool, imported);
        QFETCH(QString, said);
        QFETCH(QString, summaryKey);

        TestRoot root;
        root.copySampleSystem();
        root.writeFile(Paths::AuditDaemon, ""); // auditd is restarted only where it is installed
        const QString tool = root.placed(Paths::ConfigManagerTool);
        const QString archive = root.placed(QStringLiteral("/test/new.tar.gz"));
        // The archive: the sample with a changed common file and audit rules.
        const QByteArray common = root.readFile(Paths::CommonSyslogNgFile);
        const QByteArray rules = root.readFile(Paths::AuditRulesFile);
        root.writeFile(Paths::CommonSyslogNgFile, common + "# imported\n");
        root.writeFile(Paths::AuditRulesFile, rules + "# imported\n");
        QCOMPARE(Process::run(tool, {QStringLiteral("-o"), archive}, 60000).exitCode, 0);
        root.writeFile(Paths::CommonSyslogNgFile, common);
        root.writeFile(Paths::AuditRulesFile, rules);
        root.clearCommands();
        if (!loggingRuns) {
            root.setRunningUnits({QStringLiteral("auditd")});
        }

        if (!failure.isEmpty()) {
            TestRoot::setFakeVariable(failure, loggingRuns ? "reload syslog-ng" : "restart syslog-ng");
        }
        const Process::Result run = Process::run(tool,
                                                 {QStringLiteral("-i"), archive, QStringLiteral("--json"), QStringLiteral("--restart-if-changed")},
                                                 60000,
                                                 Process::Channels::Separate);
        if (!failure.isEmpty()) {
            TestRoot::setFakeVariable(failure, {});
        }
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.errorOutput.contains(said.toUtf8()), run.errorOutput.constData());
        const QJsonObject summary = QJsonDocument::fromJson(run.output).object();
        QVERIFY2(summary.contains(summaryKey), run.output.constData());
        QCOMPARE(root.commands().filter(QRegularExpression(QStringLiteral("systemctl restart|syslog-ng-ctl reload"))), restarts);
        QCOMPARE(root.readFile(Paths::CommonSyslogNgFile), imported ? common + "# imported\n" : common);
        QCOMPARE(root.readFile(Paths::AuditRulesFile), imported ? rules + "# imported\n" : rules);
        if (failure == "QUOR_FAKE_FAIL_ONCE") {
            // The applied record names the archive only when its change stayed.
            const QJsonObject status =
                QJsonDocument::fromJson(Process::run(tool, {QStringLiteral("--status"), QStringLiteral("--json")}, 60000).output).object();
            QCOMPARE(status.value(QStringLiteral("drift")).toArray(), QJsonArray());
            QVERIFY(root.runningUnits().contains(QStringLiteral("syslog-ng")));
            // The refused configuration is kept as no snapshot: the newest is the one before the import.
            const Process::Result list = Process::run(tool, {QStringLiteral("--list-snapshots")}, 60000);
            QCOMPARE(list.output.count('\n'), 1);
            QVERIFY2(list.output.contains(summary.value(summaryKey).toString().toUtf8()), list.output.constData());
        }
    }

    // What the module runs after a restart that failed: the files of the
    // snapshot, back as they were, without a new snapshot.
    void rollBack()
    {
        TestRoot root;
        root.copySampleSystem();
        const QString tool = root.placed(Paths::ConfigManagerTool);
        const Process::Result taken = Process::run(tool, {QStringLiteral("--snapshot")}, 60000, Process::Channels::Separate);
        QCOMPARE(taken.exitCode, 0);
        const QString name = QString::fromUtf8(taken.output).trimmed();
        QVERIFY(name.endsWith(QLatin1String(".tar.gz")));
        // Taken again without a change: the same snapshot.
        QCOMPARE(QString::fromUtf8(Process::run(tool, {QStringLiteral("--snapshot")}, 60000, Process::Channels::Separate).output).trimmed(), name);

        const QByteArray common = root.readFile(Paths::CommonSyslogNgFile);
        root.writeFile(Paths::CommonSyslogNgFile, "log { destination(broken); };\n");
        root.writeFile(QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-added.conf"), "# added by the change\n");
        QCOMPARE(Process::run(tool, {QStringLiteral("--roll-back"), name}, 60000).exitCode, 0);
        QCOMPARE(root.readFile(Paths::CommonSyslogNgFile), common);
        QVERIFY(!root.exists(QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-added.conf")));
        QCOMPARE(QDir(root.placed(Paths::SnapshotDir)).entryList(QDir::Files), QStringList{name});

        const Process::Result unknown = Process::run(tool, {QStringLiteral("--roll-back"), QStringLiteral("nothing")}, 60000, Process::Channels::Separate);
        QCOMPARE(unknown.exitCode, 1);
        QVERIFY2(unknown.errorOutput.contains("nothing: no such snapshot"), unknown.errorOutput.constData());
    }
};

QTEST_GUILESS_MAIN(ToolRestartTest)
#include "toolrestarttest.moc"
