#include "platform/fileread.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "referencemachine.h"
#include "testroot.h"
#include "watchedchild.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <unistd.h>

namespace
{
using Files = QMap<QString, QByteArray>;

const QString EventsFile = Paths::EventsFile;
const QString CommonFile = Paths::CommonSyslogNgFile;
const QString RotationFile = Paths::LogRotateFile;
const QString RulesFile = Paths::AuditRulesFile;
const QString NotifiedEvent = QString(Paths::PerEventFilePrefix) + QLatin1String("user-login.conf");
const QByteArray NotifiedEventText = "filter velta_user_login { match(\"user-login\" value(\"MSG.id\")); };\n";

// Every file of the system, snapshots and the applied record apart: what an import may change.
Files systemFiles(const TestRoot &root)
{
    Files files;
    QDirIterator it(root.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next().mid(root.path().size());
        if (!name.startsWith(QLatin1String("/test/")) && !name.startsWith(Paths::SnapshotDir) && name != Paths::AppliedRecordFile) {
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

    // An archive of the system's current files with the given ones replaced
    // (an empty content drops the file), exported by a trusted reference machine.
    QString archiveOf(const Files &changes)
    {
        const QStringList managed{EventsFile, RulesFile, CommonFile, RotationFile, QString(Paths::RootNotifyrc), NotifiedEvent};
        Files files;
        for (const QString &name : managed) {
            const QByteArray content = changes.contains(name) ? changes.value(name) : m_root->readFile(name);
            if (!content.isEmpty()) {
                files.insert(name, content);
            }
        }
        const QString archive = QStringLiteral("/test/source%1.tar.gz").arg(++m_archives);
        const ReferenceMachine reference(*m_root);
        const bool trusted = !reference.publicKey().isEmpty();
        if (!reference.exportFiles(files, archive)) {
            return QString();
        }
        if (!trusted) {
            reference.trust();
        }
        return m_root->placed(archive);
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
        // Accepted as statements this system writes, refused by syslog-ng's grammar (the ";" after the driver).
        const QByteArray broken = "destination velta_json_dst { file(\"/dorvex/log/velta/events\") };\n";
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
        // The sample with destinations of each kind as the module writes them, and a notification file.
        QFile sample(QStringLiteral(QUOR_DATA_DIR "/root") + CommonFile);
        QVERIFY(sample.open(QIODevice::ReadOnly));
        const QByteArray withDestinations = sample.readAll()
            + "\ndestination velta_copy_dst {\n    file(\"/var/log/velta/copy\" template(velta_json_line) create-dirs(yes));\n};\n"
              "\ndestination velta_udp_dst {\n    network(\"2001:db8::10\" port(514) transport(udp) flags(syslog-protocol));\n};\n"
              "\nlog {\n    source(velta_events_src);\n    destination(velta_copy_dst);\n    destination(velta_udp_dst);\n};\n";
        QTest::newRow("check-module-destinations-accepted") << check << Files{{CommonFile, withDestinations}} << 0 << QStringList() << QStringList() << none;
        QTest::newRow("check-syslog-ng-rejects") << check << Files{{CommonFile, broken}} << 1 << QStringList() << syslogNgRefusal << none;
        QTest::newRow("check-logrotate-rejects") << check << Files{{RotationFile, badRotation}} << 1 << QStringList() << logrotateRefusal << none;
        // The files the module reads itself must be readable whole; every verb checks first.
        const auto unreadable = [](const QString &reason) {
            return QStringList{QStringLiteral("cannot be read whole"), reason};
        };
        QTest::newRow("check-settings-truncated") << check << Files{{EventsFile, events.left(20)}} << 1 << QStringList()
                                                  << unreadable(QStringLiteral("/etc/velta-syslog.conf: not valid JSON")) << none;
        // Refused for the reasons the page gives when it calls the file damaged.
        QTest::newRow("check-settings-event-not-object") << check << Files{{EventsFile, "{ \"user-login\": \"1\" }\n"}} << 1 << QStringList()
                                                         << unreadable(QStringLiteral("event \"user-login\": a string where an object is expected")) << none;
        QTest::newRow("check-settings-wrong-type")
            << check << Files{{EventsFile, "{ \"user-login\": { \"enabled\": [1] } }\n"}} << 1 << QStringList()
            << unreadable(QStringLiteral("/etc/velta-syslog.conf: event \"user-login\", key \"enabled\": an array where a number or a string is expected"))
            << none;
        QTest::newRow("check-settings-flag-read-by-meaning")
            << check << Files{{EventsFile, "{ \"user-login\": { \"enabled\": true } }\n"}} << 1 << QStringList()
            << unreadable(QStringLiteral("a boolean where a number or a string is expected; read as \"1\"")) << none;
        QTest::newRow("check-settings-duplicate-event")
            << check << Files{{EventsFile, "{ \"user-login\": { \"enabled\": \"1\" },\n  \"user-login\": { \"enabled\": \"0\" } }\n"}} << 1 << QStringList()
            << unreadable(QStringLiteral("/etc/velta-syslog.conf: key \"user-login\" is given more than once")) << none;
        QTest::newRow("import-settings-duplicate-key") << import << Files{{EventsFile, "{ \"user-login\": { \"enabled\": \"1\", \"enabled\": \"0\" } }\n"}} << 1
                                                       << QStringList{QStringLiteral("{\"changed\":false,\"error\":\"The archive's files cannot be read whole")}
                                                       << unreadable(QStringLiteral("key \"user-login/enabled\" is given more than once")) << none;
        QTest::newRow("check-settings-not-utf8") << check << Files{{EventsFile, "{ \"user-login\": { \"path\": \"\xff\" } }\n"}} << 1 << QStringList()
                                                 << unreadable(QStringLiteral("/etc/velta-syslog.conf:")) << none;
        QTest::newRow("check-audit-rules-garbage") << check << Files{{RulesFile, "-w /etc/shadow -p wa\n\x01garbage\n"}} << 1 << QStringList()
                                                   << unreadable(QStringLiteral("/etc/audit/rules.d/velta-syslog.rules: line 2: an audit rule expected"))
                                                   << none;
        QTest::newRow("check-notifyrc-garbage") << check << Files{{QString(Paths::RootNotifyrc), "[Event/a]\nAction=Popup\nwhat is this\n"}} << 1
                                                << QStringList() << unreadable(QStringLiteral("velta-event-watcher.notifyrc: line 3")) << none;
        QTest::newRow("import-settings-truncated") << import << Files{{EventsFile, events.left(20)}} << 1
                                                   << QStringList{QStringLiteral("{\"changed\":false,\"error\":\"The archive's files cannot be read whole")}
                                                   << unreadable(QStringLiteral("not valid JSON")) << none;
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
        QTest::newRow("diff-json-nothing") << diffJson << none << 0 << QStringList{QStringLiteral("{\"changes\":[],\"diff\":\"\",\"signer\":\"root@")}
                                           << QStringList() << none;
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

    // syslog-ng files of configuration this system never writes are refused
    // by every verb before syslog-ng reads them: no code of theirs runs.
    void hostileSyslogNg_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("text"); // "MARKER" stands for a path that must never be created
        QTest::addColumn<QString>("refusal");

        const QByteArray use = "\nlog { source(velta_events_src); destination(d); };\n";
        QTest::newRow("python-block") << NotifiedEvent << QByteArray("python {\nimport os; open(\"MARKER\", \"w\")\n};\n")
                                      << QStringLiteral("mod-velta-user-login.conf:1: python: python code is not accepted");
        QTest::newRow("program") << CommonFile << QByteArray("destination d { program(\"touch MARKER\"); };") + use
                                 << QStringLiteral("mod-velta.conf:1: destination d: the driver \"program\" is not accepted in a destination statement");
        QTest::newRow("pipe") << NotifiedEvent << QByteArray("# a pipe\ndestination d { pipe(\"MARKER\"); };") + use
                              << QStringLiteral("mod-velta-user-login.conf:2: destination d: the driver \"pipe\"");
        QTest::newRow("include-outside") << NotifiedEvent << QByteArray("@include \"/tmp/x\"\n")
                                         << QStringLiteral("mod-velta-user-login.conf:1: @include: @include of /tmp/x is not accepted");
        QTest::newRow("include-climbs-out") << NotifiedEvent << QByteArray("@include \"/etc/syslog-ng/../../tmp/x\"\n")
                                            << QStringLiteral("@include of /etc/syslog-ng/../../tmp/x is not accepted");
        QTest::newRow("unknown-driver") << CommonFile << QByteArray("destination d { velta-unknown(\"x\"); };") + use
                                        << QStringLiteral("the driver \"velta-unknown\" is not accepted");
        QTest::newRow("other-python-class") << NotifiedEvent << QByteArray("destination d { python(class(\"os.system\")); };") + use
                                            << QStringLiteral("the python destination may name only the class");
        QTest::newRow("python-loader") << NotifiedEvent
                                       << QByteArray(
                                              "destination d { python(class(\"syslog_ng_mod_velta.velta_syslog_ng_destination.VeltaSyslogNgDestination\") "
                                              "loaders(\"MARKER\")); };")
                + use << QStringLiteral("the option loaders() of python() is not accepted");
        QTest::newRow("backtick") << CommonFile << QByteArray("@define d program\ndestination d { `d`(\"touch MARKER\"); };") + use
                                  << QStringLiteral("mod-velta.conf:2: backtick substitution is not accepted");
        QTest::newRow("python-template") << CommonFile << QByteArray("template t { template(\"$(python os.system MARKER)\"); };\n")
                                         << QStringLiteral("the template function \"python\" is not accepted");
        QTest::newRow("module") << CommonFile << QByteArray("@module velta-unknown\n") << QStringLiteral("@module velta-unknown is not accepted");
        // Each class of what passed the earlier text check: a glob that climbs out,
        // escaped template functions, drivers that write or read anywhere, deep nesting.
        QTest::newRow("include-glob-climbs-out") << NotifiedEvent << QByteArray("@include \"/etc/syslog-ng/.[.]/.[.]/test/MARKER\"\n")
                                                 << QStringLiteral("mod-velta-user-login.conf:1: @include: @include of /etc/syslog-ng/.[.]/.[.]/test/");
        QTest::newRow("include-relative") << NotifiedEvent << QByteArray("@include \"conf.d/mod-velta.conf\"\n")
                                          << QStringLiteral("@include of conf.d/mod-velta.conf is not accepted");
        for (const QByteArray &escaped : {QByteArray("$\\(python"), QByteArray("\\x24(python"), QByteArray("$(pyt\\hon")}) {
            QTest::addRow("template-%s", escaped.constData())
                << CommonFile << "destination d { file(\"/var/log/x\" template(\"" + escaped + " os.system('touch MARKER')\")); };" + use
                << QStringLiteral("mod-velta.conf:1: destination d: the template function \"python\" is not accepted");
        }
        QTest::newRow("file-anywhere") << CommonFile
                                       << QByteArray("destination d { file(\"/etc/cron.d/x\" owner(\"root\") create-dirs(yes) dir-perm(0777)); };") + use
                                       << QStringLiteral("destination d: file(): a file destination must name a file under /var/log");
        QTest::newRow("file-symlink-as") << CommonFile << QByteArray("destination d { file(\"/var/log/x\" symlink-as(\"MARKER\")); };") + use
                                         << QStringLiteral("destination d: the option symlink-as() of file() is not accepted");
        QTest::newRow("socket-for-everyone") << CommonFile << QByteArray("source s { unix-dgram(\"MARKER\" perm(0666)); };\nlog { source(s); };\n")
                                             << QStringLiteral("source s: unix-dgram(): the only source accepted is the events socket");
        QTest::newRow("shadow-forwarded") << CommonFile
                                          << QByteArray("source s { file(\"/etc/shadow\"); };\nlog { source(s); destination { network(\"192.0.2.1\"); }; };\n")
                                          << QStringLiteral("source s: the driver \"file\" is not accepted in a source statement");
        QTest::newRow("in-list") << CommonFile << QByteArray("filter f { in-list(\"/etc/shadow\" value(\"HOST\")); };\n")
                                 << QStringLiteral("filter f: the filter function \"in-list\" is not accepted");
        QTest::newRow("define") << CommonFile << QByteArray("@define d \"x\"\n") << QStringLiteral("mod-velta.conf:1: @define: @define is not accepted");
        QTest::newRow("block") << CommonFile << QByteArray("block root b() {\npython { open(\"MARKER\", \"w\") };\n};\nb();\n")
                               << QStringLiteral("mod-velta.conf:1: block b: block definitions are not accepted");
        QTest::newRow("deep-nesting") << CommonFile << "filter f { " + QByteArray(100000, '(') + "level(info)" + QByteArray(100000, ')') + "; };\n"
                                      << QStringLiteral("mod-velta.conf:1: filter f: parentheses and braces are nested more than 100 deep");
    }

    void hostileSyslogNg()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, text);
        QFETCH(QString, refusal);
        const QString marker = m_root->placed(QStringLiteral("/test/marker"));
        const QString path = archiveOf({{file, text.replace("MARKER", marker.toUtf8())}});
        QVERIFY(!path.isEmpty());
        const Files before = systemFiles(*m_root);
        const QList<QStringList> verbs{{QStringLiteral("--check")}, {QStringLiteral("--diff")}, {QStringLiteral("-i")}};
        for (const QStringList &verb : verbs) {
            const Process::Result result = runTool(verb + QStringList{path});
            QCOMPARE(result.exitCode, 1);
            QVERIFY2(result.output.isEmpty(), result.output.constData());
            QVERIFY2(result.errorOutput.contains(refusal.toUtf8()), result.errorOutput.constData());
            QVERIFY(!QFileInfo::exists(marker));
            QCOMPARE(systemFiles(*m_root), before);
            QCOMPARE(snapshotNames(), QStringList());
        }
    }

    // A snapshot is root's own copy of what the system ran: what the
    // administrator wrote by hand comes back with it.
    void snapshotOfHandWrittenConfigurationRestores()
    {
        const QByteArray handWritten = m_root->readFile(CommonFile)
            + "\ndestination velta_pager { program(\"/bin/cat\"); };\nlog { source(velta_events_src); destination(velta_pager); };\n";
        m_root->writeFile(CommonFile, handWritten);
        QCOMPARE(runTool({QStringLiteral("--snapshot")}).exitCode, 0);
        m_root->writeFile(EventsFile, "{\n}\n");
        m_root->writeFile(CommonFile, "");
        const Process::Result restored = runTool({QStringLiteral("--restore"), snapshotNames().constFirst()});
        QVERIFY2(restored.exitCode == 0, restored.errorOutput.constData());
        QCOMPARE(m_root->readFile(CommonFile), handWritten);
    }

    // A settings file the page reads whole is kept in a snapshot whole, also
    // one beyond what an event's own file may hold.
    void largeSettingsFileSnapshotted()
    {
        QByteArray large = "{\n";
        // Room for all of it first: each += of a built line reserves only what it needs.
        large.reserve(7 * 1024 * 1024);
        for (int i = 0; large.size() < 6 * 1024 * 1024; ++i) {
            large += "\t\"event-" + QByteArray::number(i) + "\" : { \"enabled\": \"1\", \"path\": \"/var/log/" + QByteArray(64, 'x') + "\" },\n";
        }
        large += "\t\"last\" : { \"enabled\": \"0\" }\n}\n";
        QVERIFY(large.size() > FileRead::SmallFileLimit && large.size() < FileRead::ConfigLimit);
        m_root->writeFile(EventsFile, large);
        const Process::Result taken = runTool({QStringLiteral("--snapshot")});
        QVERIFY2(taken.exitCode == 0, taken.errorOutput.constData());
        QCOMPARE(snapshotNames().size(), 1);
        m_root->writeFile(EventsFile, "{\n}\n");
        const Process::Result restored = runTool({QStringLiteral("--restore"), snapshotNames().constFirst()});
        QVERIFY2(restored.exitCode == 0, restored.errorOutput.constData());
        QVERIFY(m_root->readFile(EventsFile) == large);
    }

    // An archive is read from where it is named, never through a link; an
    // export to a name at the file system's limit works.
    void archiveNames()
    {
        const QString archive = m_root->placed(QStringLiteral("/test/out.tar.gz"));
        QCOMPARE(runTool({QStringLiteral("-o"), archive}).exitCode, 0);
        const QString link = m_root->placed(QStringLiteral("/test/link.tar.gz"));
        QVERIFY(QFile::link(archive, link));
        const Process::Result read = runTool({QStringLiteral("--check"), link});
        QCOMPARE(read.exitCode, 1);
        QVERIFY2(read.errorOutput.contains("link.tar.gz: a symbolic link"), read.errorOutput.constData());
        // A name at the limit of the file system is written through a temporary that fits.
        const QString longName = m_root->placed(QStringLiteral("/test/") + QString(248, QLatin1Char('a')) + QStringLiteral(".tar.gz"));
        const Process::Result exported = runTool({QStringLiteral("-o"), longName});
        QVERIFY2(exported.exitCode == 0, exported.errorOutput.constData());
        QVERIFY(QFileInfo(longName).isFile());
    }

    // A snapshot folder that is not root's own is neither written nor read.
    void foreignSnapshotFolderRefused()
    {
        const QString folder = m_root->placed(Paths::SnapshotDir);
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
        m_root->writeFile(EventsFile, "{\n}\n");
        const Process::Result taken = runTool({QStringLiteral("--snapshot")});
        QCOMPARE(taken.exitCode, 1);
        QVERIFY2(taken.errorOutput.contains("belongs to another user (uid 65534)"), taken.errorOutput.constData());
        QCOMPARE(snapshotNames(), QStringList());
    }

    void restartIfChanged_data()
    {
        QTest::addColumn<Files>("archive");
        QTest::addColumn<bool>("failRestart");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("restarted"); // the summary's "restarted" as JSON, or empty when absent
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<bool>("auditdInstalled");

        const QString restartSyslogNg = QStringLiteral("sudo systemctl restart syslog-ng");
        const QString statusSyslogNg = QStringLiteral("sudo systemctl status syslog-ng");
        const QString restartAuditd = QStringLiteral("sudo systemctl restart auditd");
        const Files events{{EventsFile, "{\n}\n"}};
        const Files rules{{RulesFile, "-w /etc/passwd -p wa -k velta\n"}};
        QTest::newRow("nothing-changed") << Files() << false << 0 << QString() << QStringList() << true;
        QTest::newRow("rotation-only") << Files{{RotationFile, "/dorvex/log/velta/events {\n\tmissingok\n}\n"}} << false << 0 << QString() << QStringList()
                                       << true;
        // A running syslog-ng reloads its files.
        QTest::newRow("events") << events << false << 0 << QStringLiteral("{\"syslog-ng\":\"ok\"}")
                                << QStringList{statusSyslogNg, QStringLiteral("sudo syslog-ng-ctl reload")} << true;
        QTest::newRow("audit-rules") << rules << false << 0 << QStringLiteral("{\"auditd\":\"ok\"}") << QStringList{restartAuditd} << true;
        // auditd is only recommended: without it there is nothing to restart.
        QTest::newRow("audit-rules-without-auditd") << rules << false << 0 << QString() << QStringList() << false;
        // Refused at the restart of a syslog-ng that did not run: the snapshot
        // before the import goes back, and syslog-ng is restarted once more.
        QTest::newRow("restart-fails") << events << true << 1 << QStringLiteral("{\"syslog-ng\":\"failed: exit status 1\"}")
                                       << QStringList{statusSyslogNg, restartSyslogNg, statusSyslogNg, restartSyslogNg} << true;
    }

    void restartIfChanged()
    {
        QFETCH(Files, archive);
        QFETCH(bool, failRestart);
        QFETCH(int, exitCode);
        QFETCH(QString, restarted);
        QFETCH(QStringList, commands);
        QFETCH(bool, auditdInstalled);
        if (auditdInstalled) {
            m_root->writeFile(Paths::AuditDaemon, "");
        }
        m_root->writeFile(RulesFile, "-w /etc/shadow -p wa -k velta\n");
        const QString path = archiveOf(archive);
        QVERIFY(!path.isEmpty());
        if (failRestart) {
            m_root->setRunningUnits({QStringLiteral("auditd")});
            TestRoot::setFakeVariable("QUOR_FAKE_FAIL_START", "1");
        }
        const Process::Result result = runTool({QStringLiteral("-i"), path, QStringLiteral("--json"), QStringLiteral("--restart-if-changed")});
        TestRoot::setFakeVariable("QUOR_FAKE_FAIL_START", {});
        QCOMPARE(result.exitCode, exitCode);
        const QJsonObject summary = QJsonDocument::fromJson(result.output).object();
        QCOMPARE(summary.value(QStringLiteral("changed")).toBool(), !archive.isEmpty());
        QCOMPARE(QString::fromUtf8(QJsonDocument(summary.value(QStringLiteral("restarted")).toObject()).toJson(QJsonDocument::Compact)),
                 restarted.isEmpty() ? QStringLiteral("{}") : restarted);
        QCOMPARE(summary.contains(QStringLiteral("restarted")), !restarted.isEmpty());
        QCOMPARE(m_root->commands(), commands);
    }

    // A restart that fails stays owed in the applied record until one succeeds.
    void owedRestartRetried()
    {
        const auto json = [this](const QStringList &arguments) {
            const Process::Result result = runTool(arguments);
            return QJsonDocument::fromJson(result.output).object();
        };
        const QStringList status{QStringLiteral("--status"), QStringLiteral("--json")};
        const QStringList pending{QStringLiteral("--restart-pending"), QStringLiteral("--json")};
        // syslog-ng does not run: a restart, not a reload, and it fails.
        m_root->setRunningUnits({});
        const QJsonObject stopped{{QStringLiteral("service"), QStringLiteral("syslog-ng")}, {QStringLiteral("change"), QStringLiteral("stopped")}};
        QCOMPARE(json(status),
                 QJsonObject({{QStringLiteral("applied"), QJsonValue()},
                              {QStringLiteral("drift"), QJsonArray{stopped}},
                              {QStringLiteral("pendingRestarts"), QJsonArray()},
                              {QStringLiteral("services"),
                               QJsonObject{{QStringLiteral("syslog-ng"),
                                            QJsonObject{{QStringLiteral("running"), false}, {QStringLiteral("configurationOnDisk"), QJsonValue()}}}}}}));

        const QString path = archiveOf({{EventsFile, "{\n}\n"}});
        QVERIFY(!path.isEmpty());
        TestRoot::setFakeVariable("QUOR_FAKE_FAIL_START", "1");
        const Process::Result failed = runTool({QStringLiteral("-i"), path, QStringLiteral("--restart-if-changed")});
        const QJsonObject stillOwed = json(pending);
        TestRoot::setFakeVariable("QUOR_FAKE_FAIL_START", {});
        QCOMPARE(failed.exitCode, 1);
        QCOMPARE(stillOwed.value(QStringLiteral("pendingRestarts")).toArray(), QJsonArray{QStringLiteral("syslog-ng")});

        const QJsonObject owed = json(status);
        QCOMPARE(owed.value(QStringLiteral("pendingRestarts")).toArray(), QJsonArray{QStringLiteral("syslog-ng")});
        QFile archive(path);
        QVERIFY(archive.open(QIODevice::ReadOnly));
        const QString archiveHash = QString::fromLatin1(QCryptographicHash::hash(archive.readAll(), QCryptographicHash::Sha256).toHex());
        QCOMPARE(owed.value(QStringLiteral("applied")).toObject().value(QStringLiteral("sha256")).toString(), archiveHash);

        QCOMPARE(json(pending),
                 QJsonObject({{QStringLiteral("changed"), true},
                              {QStringLiteral("restarted"), QJsonObject{{QStringLiteral("syslog-ng"), QStringLiteral("ok")}}},
                              {QStringLiteral("pendingRestarts"), QJsonArray()}}));
        QCOMPARE(json(pending).value(QStringLiteral("changed")).toBool(), false);
        const QString restartSyslogNg = QStringLiteral("sudo systemctl restart syslog-ng");
        // The import's restart, the restart with the files put back (refused too,
        // so the restart stays owed), the retry while still refused and the
        // restart with the files before the import put back once more, the
        // retry that works.
        QCOMPARE(m_root->commands().filter(QStringLiteral("systemctl restart")),
                 QStringList({restartSyslogNg, restartSyslogNg, restartSyslogNg, restartSyslogNg, restartSyslogNg}));
    }

    // The applied record is read as untrusted: a record that names other units
    // or other files, or holds a key of the wrong type, is refused whole, and
    // nothing is restarted or hashed by it.
    void hostileAppliedRecord_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("reason");

        const QByteArray hash = QByteArray(64, 'a');
        QTest::newRow("restart-names-beyond-the-units")
            << QByteArray(R"({"pendingRestarts": [1, null, "../../x", "-h"]})") << QStringLiteral("\"pendingRestarts\" holds 1");
        QTest::newRow("restart-of-an-option") << QByteArray(R"({"pendingRestarts": ["syslog-ng", "-h"]})")
                                              << QStringLiteral("\"pendingRestarts\" holds \"-h\"");
        QTest::newRow("restarts-not-an-array") << QByteArray(R"({"pendingRestarts": "syslog-ng"})") << QStringLiteral("\"pendingRestarts\" is not an array");
        QTest::newRow("file-outside-the-managed-ones") << QByteArray("{\"archive\": {}, \"files\": {\"../../../../../../etc/hostname\": \"" + hash + "\"}}")
                                                       << QStringLiteral("\"files\" names \"../../../../../../etc/hostname\", which is not a managed file");
        QTest::newRow("hash-not-a-hash") << QByteArray(R"({"archive": {}, "files": {"etc/velta-syslog.conf": 5}})")
                                         << QStringLiteral("\"files\" gives \"etc/velta-syslog.conf\" no SHA-256 hash");
        QTest::newRow("archive-wrong-type") << QByteArray(R"({"archive": "x"})") << QStringLiteral("\"archive\" is not an object");
        QTest::newRow("unknown-key") << QByteArray(R"({"restart": ["syslog-ng"]})") << QStringLiteral("an unknown key \"restart\"");
    }

    void hostileAppliedRecord()
    {
        QFETCH(QByteArray, record);
        QFETCH(QString, reason);
        m_root->writeFile(Paths::AppliedRecordFile, record);
        for (const QString &verb : {QStringLiteral("--restart-pending"), QStringLiteral("--status")}) {
            const Process::Result result = runTool({verb, QStringLiteral("--json")});
            QCOMPARE(result.exitCode, 1);
            QVERIFY2(QString::fromUtf8(result.errorOutput).contains(reason), result.errorOutput.constData());
        }
        QCOMPARE(m_root->commands(), QStringList());
        QCOMPARE(m_root->readFile(Paths::AppliedRecordFile), record);
    }

    // --status names exactly the managed files that differ from the applied archive.
    void statusReportsDrift_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content"); // written after the import; empty: the file is removed
        QTest::addColumn<QString>("drift"); // the "drift" of --status --json

        QTest::newRow("untouched") << QString() << QByteArray() << QStringLiteral("[]");
        QTest::newRow("modified") << RotationFile << QByteArray("/dorvex/log/velta/events {\n}\n")
                                  << QStringLiteral("[{\"change\":\"modified\",\"path\":\"/etc/logrotate.d/syslog-ng-mod-velta\"}]");
        QTest::newRow("missing") << RulesFile << QByteArray()
                                 << QStringLiteral("[{\"change\":\"missing\",\"path\":\"/etc/audit/rules.d/velta-syslog.rules\"}]");
        QTest::newRow("notification-added") << QString(Paths::PerEventFilePrefix) + QLatin1String("file-opened.conf") << QByteArray("# new\n")
                                            << QStringLiteral("[{\"change\":\"added\",\"path\":\"/etc/syslog-ng/conf.d/mod-velta-file-opened.conf\"}]");
        QTest::newRow("notification-with-dots-added") << QString(Paths::PerEventFilePrefix) + QLatin1String("net.iface.conf") << QByteArray("# new\n")
                                                      << QStringLiteral("[{\"change\":\"added\",\"path\":\"/etc/syslog-ng/conf.d/mod-velta-net.iface.conf\"}]");
        QTest::newRow("same-content-rewritten") << EventsFile << QByteArray() << QStringLiteral("[]");
    }

    void statusReportsDrift()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, drift);
        const QString path = archiveOf({});
        QVERIFY(!path.isEmpty());
        QCOMPARE(runTool({QStringLiteral("-i"), path}).exitCode, 0);
        if (file == EventsFile) {
            m_root->writeFile(file, m_root->readFile(file));
        } else if (!file.isEmpty() && content.isEmpty()) {
            QVERIFY(QFile::remove(m_root->placed(file)));
        } else if (!file.isEmpty()) {
            m_root->writeFile(file, content);
        }
        const Process::Result result = runTool({QStringLiteral("--status"), QStringLiteral("--json")});
        QCOMPARE(result.exitCode, 0);
        const QJsonArray found = QJsonDocument::fromJson(result.output).object().value(QStringLiteral("drift")).toArray();
        QCOMPARE(QString::fromUtf8(QJsonDocument(found).toJson(QJsonDocument::Compact)), drift);
    }

    // What every command-line tool answers: exit status 0 and the text on standard output.
    void helpAndVersion_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("printed");
        QTest::newRow("help") << QStringLiteral("--help") << QStringLiteral("--restart-pending");
        QTest::newRow("h") << QStringLiteral("-h") << QStringLiteral("--status");
        QTest::newRow("version") << QStringLiteral("--version") << QStringLiteral("1.0.0");
    }

    void helpAndVersion()
    {
        QFETCH(QString, option);
        QFETCH(QString, printed);
        const Process::Result result = runTool({option});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.output.contains(printed.toUtf8()), result.output.constData());
    }

    void heldSnapshot_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("told"); // on standard input, which then ends
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("kept");
        const QStringList held{QStringLiteral("--snapshot"), QStringLiteral("--hold")};
        QTest::newRow("keep") << held << QByteArray("keep\n") << 0 << true;
        QTest::newRow("keep-at-the-end") << held << QByteArray("keep") << 0 << true;
        QTest::newRow("nothing") << held << QByteArray() << 0 << false;
        QTest::newRow("another-word") << held << QByteArray("keep it\n") << 0 << false;
        QTest::newRow("keep-on-a-later-line") << held << QByteArray("\nkeep\n") << 0 << false;
        QTest::newRow("hold-alone") << QStringList{QStringLiteral("--hold")} << QByteArray("keep\n") << 2 << false;
        QTest::newRow("hold-with-export") << QStringList{QStringLiteral("--hold"), QStringLiteral("-o"), QStringLiteral("/tmp/a.tar.gz")}
                                          << QByteArray("keep\n") << 2 << false;
    }

    // Held, the files are read at once and the snapshot kept only when the
    // tool is told to; what it kept it names.
    void heldSnapshot()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, told);
        QFETCH(int, exitCode);
        QFETCH(bool, kept);
        // Told before it has read anything: the word waits for it.
        const auto runHeld = [this, &arguments, &told](WatchedChild *tool) {
            tool->process
                .start(m_root->placed(Paths::ConfigManagerTool), arguments, 60000, Process::Channels::Separate, QProcessEnvironment(), Process::Input::Ours);
            const bool taken = tool->process.tell(told);
            // Whether it ended the caller checks.
            static_cast<void>(QTest::qWaitFor(
                [tool] {
                    return tool->ended.has_value();
                },
                60000));
            return taken;
        };
        WatchedChild tool;
        QVERIFY(runHeld(&tool) || exitCode != 0);
        QVERIFY(tool.ended.has_value());
        QCOMPARE(tool.ended->exitCode, exitCode);
        QCOMPARE(snapshotNames().size(), kept ? 1 : 0);
        QCOMPARE(QString::fromUtf8(tool.ended->output).trimmed(), kept ? snapshotNames().constFirst() : QString());

        // The next one finds its files kept already, and keeps nothing new.
        if (kept) {
            WatchedChild again;
            QVERIFY(runHeld(&again));
            QVERIFY(again.ended.has_value());
            QCOMPARE(again.ended->exitCode, 0);
            QCOMPARE(QString::fromUtf8(again.ended->output).trimmed(), snapshotNames().constFirst());
            QCOMPARE(snapshotNames().size(), 1);
        }
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

    // Signed archives: what each verb makes of an archive by whom, and of one
    // changed after its signature.
    void signatures_data()
    {
        QTest::addColumn<QString>("made"); // by whom and how the archive is made
        QTest::addColumn<bool>("allowUnsigned");
        QTest::addColumn<int>("exitCode"); // of --check, --diff and -i
        QTest::addColumn<QString>("said"); // on standard error by --check, or the signer --diff names

        QTest::newRow("trusted-reference") << "reference" << false << 0 << "signed by root@";
        QTest::newRow("this-machine") << "own" << false << 0 << "signed by root@";
        QTest::newRow("unknown-signer") << "stranger" << false << 4 << "the archive is signed by the key ED25519 SHA256:";
        QTest::newRow("unknown-signer-admitted") << "stranger" << true << 0 << ", not trusted (admitted by --allow-unsigned)";
        QTest::newRow("unsigned") << "tar" << false << 4 << "the archive is not signed; it is imported only with --allow-unsigned";
        QTest::newRow("unsigned-admitted") << "tar" << true << 0 << "signed by nobody (unsigned, admitted by --allow-unsigned)";
        QTest::newRow("byte-changed-in-the-files") << "tampered-body" << false << 1 << "the signature does not match the archive";
        QTest::newRow("byte-changed-in-the-files-admitted") << "tampered-body" << true << 1 << "the signature does not match the archive";
        // The signature's spacing is its own: ssh-keygen would read another one too.
        QTest::newRow("signature-respaced") << "respaced" << false << 4 << "the archive is not signed";
        QTest::newRow("bytes-appended") << "appended" << false << 4 << "the archive is not signed";
    }

    void signatures()
    {
        QFETCH(QString, made);
        QFETCH(bool, allowUnsigned);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        const Files changed{{EventsFile, "{\n}\n"}};
        QString path = archiveOf(changed);
        QVERIFY(!path.isEmpty());
        QByteArray archive = m_root->readFile(Paths::unplaced(path));
        if (made == QLatin1String("own")) {
            const QByteArray events = m_root->readFile(EventsFile);
            m_root->writeFile(EventsFile, "{\n}\n");
            QCOMPARE(runTool({QStringLiteral("-o"), path}).exitCode, 0);
            m_root->writeFile(EventsFile, events);
        } else if (made == QLatin1String("stranger")) {
            QVERIFY(ReferenceMachine(*m_root, QStringLiteral("stranger")).exportFiles({{EventsFile, "{\n}\n"}}, Paths::unplaced(path)));
        } else if (made == QLatin1String("tar")) {
            m_root->writeFile(QStringLiteral("/test/plain") + EventsFile, "{\n}\n");
            QCOMPARE(Process::run(QStringLiteral("/bin/tar"),
                                  {QStringLiteral("-czf"), path, QStringLiteral("-C"), m_root->placed(QStringLiteral("/test/plain")), EventsFile.mid(1)},
                                  60000)
                         .exitCode,
                     0);
        } else if (made == QLatin1String("tampered-body")) {
            // A byte of the time in the gzip header, which no reader checks.
            archive[5] = char(archive.at(5) ^ 1);
            m_root->writeFile(Paths::unplaced(path), archive);
        } else if (made == QLatin1String("respaced")) {
            // The last letter of the first line of 70 moves to the second.
            const int last = archive.indexOf("-----BEGIN SSH SIGNATURE-----\n") + 30 + 69;
            const char letter = archive.at(last);
            archive[last] = archive.at(last + 1);
            archive[last + 1] = letter;
            m_root->writeFile(Paths::unplaced(path), archive);
        } else if (made == QLatin1String("appended")) {
            m_root->writeFile(Paths::unplaced(path), archive + '\n');
        }
        const QStringList admit = allowUnsigned ? QStringList{QStringLiteral("--allow-unsigned")} : QStringList();
        const Files before = systemFiles(*m_root);

        const Process::Result checked = runTool(QStringList{QStringLiteral("--check"), path} + admit);
        QCOMPARE(checked.exitCode, exitCode);
        const Process::Result diffed = runTool(QStringList{QStringLiteral("--diff"), path} + admit);
        QCOMPARE(diffed.exitCode, exitCode == 0 ? 3 : exitCode);
        QVERIFY2(QString::fromUtf8(exitCode == 0 ? diffed.errorOutput : checked.errorOutput).contains(said),
                 QByteArray(checked.errorOutput + diffed.errorOutput).constData());
        QCOMPARE(systemFiles(*m_root), before);

        const Process::Result imported = runTool(QStringList{QStringLiteral("-i"), path} + admit);
        QCOMPARE(imported.exitCode, exitCode);
        QCOMPARE(m_root->readFile(EventsFile) == "{\n}\n", exitCode == 0);
        if (exitCode != 0) {
            QCOMPARE(systemFiles(*m_root), before);
            return;
        }
        // The status names whom the applied archive came from.
        const Process::Result status = runTool({QStringLiteral("--status")});
        const QString signer = QString::fromUtf8(diffed.errorOutput).section(QStringLiteral("signed by "), 1).trimmed();
        QVERIFY2(status.output.contains(QByteArray("signed by: " + signer.toUtf8())), status.output.constData());
    }

    // The other files of an archive: only the shapes this system writes, read
    // as logrotate, auditctl and the notification daemon read them.
    void hostileShapes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("text"); // "MARKER" stands for a path that must never be created
        QTest::addColumn<QString>("refusal");

        const QString rotation = RotationFile + QLatin1String(": line ");
        const QByteArray open = "/dorvex/log/velta/events {\n\trotate 4\n";
        QTest::newRow("logrotate-postrotate-command") << RotationFile << open + "\tpostrotate\n\t\ttouch MARKER\n\tendscript\n}\n"
                                                      << rotation + QStringLiteral("4: the command \"touch");
        QTest::newRow("logrotate-postrotate-after-reload")
            << RotationFile << open + "\tpostrotate\n\t\tinvoke-rc.d syslog-ng reload > /dev/null\n\t\ttouch MARKER\n\tendscript\n}\n"
            << rotation + QStringLiteral("5: the command");
        QTest::newRow("logrotate-firstaction") << RotationFile << open + "\tfirstaction\n\t\ttouch MARKER\n\tendscript\n}\n"
                                               << rotation + QStringLiteral("3: the directive \"firstaction\"");
        QTest::newRow("logrotate-include-inside") << RotationFile << open + "\tinclude /home/mallory/x\n}\n"
                                                  << rotation + QStringLiteral("3: the directive \"include\"");
        QTest::newRow("logrotate-include-before") << RotationFile << "include /etc/shadow\n" + open + "}\n"
                                                  << rotation + QStringLiteral("1: only the block of /dorvex/log/velta/events");
        QTest::newRow("logrotate-create") << RotationFile << open + "\tcreate 0666 mallory mallory\n}\n"
                                          << rotation + QStringLiteral("3: the directive \"create\"");
        QTest::newRow("logrotate-olddir") << RotationFile << open + "\tolddir /etc/cron.d\n}\n" << rotation + QStringLiteral("3: the directive \"olddir\"");
        QTest::newRow("logrotate-su") << RotationFile << open + "\tsu mallory mallory\n}\n" << rotation + QStringLiteral("3: the directive \"su\"");
        QTest::newRow("logrotate-value-of-two-words") << RotationFile << open + "\tsize 100M /etc/shadow\n}\n"
                                                      << rotation + QStringLiteral("3: \"size\" takes one number");
        QTest::newRow("logrotate-other-log") << RotationFile << QByteArray("/etc/shadow {\n\trotate 1\n}\n") << rotation + QStringLiteral("1: only the block");
        QTest::newRow("logrotate-two-logs") << RotationFile << QByteArray("/dorvex/log/velta/events /etc/shadow {\n}\n")
                                            << rotation + QStringLiteral("1: only the block");
        QTest::newRow("logrotate-second-block") << RotationFile << open + "}\n/etc/shadow {\n\tcreate 0666 mallory mallory\n}\n"
                                                << rotation + QStringLiteral("4: nothing but comments may follow");
        // logrotate reads on to "endscript": "}" is a line of the script.
        QTest::newRow("logrotate-script-not-ended") << RotationFile << open + "\tpostrotate\n\t\tinvoke-rc.d syslog-ng reload > /dev/null\n}\n"
                                                    << rotation + QStringLiteral("5: the command \"}\"");
        QTest::newRow("logrotate-carriage-return") << RotationFile << open + "\tmissingok\r\tcreate 0666 mallory mallory\n}\n"
                                                   << rotation + QStringLiteral("3: a control character");

        const QString rules = RulesFile + QLatin1String(": line ");
        const QByteArray watch = "-w /etc/passwd -p wa -k passwd\n";
        QTest::newRow("audit-lock") << RulesFile << watch + "-e 2\n" << rules + QStringLiteral("2: the option \"-e\"");
        QTest::newRow("audit-delete-all") << RulesFile << "-D\n" + watch << rules + QStringLiteral("1: the option \"-D\"");
        QTest::newRow("audit-backlog") << RulesFile << watch + "-b 1\n" << rules + QStringLiteral("2: the option \"-b\"");
        QTest::newRow("audit-never") << RulesFile << watch + "-a never,task\n" << rules + QStringLiteral("2: \"-a never,task\" is not accepted");
        QTest::newRow("audit-exclude") << RulesFile << watch + "-a always,exclude -F msgtype=SYSCALL\n" << rules + QStringLiteral("2: \"-a always,exclude\"");
        QTest::newRow("audit-remove-watch") << RulesFile << watch + "-w /etc/passwd -W /etc/shadow\n" << rules + QStringLiteral("2: the option \"-W\"");
        QTest::newRow("audit-option-without-value") << RulesFile << QByteArray("-w /etc/passwd -k\n") << rules + QStringLiteral("1: the option \"-k\" without");
        QTest::newRow("audit-carriage-return") << RulesFile << QByteArray("-w /etc/passwd -p wa\r-e 2\n") << rules + QStringLiteral("1: a control character");

        const QString notifyrc = QString(Paths::RootNotifyrc) + QLatin1String(": line ");
        QTest::newRow("notifyrc-execute-action") << QString(Paths::RootNotifyrc) << QByteArray("[Event/userLogin]\nAction=Popup|Execute\n")
                                                 << notifyrc + QStringLiteral("2: the action \"Execute\"");
        QTest::newRow("notifyrc-execute-command") << QString(Paths::RootNotifyrc)
                                                  << QByteArray("[Event/userLogin]\nAction=Popup\nExecute=/bin/sh -c 'touch MARKER'\n")
                                                  << notifyrc + QStringLiteral("3: \"Execute\" must be empty");
        QTest::newRow("notifyrc-expanded-key") << QString(Paths::RootNotifyrc) << QByteArray("[Event/userLogin]\nSound[$e]=$(touch MARKER)\n")
                                               << notifyrc + QStringLiteral("2: the key \"Sound[$e]\"");
        QTest::newRow("notifyrc-other-group") << QString(Paths::RootNotifyrc) << QByteArray("[Global]\nIconName=x\n")
                                              << notifyrc + QStringLiteral("1: only [Event/NAME] groups");
        QTest::newRow("notifyrc-group-mark") << QString(Paths::RootNotifyrc) << QByteArray("[Event/userLogin][$i]\nAction=Popup\n")
                                             << notifyrc + QStringLiteral("1: only [Event/NAME] groups");
        QTest::newRow("notifyrc-relative-sound") << QString(Paths::RootNotifyrc) << QByteArray("[Event/userLogin]\nSound=../../etc/shadow\n")
                                                 << notifyrc + QStringLiteral("2: \"Sound\" takes an absolute path");
    }

    void hostileShapes()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, text);
        QFETCH(QString, refusal);
        const QString marker = m_root->placed(QStringLiteral("/test/marker"));
        const QString path = archiveOf({{file, text.replace("MARKER", marker.toUtf8())}});
        QVERIFY(!path.isEmpty());
        const Files before = systemFiles(*m_root);
        const QList<QStringList> verbs{{QStringLiteral("--check")}, {QStringLiteral("--diff")}, {QStringLiteral("-i")}};
        for (const QStringList &verb : verbs) {
            const Process::Result result = runTool(verb + QStringList{path});
            QCOMPARE(result.exitCode, 1);
            QVERIFY2(result.output.isEmpty(), result.output.constData());
            QVERIFY2(result.errorOutput.contains(refusal.toUtf8()), result.errorOutput.constData());
            QVERIFY(!QFileInfo::exists(marker));
            QCOMPARE(systemFiles(*m_root), before);
            QCOMPARE(snapshotNames(), QStringList());
        }
    }

    // The sample system exported, changed and imported back: every file as it was.
    void sampleExportImportsBackUnchanged()
    {
        const Files sample = systemFiles(*m_root);
        const QString path = m_root->placed(QStringLiteral("/test/sample.tar.gz"));
        QCOMPARE(runTool({QStringLiteral("-o"), path}).exitCode, 0);
        m_root->writeFile(EventsFile, "{\n}\n");
        m_root->writeFile(RotationFile, "/dorvex/log/velta/events {\n}\n");
        QVERIFY(QFile::remove(m_root->placed(RulesFile)));
        const Process::Result imported = runTool({QStringLiteral("-i"), path});
        QVERIFY2(imported.exitCode == 0, imported.errorOutput.constData());
        Files after = systemFiles(*m_root);
        // The machine's key, made by the export, is no file of the configuration.
        for (const QString &key : {QStringLiteral("/key"), QStringLiteral("/key.pub")}) {
            QVERIFY(after.remove(QString(Paths::SigningDir) + key) == 1);
        }
        QCOMPARE(after, sample);
    }

    // A file's control characters reach no terminal: a line erased there
    // cannot hide the one above it.
    void diffEscapesControlCharacters()
    {
        const QString path = archiveOf({{CommonFile,
                                         m_root->readFile(CommonFile)
                                             + "# \x1b[1A\x1b[2K\r\xc2\x9b"
                                               "2K\xe2\x80\xae\n"}});
        QVERIFY(!path.isEmpty());
        const Process::Result text = runTool({QStringLiteral("--diff"), path});
        QCOMPARE(text.exitCode, 3);
        const Process::Result json = runTool({QStringLiteral("--diff"), path, QStringLiteral("--json")});
        const QByteArray jsonDiff = QJsonDocument::fromJson(json.output).object().value(QStringLiteral("diff")).toString().toUtf8();
        for (const QByteArray &shown : {text.output, jsonDiff}) {
            QVERIFY2(shown.contains("+# \\x1b[1A\\x1b[2K\\x0d\\u009b2K\\u202e\n"), shown.constData());
            QVERIFY(!shown.contains('\x1b') && !shown.contains('\r') && !shown.contains("\xc2\x9b") && !shown.contains("\xe2\x80\xae"));
        }
    }
};

QTEST_GUILESS_MAIN(ConfigImportTest)
#include "configimporttest.moc"
