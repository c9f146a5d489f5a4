#include "platform/paths.h"
#include "platform/process.h"
#include "testroot.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace
{
using Files = QMap<QString, QByteArray>;

const QString EventsFile = Paths::EventsFile;
const QString CommonFile = Paths::CommonSyslogNgFile;
const QString RotationFile = Paths::LogRotateFile;
const QString RulesFile = Paths::AuditRulesFile;
const QString NotifiedEvent = QString(Paths::PerEventFilePrefix) + QLatin1String("user-login.conf");
const QByteArray NotifiedEventText = "filter velta_user_login { match(\"user-login\" value(\"MSG.id\")); };\n";

// Every file of the system, snapshots apart: what an import may change.
Files systemFiles(const TestRoot &root)
{
    Files files;
    QDirIterator it(root.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next().mid(root.path().size());
        if (!name.startsWith(QLatin1String("/test/")) && !name.startsWith(Paths::SnapshotDir)) {
            files.insert(name, root.readFile(name));
        }
    }
    return files;
}
}

// The configuration manager's import, check, diff and snapshots, run for real
// with the real syslog-ng and logrotate on the sample system.
class ConfigImportTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRoot> m_root;
    int m_archives = 0;

    Process::Result runTool(const QStringList &arguments) const
    {
        return Process::run(m_root->placed(Paths::ConfigManagerTool), arguments, 60000, Process::Channels::Separate);
    }

    // An archive of the system's current files with the given ones replaced (an empty content drops the file).
    QString archiveOf(const Files &changes)
    {
        const QString source = QStringLiteral("/test/source%1").arg(++m_archives);
        const QStringList managed{EventsFile, RulesFile, CommonFile, RotationFile, QString(Paths::RootNotifyrc), NotifiedEvent};
        QStringList names;
        for (const QString &name : managed) {
            const QByteArray content = changes.contains(name) ? changes.value(name) : m_root->readFile(name);
            if (!content.isEmpty()) {
                m_root->writeFile(source + name, content);
                names << name.mid(1);
            }
        }
        const QString archive = m_root->placed(source + QLatin1String(".tar.gz"));
        const Process::Result tar =
            Process::run(QStringLiteral("tar"), QStringList{QStringLiteral("-czf"), archive, QStringLiteral("-C"), m_root->placed(source)} + names, 60000);
        return tar.exitCode == 0 ? archive : QString();
    }

    QStringList snapshotNames() const
    {
        return QDir(m_root->placed(Paths::SnapshotDir)).entryList(QDir::Files, QDir::Name);
    }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<TestRoot>();
        m_root->copySampleSystem();
        m_root->writeFile(NotifiedEvent, NotifiedEventText);
        const QString tool = m_root->placed(Paths::ConfigManagerTool);
        QVERIFY(QDir().mkpath(QFileInfo(tool).absolutePath()));
        QFile::remove(tool); // the test root installs it already
        QVERIFY(QFile::link(QStringLiteral(CONFIG_MANAGER_PATH), tool));
    }

    void cleanup()
    {
        m_root.reset();
    }

    void verbs_data()
    {
        QTest::addColumn<QStringList>("verb"); // the arguments before the archive
        QTest::addColumn<Files>("archive"); // the system's files with these changes
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("output"); // lines the standard output holds, in order
        QTest::addColumn<QStringList>("errors"); // texts the standard error holds
        QTest::addColumn<Files>("afterwards"); // files changed by the run

        const QByteArray events = "{\n\t\"user-login\" : { \"enabled\": \"1\" }\n}\n";
        const QByteArray broken = "destination velta_json_dst { file(\"/dorvex/log/velta/events\" };\n";
        const QByteArray badRotation = "/dorvex/log/velta/events {\n\trotate five\n\tmissingok\n}\n";
        const Files none;
        const Files changed{{EventsFile, events}, {NotifiedEvent, QByteArray()}};
        const QStringList check{QStringLiteral("--check")};
        const QStringList diff{QStringLiteral("--diff")};
        const QStringList import{QStringLiteral("--json"), QStringLiteral("-i")};
        const QStringList syslogNgRefusal{QStringLiteral("syslog-ng rejects"),
                                          QStringLiteral("/etc/syslog-ng/conf.d/mod-velta.conf:1:"),
                                          QStringLiteral("syntax error")};
        const QStringList logrotateRefusal{QStringLiteral("logrotate rejects"), QStringLiteral("/etc/logrotate.d/syslog-ng-mod-velta:2 bad rotation count")};
        const QStringList nothingChanged{QStringLiteral("{\"changed\":false,\"files\":[]}")};
        const QString refusedJson = QStringLiteral("{\"changed\":false,\"error\":\"syslog-ng rejects");

        QTest::newRow("check-accepted") << check << changed << 0 << QStringList() << QStringList() << none;
        QTest::newRow("check-syslog-ng-rejects") << check << Files{{CommonFile, broken}} << 1 << QStringList() << syslogNgRefusal << none;
        QTest::newRow("check-logrotate-rejects") << check << Files{{RotationFile, badRotation}} << 1 << QStringList() << logrotateRefusal << none;
        QTest::newRow("diff-nothing") << diff << none << 0 << QStringList() << QStringList() << none;
        QTest::newRow("diff-changes") << diff << changed << 3
                                      << QStringList{QStringLiteral("--- /etc/syslog-ng/conf.d/mod-velta-user-login.conf"),
                                                     QStringLiteral("+++ /dev/null"),
                                                     QLatin1Char('-') + QString::fromUtf8(NotifiedEventText).trimmed(),
                                                     QStringLiteral("--- /etc/velta-syslog.conf"),
                                                     QStringLiteral("+++ /etc/velta-syslog.conf"),
                                                     QStringLiteral("+\t\"user-login\" : { \"enabled\": \"1\" }")}
                                      << QStringList() << none;
        const QStringList diffJson{QStringLiteral("--json"), QStringLiteral("--diff")};
        QTest::newRow("diff-json-nothing") << diffJson << none << 0 << QStringList{QStringLiteral("{\"changes\":[],\"diff\":\"\"}")} << QStringList() << none;
        QTest::newRow("diff-json-changes") << diffJson << Files{{EventsFile, events}, {NotifiedEvent, QByteArray()}, {RulesFile, "-w /etc/passwd\n"}} << 3
                                           << QStringList{QStringLiteral(
                                                  "{\"changes\":[{\"change\":\"replaced\",\"path\":\"/etc/audit/rules.d/velta-syslog.rules\"},"
                                                  "{\"change\":\"removed\",\"path\":\"/etc/syslog-ng/conf.d/mod-velta-user-login.conf\"},"
                                                  "{\"change\":\"replaced\",\"path\":\"/etc/velta-syslog.conf\"}],"
                                                  "\"diff\":\"--- /etc/audit/rules.d/velta-syslog.rules\\n+++ /etc/audit/rules.d/velta-syslog.rules\\n")}
                                           << QStringList() << none;
        QTest::newRow("import-nothing") << import << none << 0 << nothingChanged << QStringList() << none;
        QTest::newRow("import-changes") << import << changed << 0
                                        << QStringList{QStringLiteral(
                                               "{\"changed\":true,\"files\":[\"/etc/syslog-ng/conf.d/mod-velta-user-login.conf\",\"/etc/velta-syslog.conf\"]}")}
                                        << QStringList() << changed;
        QTest::newRow("import-syslog-ng-rejects") << import << Files{{EventsFile, events}, {CommonFile, broken}} << 1 << QStringList{refusedJson}
                                                  << syslogNgRefusal << none;
    }

    void verbs()
    {
        QFETCH(QStringList, verb);
        QFETCH(Files, archive);
        QFETCH(int, exitCode);
        QFETCH(QStringList, output);
        QFETCH(QStringList, errors);
        QFETCH(Files, afterwards);
        const QString path = archiveOf(archive);
        QVERIFY(!path.isEmpty());
        Files expected = systemFiles(*m_root);
        for (auto it = afterwards.cbegin(); it != afterwards.cend(); ++it) {
            if (it.value().isEmpty()) {
                expected.remove(it.key());
            } else {
                expected.insert(it.key(), it.value());
            }
        }

        const Process::Result result = runTool(verb << path);
        QCOMPARE(result.exitCode, exitCode);
        const QString out = QString::fromUtf8(result.output);
        int from = 0;
        for (const QString &line : output) {
            from = out.indexOf(line, from);
            QVERIFY2(from >= 0, qPrintable(line + QLatin1String(" missing in:\n") + out));
        }
        QCOMPARE(out.isEmpty(), output.isEmpty());
        for (const QString &text : errors) {
            QVERIFY2(result.errorOutput.contains(text.toUtf8()), result.errorOutput.constData());
        }
        QCOMPARE(systemFiles(*m_root), expected);
        // A snapshot of the state before, only when an import changed something.
        QCOMPARE(snapshotNames().size(), afterwards.isEmpty() ? 0 : 1);
    }

    void restartIfChanged_data()
    {
        QTest::addColumn<Files>("archive");
        QTest::addColumn<bool>("failRestart");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("restarted"); // the summary's "restarted" as JSON, or empty when absent
        QTest::addColumn<QStringList>("commands");

        const QString restartSyslogNg = QStringLiteral("sudo systemctl restart syslog-ng");
        const QString restartAuditd = QStringLiteral("sudo systemctl restart auditd");
        const Files events{{EventsFile, "{\n}\n"}};
        QTest::newRow("nothing-changed") << Files() << false << 0 << QString() << QStringList();
        QTest::newRow("rotation-only") << Files{{RotationFile, "/dorvex/log/velta/events {\n\tmissingok\n}\n"}} << false << 0 << QString() << QStringList();
        QTest::newRow("events") << events << false << 0 << QStringLiteral("{\"syslog-ng\":\"ok\"}") << QStringList{restartSyslogNg};
        QTest::newRow("audit-rules") << Files{{RulesFile, "-w /etc/passwd -p wa -k velta\n"}} << false << 0 << QStringLiteral("{\"auditd\":\"ok\"}")
                                     << QStringList{restartAuditd};
        // Refused at the restart: the snapshot before the import goes back, and syslog-ng is restarted once more.
        QTest::newRow("restart-fails") << events << true << 1 << QStringLiteral("{\"syslog-ng\":\"failed: exit status 1\"}")
                                       << QStringList{restartSyslogNg, restartSyslogNg};
    }

    void restartIfChanged()
    {
        QFETCH(Files, archive);
        QFETCH(bool, failRestart);
        QFETCH(int, exitCode);
        QFETCH(QString, restarted);
        QFETCH(QStringList, commands);
        m_root->writeFile(RulesFile, "-w /etc/shadow -p wa -k velta\n");
        const QString path = archiveOf(archive);
        QVERIFY(!path.isEmpty());
        if (failRestart) {
            qputenv("QUOR_FAKE_FAIL_START", "1");
        }
        const Process::Result result = runTool({QStringLiteral("-i"), path, QStringLiteral("--json"), QStringLiteral("--restart-if-changed")});
        qunsetenv("QUOR_FAKE_FAIL_START");
        QCOMPARE(result.exitCode, exitCode);
        const QJsonObject summary = QJsonDocument::fromJson(result.output).object();
        QCOMPARE(summary.value(QStringLiteral("changed")).toBool(), !archive.isEmpty());
        QCOMPARE(QString::fromUtf8(QJsonDocument(summary.value(QStringLiteral("restarted")).toObject()).toJson(QJsonDocument::Compact)),
                 restarted.isEmpty() ? QStringLiteral("{}") : restarted);
        QCOMPARE(summary.contains(QStringLiteral("restarted")), !restarted.isEmpty());
        QCOMPARE(m_root->commands(), commands);
    }

    void lastTenSnapshotsKept()
    {
        for (int i = 0; i < 12; ++i) {
            m_root->writeFile(EventsFile, QByteArray::number(i) + '\n');
            QCOMPARE(runTool({QStringLiteral("--snapshot")}).exitCode, 0);
        }
        // The same files again make no new snapshot.
        QCOMPARE(runTool({QStringLiteral("--snapshot")}).exitCode, 0);
        const QStringList taken = snapshotNames();
        QCOMPARE(taken.size(), 10);

        // Listed oldest first: name, time taken, the files that differ from now.
        const QStringList lines = QString::fromUtf8(runTool({QStringLiteral("--list-snapshots")}).output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 10);
        const QStringList oldest = lines.constFirst().split(QLatin1Char('\t'));
        QCOMPARE(oldest.size(), 3);
        QCOMPARE(oldest.at(0), taken.constFirst());
        QVERIFY(QDateTime::fromString(oldest.at(1), Qt::ISODate).isValid());
        QCOMPARE(oldest.at(2), EventsFile);
        QCOMPARE(lines.constLast().split(QLatin1Char('\t')).value(2), QString());

        // The oldest kept holds the third state.
        QCOMPARE(runTool({QStringLiteral("--restore"), taken.constFirst()}).exitCode, 0);
        QCOMPARE(m_root->readFile(EventsFile), QByteArray("2\n"));
        QCOMPARE(runTool({QStringLiteral("--restore"), QStringLiteral("../../etc/velta-syslog.conf")}).exitCode, 1);
    }
};

QTEST_GUILESS_MAIN(ConfigImportTest)
#include "configimporttest.moc"
