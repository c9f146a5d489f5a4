#include "platform/paths.h"
#include "platform/process.h"
#include "testroot.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

#include <archive.h>
#include <archive_entry.h>

namespace
{
struct ArchiveEntry {
    ArchiveEntry(const QString &name, const QByteArray &data, int type = AE_IFREG, const QString &link = QString())
        : name(name)
        , data(data)
        , type(type)
        , link(link)
    {
    }
    QString name;
    QByteArray data;
    int type = AE_IFREG;
    QString link; // symbolic or hard link target
};
using ArchiveEntries = QList<ArchiveEntry>;

la_ssize_t append(archive *, void *clientData, const void *buffer, size_t length)
{
    static_cast<QByteArray *>(clientData)->append(static_cast<const char *>(buffer), int(length));
    return la_ssize_t(length);
}

// A gzip-compressed tar archive holding exactly the given entries.
QByteArray makeArchive(const ArchiveEntries &entries)
{
    QByteArray result;
    archive *a = archive_write_new();
    archive_write_add_filter_gzip(a);
    archive_write_set_format_pax_restricted(a);
    archive_write_set_bytes_in_last_block(a, 1);
    archive_write_open(a, &result, nullptr, append, nullptr);
    for (const ArchiveEntry &e : entries) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.toUtf8().constData());
        archive_entry_set_filetype(entry, e.type);
        archive_entry_set_perm(entry, 0644);
        if (e.type == AE_IFLNK) {
            archive_entry_set_symlink(entry, e.link.toUtf8().constData());
        } else if (!e.link.isEmpty()) {
            archive_entry_set_hardlink(entry, e.link.toUtf8().constData());
        }
        archive_entry_set_size(entry, e.type == AE_IFREG && e.link.isEmpty() ? e.data.size() : 0);
        archive_write_header(a, entry);
        if (e.type == AE_IFREG && e.link.isEmpty()) {
            archive_write_data(a, e.data.constData(), size_t(e.data.size()));
        }
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
    return result;
}

// Everything under a directory: relative path -> kind and content or link target.
QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> result;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString name = info.filePath().mid(dir.size());
        if (info.isSymLink()) {
            result.insert(name, "link:" + info.symLinkTarget().toUtf8());
        } else if (info.isDir()) {
            result.insert(name, "dir");
        } else if (!info.isFile()) {
            result.insert(name, "special"); // opening a FIFO would block
        } else {
            QFile file(info.filePath());
            file.open(QIODevice::ReadOnly);
            result.insert(name, "file:" + file.readAll());
        }
    }
    return result;
}

// A configured system: every managed file, two notified events and a foreign file.
const QMap<QString, QByteArray> &configuredFiles()
{
    static const QMap<QString, QByteArray> files{
        {QString(Paths::EventsFile), "{\"user-login\":{\"enabled\":\"1\"},\"file-opened\":{\"enabled\":\"0\"}}\n"},
        {QString(Paths::AuditRulesFile), "-w /etc/shadow -p wa -k velta_shadow\n"},
        {QString(Paths::AuditTypeStore), "exec\nuid\n"},
        {QString(Paths::CommonSyslogNgFile), "destination velta_json_dst {\n    file(\"/dorvex/log/velta/events\");\n};\n"},
        {QString(Paths::PerEventFilePrefix) + QLatin1String("USER-LOGIN.conf"), "filter velta_user_login { match(\"USER_LOGIN\"); };\n"},
        {QString(Paths::PerEventFilePrefix) + QLatin1String("FILE-OPEN.conf"), "filter velta_file_open { match(\"FILE_OPEN\"); };\n"},
        // Dots too: syslog-ng reads it with the others.
        {QString(Paths::PerEventFilePrefix) + QLatin1String("net.iface.conf"), "filter velta_net_iface { match(\"NET_IFACE\"); };\n"},
        {QString(Paths::LogRotateFile), "/dorvex/log/velta/events {\n    rotate 5\n    size 100M\n    missingok\n}\n"},
        {QString(Paths::RootNotifyrc), "[Event/userLogin]\nAction=Popup\n"},
    };
    return files;
}

const QString ForeignFile = QStringLiteral("/etc/syslog-ng/conf.d/local.conf");
}

// The configuration manager tool, run for real on a temporary system root.
class ConfigArchiveTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRoot> m_root;

    Process::Result runTool(const QStringList &arguments) const
    {
        return Process::run(m_root->placed(Paths::ConfigManagerTool), arguments, 60000, Process::Channels::Separate);
    }

    void configure() const
    {
        for (auto it = configuredFiles().cbegin(); it != configuredFiles().cend(); ++it) {
            m_root->writeFile(it.key(), it.value());
        }
        m_root->writeFile(ForeignFile, "# not ours\n");
        m_root->writeFile(QString(Paths::PerEventFilePrefix) + QLatin1String("a b.conf"), "# not ours either\n");
    }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<TestRoot>();
        const QString tool = m_root->placed(Paths::ConfigManagerTool);
        QVERIFY(QDir().mkpath(QFileInfo(tool).absolutePath()));
        QFile::remove(tool); // the test root installs it already
        QVERIFY(QFile::link(QStringLiteral(CONFIG_MANAGER_PATH), tool));
    }

    void cleanup()
    {
        m_root.reset();
    }

    void exportThenImportRestoresEveryFile()
    {
        configure();
        const QString archivePath = m_root->placed(QStringLiteral("/test/cfg.tar.gz"));
        const Process::Result exported = runTool({QStringLiteral("-o"), archivePath});
        QCOMPARE(exported.exitCode, 0);

        // Only the managed files, under relative names: not the foreign file nor a name outside the pattern.
        const Process::Result listed = Process::run(QStringLiteral("/bin/tar"), {QStringLiteral("-tzf"), archivePath}, 60000);
        QStringList names = QString::fromUtf8(listed.output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        names.sort();
        QStringList expected{QStringLiteral("quor-admin-events-manifest.json")};
        for (const QString &path : configuredFiles().keys()) {
            expected << path.mid(1);
        }
        expected.sort();
        QCOMPARE(names, expected);

        // Change everything after the export: edit, delete, add a notified event.
        m_root->writeFile(QString(Paths::EventsFile), "{\"user-login\":{\"enabled\":\"0\"}}\n");
        m_root->writeFile(QString(Paths::LogRotateFile), "/dorvex/log/velta/events {\n    daily\n}\n");
        QVERIFY(QFile::remove(m_root->placed(Paths::AuditRulesFile)));
        QVERIFY(QDir(m_root->placed(QStringLiteral("/root"))).removeRecursively());
        const QString stale = QString(Paths::PerEventFilePrefix) + QLatin1String("PROCESS-START.conf");
        m_root->writeFile(stale, "filter velta_process_start { match(\"PROCESS_START\"); };\n");

        const Process::Result imported = runTool({QStringLiteral("-i"), archivePath});
        QVERIFY2(imported.exitCode == 0, imported.errorOutput.constData());
        for (auto it = configuredFiles().cbegin(); it != configuredFiles().cend(); ++it) {
            QCOMPARE(m_root->readFile(it.key()), it.value());
        }
        QVERIFY(!m_root->exists(stale));
        QCOMPARE(m_root->readFile(ForeignFile), QByteArray("# not ours\n"));
    }

    void refusedCommands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("configured");
        const QString archive = QStringLiteral("/test/cfg.tar.gz");
        QTest::newRow("no-arguments") << QStringList() << true;
        QTest::newRow("unknown-option") << QStringList{QStringLiteral("-x"), archive} << true;
        QTest::newRow("missing-archive-argument") << QStringList{QStringLiteral("-o")} << true;
        QTest::newRow("export-nothing-configured") << QStringList{QStringLiteral("-o"), archive} << false;
        QTest::newRow("export-into-missing-directory") << QStringList{QStringLiteral("-o"), QStringLiteral("/test/missing/cfg.tar.gz")} << true;
        QTest::newRow("import-missing-archive") << QStringList{QStringLiteral("-i"), archive} << true;
        QTest::newRow("import-directory") << QStringList{QStringLiteral("-i"), QStringLiteral("/")} << true;
    }

    void refusedCommands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, configured);
        if (configured) {
            configure();
        }
        // Archive paths of the rows lie under the root, so that the snapshot sees a written one.
        if (arguments.size() == 2) {
            arguments[1] = m_root->placed(arguments.at(1));
        }
        const auto before = snapshot(m_root->path());
        const Process::Result result = runTool(arguments);
        QVERIFY(result.finished);
        QVERIFY(result.exitCode != 0);
        QVERIFY(!result.errorOutput.trimmed().isEmpty());
        QCOMPARE(snapshot(m_root->path()), before);
    }

    // The archive often goes into a home: whatever the user put in place of the
    // target is refused, never followed, and every file stays as it was.
    void exportRefusesTarget_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reason");
        QTest::newRow("link-to-a-root-file") << "link-to-shadow"
                                             << "/test/home/cfg.tar.gz"
                                             << "/test/home/cfg.tar.gz: a symbolic link";
        QTest::newRow("dangling-link") << "link-to-missing"
                                       << "/test/home/cfg.tar.gz"
                                       << "/test/home/cfg.tar.gz: a symbolic link";
        QTest::newRow("directory") << "directory"
                                   << "/test/home/cfg.tar.gz"
                                   << "/test/home/cfg.tar.gz: a folder";
        QTest::newRow("fifo") << "fifo"
                              << "/test/home/cfg.tar.gz"
                              << "/test/home/cfg.tar.gz: not a regular file";
        QTest::newRow("link-in-the-folder-path") << "folder-link"
                                                 << "/test/home/etc/shadow"
                                                 << "/test/home/etc: a symbolic link";
    }

    void exportRefusesTarget()
    {
        QFETCH(QString, layout);
        QFETCH(QString, target);
        QFETCH(QString, reason);
        configure();
        m_root->writeFile(QStringLiteral("/etc/shadow"), "secret");
        m_root->writeFile(QStringLiteral("/test/home/.keep"), QByteArray());
        const QString placedTarget = m_root->placed(QStringLiteral("/test/home/cfg.tar.gz"));
        if (layout == QLatin1String("link-to-shadow")) {
            QVERIFY(QFile::link(m_root->placed(QStringLiteral("/etc/shadow")), placedTarget));
        } else if (layout == QLatin1String("link-to-missing")) {
            QVERIFY(QFile::link(m_root->placed(QStringLiteral("/etc/new")), placedTarget));
        } else if (layout == QLatin1String("directory")) {
            QVERIFY(QDir().mkpath(placedTarget + QLatin1String("/inside")));
        } else if (layout == QLatin1String("fifo")) {
            QCOMPARE(mkfifo(QFile::encodeName(placedTarget).constData(), 0644), 0);
        } else {
            QVERIFY(QFile::link(m_root->placed(QStringLiteral("/etc")), m_root->placed(QStringLiteral("/test/home/etc"))));
        }
        const auto before = snapshot(m_root->path());
        const Process::Result result = runTool({QStringLiteral("-o"), m_root->placed(target)});
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(QString::fromUtf8(result.errorOutput).trimmed(), m_root->placed(reason));
        QCOMPARE(snapshot(m_root->path()), before);
        QCOMPARE(m_root->readFile(QStringLiteral("/etc/shadow")), QByteArray("secret"));
    }

    // A regular file in place of the target is replaced whole, root's alone:
    // the archive holds the audit rules and root's notification file.
    void exportReplacesRegularTarget()
    {
        configure();
        const QString target = m_root->placed(QStringLiteral("/test/home/cfg.tar.gz"));
        m_root->writeFile(QStringLiteral("/test/home/cfg.tar.gz"), "old archive");
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther));
        QCOMPARE(runTool({QStringLiteral("-o"), target}).exitCode, 0);
        struct stat status;
        QCOMPARE(lstat(QFile::encodeName(target).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, 0600u);
        QCOMPARE(status.st_uid, 0u);
        QCOMPARE(Process::run(QStringLiteral("/bin/tar"), {QStringLiteral("-tzf"), target}, 60000).exitCode, 0);
        QCOMPARE(QDir(m_root->placed(QStringLiteral("/test/home"))).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("cfg.tar.gz")});
    }

    void hostileArchiveChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("archive");
        const ArchiveEntry good(QStringLiteral("etc/velta-syslog.conf"), "{\"id\":\"EVIL\"}\n");
        const QString perEvent = QString(Paths::PerEventFilePrefix).mid(1);
        const QByteArray valid = makeArchive({good, {QStringLiteral("etc/logrotate.d/syslog-ng-mod-velta"), "/dorvex/log/velta/events {\n}\n"}});

        QTest::newRow("parent-directory") << makeArchive({good, {QStringLiteral("etc/../etc/passwd"), "root::0:0::/:/bin/sh\n"}});
        QTest::newRow("absolute-name") << makeArchive({good, {QStringLiteral("/etc/velta-syslog.conf"), "x\n"}});
        QTest::newRow("unknown-path") << makeArchive({good, {QStringLiteral("etc/passwd"), "root::0:0::/:/bin/sh\n"}});
        QTest::newRow("per-event-escaping") << makeArchive({{perEvent + QLatin1String("../../../passwd.conf"), "x\n"}});
        // A name check whose end also matched before a final line break let these through.
        QTest::newRow("per-event-trailing-line-break") << makeArchive({good, {perEvent + QLatin1String("evil.conf\n"), "x\n"}});
        QTest::newRow("per-event-trailing-line-break-alone") << makeArchive({{perEvent + QLatin1String("evil.conf\n"), "x\n"}});
        QTest::newRow("fixed-name-trailing-line-break") << makeArchive({{QStringLiteral("etc/velta-syslog.conf\n"), "{}\n"}});
        QTest::newRow("per-event-control-character") << makeArchive({{perEvent + QLatin1String("ev\til.conf"), "x\n"}});
        QTest::newRow("symbolic-link") << makeArchive(
            {good, {QStringLiteral("etc/audit/rules.d/velta-syslog.rules"), QByteArray(), AE_IFLNK, QStringLiteral("/etc/shadow")}});
        QTest::newRow("hard-link") << makeArchive(
            {good, {QStringLiteral("etc/audit/rules.d/velta-syslog.rules"), QByteArray(), AE_IFREG, QStringLiteral("etc/velta-syslog.conf")}});
        QTest::newRow("directory") << makeArchive({good, {perEvent + QLatin1String("X.conf"), QByteArray(), AE_IFDIR}});
        QTest::newRow("device") << makeArchive({good, {QStringLiteral("etc/audit/rules.d/velta-syslog.rules"), QByteArray(), AE_IFCHR}});
        QTest::newRow("stored-twice") << makeArchive({good, good});
        QTest::newRow("oversized-entry") << makeArchive({{QStringLiteral("etc/velta-syslog.conf"), QByteArray(17 * 1024 * 1024, 'a')}});
        QTest::newRow("no-entries") << makeArchive({});
        QTest::newRow("truncated-in-the-middle") << valid.left(valid.size() / 2);
        QTest::newRow("truncated-trailer") << valid.left(valid.size() - 4);
        QTest::newRow("not-an-archive") << QByteArray("just some text\n");

        // A manifest must list exactly the archive's files with their hashes.
        const ArchiveEntry settings(QStringLiteral("etc/velta-syslog.conf"), "{\"evil\":{}}\n");
        const QByteArray settingsHash = QCryptographicHash::hash(settings.data, QCryptographicHash::Sha256).toHex();
        const auto manifest = [](const QByteArray &files) {
            return ArchiveEntry(QStringLiteral("quor-admin-events-manifest.json"), "{\"format\":1,\"files\":{" + files + "}}");
        };
        QTest::newRow("manifest-hash-differs") << makeArchive({manifest("\"etc/velta-syslog.conf\":\"" + QByteArray(64, '0') + "\""), settings});
        QTest::newRow("manifest-lists-another-file") << makeArchive(
            {manifest("\"etc/velta-syslog.conf\":\"" + settingsHash + "\",\"etc/logrotate.d/syslog-ng-mod-velta\":\"" + settingsHash + "\""), settings});
        QTest::newRow("manifest-unknown-format") << makeArchive(
            {{QStringLiteral("quor-admin-events-manifest.json"), "{\"format\":2,\"files\":{\"etc/velta-syslog.conf\":\"" + settingsHash + "\"}}"}, settings});
        QTest::newRow("manifest-not-json") << makeArchive({{QStringLiteral("quor-admin-events-manifest.json"), "{\"format\":1,"}, settings});
        QTest::newRow("manifest-alone") << makeArchive({manifest(QByteArray())});
    }

    void hostileArchiveChangesNothing()
    {
        QFETCH(QByteArray, archive);
        configure();
        m_root->writeFile(QStringLiteral("/test/in.tar.gz"), archive);
        const QString path = m_root->placed(QStringLiteral("/test/in.tar.gz"));
        const auto before = snapshot(m_root->path());
        // Made here, unsigned: admitted so that the reader itself is tried.
        const Process::Result result = runTool({QStringLiteral("-i"), path, QStringLiteral("--allow-unsigned")});
        QVERIFY(result.finished);
        QVERIFY(result.exitCode != 0);
        QVERIFY(!result.errorOutput.trimmed().isEmpty());
        QCOMPARE(snapshot(m_root->path()), before);
    }
};

QTEST_GUILESS_MAIN(ConfigArchiveTest)
#include "configarchivetest.moc"
