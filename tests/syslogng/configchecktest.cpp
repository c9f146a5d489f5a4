#include "platform/configcheck.h"
#include "platform/checkedwrite.h"
#include "platform/paths.h"
#include "testroot.h"
#include "waited.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// The checks that run before syslog-ng or logrotate files are used, with the real tools.
class ConfigCheckTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void undefinedReferences_data()
    {
        QTest::addColumn<QByteArray>("configuration");
        QTest::addColumn<QStringList>("missing"); // "<line>: kind(name)"

        const QByteArray objects =
            "source s { unix-dgram(\"/run/s.sock\"); };\n"
            "filter f { program(\"x\"); };\n"
            "destination d { file(\"/var/log/d\"); };\n";
        QTest::newRow("all-defined") << objects + "log { source(s); filter(f); destination(d); };\n" << QStringList();
        QTest::newRow("missing-filter") << objects + "log { source(s); filter(no_such_filter); destination(d); };\n"
                                        << QStringList{QStringLiteral("4: filter(no_such_filter)")};
        QTest::newRow("missing-destination-named-twice") << objects + "log { source(s); destination(gone); };\nlog { source(s); destination(gone); };\n"
                                                         << QStringList{QStringLiteral("4: destination(gone)"), QStringLiteral("5: destination(gone)")};
        QTest::newRow("kinds-have-own-names") << objects + "log { source(d); destination(s); };\n"
                                              << QStringList{QStringLiteral("4: source(d)"), QStringLiteral("4: destination(s)")};
        QTest::newRow("nested-log") << objects + "log { source(s);\n    log { parser(p_missing); destination(d); }; };\n"
                                    << QStringList{QStringLiteral("5: parser(p_missing)")};
        QTest::newRow("defined-after-use") << "log { source(s); destination(d); };\n" + objects << QStringList();
        QTest::newRow("inline-objects-name-nothing") << objects
                + "log { source(s); parser { json-parser(prefix(\"MSG.\")); }; destination { file(\"/x\" template(\"$MSG\")); }; };\n"
                                                     << QStringList();
        QTest::newRow("comments-and-strings-ignored") << objects
                + "# log { source(s); destination(commented); };\nlog { source(s); destination(d); }; # filter(after)\n"
                  "destination q { file(\"log { destination(quoted) }\"); };\n"
                                                      << QStringList();
        // What syslog-ng parses and then refuses at start: "Referenced filter rule not found".
        QTest::newRow("filter-inside-filter") << objects
                + "filter uses { filter(velta_undefined_filter); };\nlog { source(s); filter(uses); destination(d); };\n"
                                              << QStringList{QStringLiteral("4: filter(velta_undefined_filter)")};
        QTest::newRow("filter-inside-unused-filter") << objects + "filter uses {\n    level(info) and not filter(gone);\n};\n"
                                                     << QStringList{QStringLiteral("5: filter(gone)")};
        QTest::newRow("source-inside-filter") << objects + "filter from { source(s_missing); };\n" << QStringList{QStringLiteral("4: source(s_missing)")};
        QTest::newRow("rewrite-in-log") << objects
                + "rewrite r { subst(\"a\", \"b\"); };\nlog { source(s); rewrite(r); rewrite(r_missing); destination(d); };\n"
                                        << QStringList{QStringLiteral("5: rewrite(r_missing)")};
        QTest::newRow("template-of-destination") << objects + "template t { template(\"$MSG\\n\"); };\n"
                                                   "destination d2 { file(\"/x\" template(t)); };\n"
                                                   "destination d3 { file(\"/y\"\n        template(t_missing)); };\n"
                                                 << QStringList{QStringLiteral("7: template(t_missing)")};
        QTest::newRow("short-template-definition") << objects + "template t \"$MSG\\n\";\ndestination d2 { file(\"/x\" template(t)); };\n" << QStringList();
        QTest::newRow("quoted-template-is-the-template") << objects + "destination d2 { file(\"/x\" template(\"t_missing\")); };\n" << QStringList();
        QTest::newRow("quoted-names") << objects
                + "destination \"d q\" { file(\"/q\"); };\nlog { source(\"s\"); destination(\"d q\"); destination(\"gone\"); };\n"
                                      << QStringList{QStringLiteral("5: destination(gone)")};
        QTest::newRow("lines-after-multi-line-string") << objects + "destination m { file(\"/a\nb\"); };\nlog { source(s); destination(gone); };\n"
                                                       << QStringList{QStringLiteral("6: destination(gone)")};
        QTest::newRow("object-inside-block-definition-is-not-defined")
            << objects + "block root b() { destination inner { file(\"/x\"); }; };\nlog { source(s); destination(inner); };\n"
            << QStringList{QStringLiteral("5: destination(inner)")};
        // A block's names belong to where it is used.
        QTest::newRow("references-inside-block-definition-not-read")
            << objects + "block destination b(target(\"/x\")) {\n    file(\"`target`\" template(t_of_caller));\n};\n"
            << QStringList();
        QTest::newRow("python-code-not-read") << objects + "python {\ndef source(x):\n    return filter(x)\n};\n" << QStringList();
    }

    void undefinedReferences()
    {
        QFETCH(QByteArray, configuration);
        QFETCH(QStringList, missing);
        const QString path = QStringLiteral("/etc/syslog-ng/conf.d/a.conf");
        QStringList found;
        const QList<ConfigCheck::Reference> references = ConfigCheck::undefinedReferences({{path, configuration}});
        for (const ConfigCheck::Reference &reference : references) {
            QCOMPARE(reference.path, path);
            found << QStringLiteral("%1: %2(%3)").arg(reference.line).arg(reference.kind, reference.name);
        }
        QCOMPARE(found, missing);
    }

    // Names resolve across the files, and against what the whole configuration
    // defines elsewhere; each miss names its own file.
    void referencesAcrossFiles()
    {
        const QList<ConfigCheck::ConfigFile> files{
            {QStringLiteral("/etc/syslog-ng/syslog-ng.conf"), "source s_src { system(); };\nlog { source(s_src); destination(d_common); };\n"},
            {QStringLiteral("/etc/syslog-ng/conf.d/mod-velta.conf"), "destination d_common { file(\"/x\"); };\n"},
            {QStringLiteral("/etc/syslog-ng/conf.d/other.conf"), "\nlog { source(s_src); destination(d_scl); filter(f_nowhere); };\n"},
        };
        // What syslog-ng wrote has its backticks substituted: "`" there is a backtick.
        QCOMPARE(
            ConfigCheck::undefinedReferences(files, "destination d_scl { file(\"/y\" template(\"`x\")); };\n"),
            (QList<ConfigCheck::Reference>{{QStringLiteral("/etc/syslog-ng/conf.d/other.conf"), 2, QStringLiteral("filter"), QStringLiteral("f_nowhere")}}));
        QCOMPARE(ConfigCheck::describe(ConfigCheck::undefinedReferences(files).constFirst()),
                 QStringLiteral("/etc/syslog-ng/conf.d/other.conf:2: destination(d_scl) is not defined"));
    }

    void pythonClasses()
    {
        const QByteArray configuration =
            "destination d {\n"
            "    python(\n"
            "\tclass(\"pkg.module.Dest\")\n"
            "\toptions(\"class\", \"not.this\"));\n"
            "};\n"
            "source s { python-fetcher(class(bare.Fetcher)); };\n"
            "destination q { file(\"/x\" template(\"$(python class(no))\")); };\n"
            "python {\nclass Inline(object):\n    pass\n};\n"
            "parser p { python(class(\"Inline\")); };\n";
        const QString path = QStringLiteral("/etc/syslog-ng/conf.d/p.conf");
        const QList<ConfigCheck::ConfigFile> files{{path, configuration}};
        QCOMPARE(ConfigCheck::pythonClasses(files),
                 (QList<ConfigCheck::Reference>{{path, 3, QStringLiteral("class"), QStringLiteral("pkg.module.Dest")},
                                                {path, 6, QStringLiteral("class"), QStringLiteral("bare.Fetcher")},
                                                {path, 12, QStringLiteral("class"), QStringLiteral("Inline")}}));
        QCOMPARE(ConfigCheck::pythonBlockCode(files), QByteArray("\nclass Inline(object):\n    pass\n\n"));
    }

    // Each class is imported as syslog-ng would: by module path, or from the
    // python {} blocks; syslog-ng's own module is there as a stand-in.
    void importPythonClasses_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason"); // empty: imported

        QTest::newRow("notification-destination") << QStringLiteral("syslog_ng_mod_velta.velta_syslog_ng_destination.VeltaSyslogNgDestination") << QString();
        QTest::newRow("missing-class") << QStringLiteral("syslog_ng_mod_velta.velta_syslog_ng_destination.NoSuchDestination")
                                       << QStringLiteral(
                                              "AttributeError: module 'syslog_ng_mod_velta.velta_syslog_ng_destination' has no attribute 'NoSuchDestination'");
        QTest::newRow("missing-module") << QStringLiteral("velta_no_such_module.Destination")
                                        << QStringLiteral("ModuleNotFoundError: No module named 'velta_no_such_module'");
        QTest::newRow("uses-syslogng-module") << QStringLiteral("velta_check_subject.WithSyslogNg") << QString();
        QTest::newRow("not-a-class") << QStringLiteral("velta_check_subject.function")
                                     << QStringLiteral("TypeError: velta_check_subject.function is not a class");
        QTest::newRow("module-fails") << QStringLiteral("velta_check_broken.Destination") << QStringLiteral("ZeroDivisionError");
        QTest::newRow("from-python-block") << QStringLiteral("Inline") << QString();
        QTest::newRow("missing-from-python-block") << QStringLiteral("Elsewhere") << QStringLiteral("AttributeError");
    }

    void importPythonClasses()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        // The modules lie where the system keeps its Python modules.
        const TestRoot root;
        const QDir modules(root.placed(QStringLiteral("/usr/lib/python3/dist-packages")));
        QFile subject(modules.filePath(QStringLiteral("velta_check_subject.py")));
        QVERIFY(subject.open(QIODevice::WriteOnly));
        subject.write("import syslogng\nfrom syslogng import LogSource\n\nclass WithSyslogNg(LogSource):\n    pass\n\ndef function():\n    pass\n");
        subject.close();
        QFile broken(modules.filePath(QStringLiteral("velta_check_broken.py")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("print('noise on standard output')\n1 / 0\n");
        broken.close();

        const ConfigCheck::Reference reference{QStringLiteral("/etc/syslog-ng/conf.d/x.conf"), 7, QStringLiteral("class"), name};
        const ConfigCheck::Result result = ConfigCheck::importPythonClasses({reference}, "class Inline(object):\n    pass\n");
        QCOMPARE(result.accepted, reason.isEmpty());
        if (!reason.isEmpty()) {
            QVERIFY2(result.message.startsWith(QStringLiteral("/etc/syslog-ng/conf.d/x.conf:7: the Python class \"%1\" cannot be imported: ").arg(name)),
                     qPrintable(result.message));
            QVERIFY2(result.message.contains(reason), qPrintable(result.message));
        }
        // The check leaves nothing beside the modules.
        QVERIFY(!QFileInfo::exists(modules.filePath(QStringLiteral("__pycache__"))));
    }

    // What syslog-ng parses and then refuses when it starts is refused before:
    // a filter that names an undefined one, a Python class that is not there.
    void syslogNgRefusesWhatFailsAtStart_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("message");

        QTest::newRow("undefined-reference-in-log") << QByteArray("log { source(velta_events_src); filter(no_such_filter); destination(velta_json_dst); };\n")
                                                    << QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-extra.conf:1: filter(no_such_filter) is not defined");
        QTest::newRow("undefined-filter-in-filter") << QByteArray(
            "filter f { filter(velta_undefined_filter); };\n"
            "log { source(velta_events_src); filter(f); destination(velta_json_dst); };\n")
                                                    << QStringLiteral(
                                                           "/etc/syslog-ng/conf.d/mod-velta-extra.conf:1: filter(velta_undefined_filter) is not defined");
        QTest::newRow("missing-python-class") << QByteArray(
            "destination notify {\n    python(class(\"syslog_ng_mod_velta.velta_syslog_ng_destination.Missing\"));\n};\n"
            "log { source(velta_events_src); destination(notify); };\n")
                                              << QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-extra.conf:2: the Python class");
        QTest::newRow("present-python-class") << QByteArray(
            "destination notify {\n    python(class(\"syslog_ng_mod_velta.velta_syslog_ng_destination.VeltaSyslogNgDestination\"));\n};\n"
            "log { source(velta_events_src); destination(notify); };\n")
                                              << QString();
    }

    void syslogNgRefusesWhatFailsAtStart()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        TestRoot root;
        root.copySampleSystem();
        QVERIFY(ConfigCheck::syslogNg(root.placed(Paths::SyslogNgConfDir)).accepted);
        root.writeFile(QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-extra.conf"), file);
        const ConfigCheck::Result check = ConfigCheck::syslogNg(root.placed(Paths::SyslogNgConfDir));
        QVERIFY2(check.accepted == message.isEmpty(), qPrintable(check.message));
        QVERIFY2(check.message.contains(message), qPrintable(check.message));
    }

    // syslog-ng would wait on a FIFO anywhere in the chain of includes for the
    // check's whole time limit: it is refused before syslog-ng runs.
    void specialFileInIncludeChain_data()
    {
        QTest::addColumn<QByteArray>("common"); // appended to the common file
        QTest::addColumn<QString>("special"); // the system path that is no regular file
        QTest::addColumn<int>("perEventFiles"); // in the folder besides the common file

        QTest::newRow("fifo-included") << QByteArray("@include \"/srv/inc/fifo.conf\"\n") << QStringLiteral("/srv/inc/fifo.conf") << 0;
        QTest::newRow("fifo-in-included-folder") << QByteArray("@include \"/srv/inc\"\n") << QStringLiteral("/srv/inc/fifo.conf") << 0;
        QTest::newRow("fifo-matched-by-glob") << QByteArray("@include \"/srv/inc/*.conf\"\n") << QStringLiteral("/srv/inc/fifo.conf") << 0;
        QTest::newRow("fifo-two-files-deep") << QByteArray("@include \"/srv/first.conf\"\n") << QStringLiteral("/srv/inc/fifo.conf") << 0;
        // More files than includes may nest: each is walked on its own.
        QTest::newRow("after-many-per-event-files") << QByteArray("@include \"/srv/inc/fifo.conf\"\n") << QStringLiteral("/srv/inc/fifo.conf") << 100;
        QTest::newRow("link-to-a-device") << QByteArray("@include \"/srv/zero.conf\"\n") << QStringLiteral("/srv/zero.conf") << 0;
    }

    void specialFileInIncludeChain()
    {
        QFETCH(QByteArray, common);
        QFETCH(QString, special);
        QFETCH(int, perEventFiles);
        TestRoot root;
        root.copySampleSystem();
        QVERIFY(QDir().mkpath(root.placed(QStringLiteral("/srv/inc"))));
        QCOMPARE(::mkfifo(QFile::encodeName(root.placed(QStringLiteral("/srv/inc/fifo.conf"))).constData(), 0600), 0);
        root.writeFile(QStringLiteral("/srv/first.conf"), "# a file of the administrator's\n@include \"/srv/second.conf\"\n");
        root.writeFile(QStringLiteral("/srv/second.conf"), "@include \"/srv/inc\"\n");
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), root.placed(QStringLiteral("/srv/zero.conf"))));
        root.writeFile(Paths::CommonSyslogNgFile, root.readFile(Paths::CommonSyslogNgFile) + common);
        for (int i = 0; i < perEventFiles; ++i) {
            root.writeFile(Paths::PerEventFilePrefix + QString::number(i) + QLatin1String(".conf"), "# an event\n");
        }
        QElapsedTimer timer;
        timer.start();
        const ConfigCheck::Result check = ConfigCheck::syslogNg(root.placed(Paths::SyslogNgConfDir));
        QVERIFY(!check.accepted);
        QVERIFY2(check.message.contains(special + QLatin1String(": not a regular file")), qPrintable(check.message));
        QVERIFY2(check.message.contains(QLatin1String("@include")), qPrintable(check.message));
        // Refused before syslog-ng ran, which would have waited its whole time limit.
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    }

    void checkedSyslogNgWrite_data()
    {
        QTest::addColumn<QByteArray>("extra"); // the new content of a second file
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("message");

        QTest::newRow("accepted") << QByteArray("log { source(velta_events_src); destination(velta_json_dst); };\n") << true << QString();
        QTest::newRow("syntax-error") << QByteArray("destination broken {\n") << false << QStringLiteral("syslog-ng refuses the configuration");
        QTest::newRow("undefined-reference") << QByteArray("log { source(velta_events_src); destination(nowhere); };\n") << false
                                             << QStringLiteral("destination(nowhere)");
    }

    // Nothing of a refused set reaches the live folder, whatever the order.
    void checkedSyslogNgWrite()
    {
        QFETCH(QByteArray, extra);
        QFETCH(bool, accepted);
        QFETCH(QString, message);
        TestRoot root;
        root.copySampleSystem();
        const QString common = QStringLiteral("/etc/syslog-ng/conf.d/mod-velta.conf");
        const QString second = QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-second.conf");
        const QByteArray before = root.readFile(common);
        const QByteArray changedCommon = before + "# changed\n";
        const ConfigCheck::Result result = Waited::syslogNg({{common, changedCommon}, {second, extra}});
        QCOMPARE(result.accepted, accepted);
        QVERIFY2(result.message.contains(message), qPrintable(result.message));
        QCOMPARE(root.readFile(common), accepted ? changedCommon : before);
        QCOMPARE(root.exists(second), accepted);
    }

    // A live file that cannot be replaced puts back the ones changed before it.
    void failedWritePutsBack()
    {
        TestRoot root;
        root.copySampleSystem();
        const QString common = QStringLiteral("/etc/syslog-ng/conf.d/mod-velta.conf");
        const QString blocked = QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-blocked.conf");
        const QByteArray before = root.readFile(common);
        // Accepted on the staged copy, but a directory stands in the live file's place.
        QDir().mkpath(root.placed(blocked));
        const ConfigCheck::Result result = Waited::syslogNg({{common, before + "# changed\n"}, {blocked, "# empty\n"}});
        QVERIFY(!result.accepted);
        QVERIFY2(result.message.contains(blocked), qPrintable(result.message));
        QCOMPARE(root.readFile(common), before);
    }

    void checkedLogrotateWrite_data()
    {
        QTest::addColumn<QByteArray>("size");
        QTest::addColumn<bool>("accepted");

        QTest::newRow("largest-megabytes-logrotate-takes") << QByteArray("8796093022207M") << true;
        QTest::newRow("beyond-what-logrotate-takes") << QByteArray("8796093022208M") << false;
    }

    void checkedLogrotateWrite()
    {
        QFETCH(QByteArray, size);
        QFETCH(bool, accepted);
        TestRoot root;
        root.copySampleSystem();
        const QByteArray before = root.readFile(Paths::LogRotateFile);
        const QByteArray content = "/dorvex/log/velta/events\n{\n\tsize " + size + "\n}\n";
        const ConfigCheck::Result result = Waited::logrotate(Paths::LogRotateFile, content);
        QCOMPARE(result.accepted, accepted);
        QCOMPARE(root.readFile(Paths::LogRotateFile), accepted ? content : before);
        if (!accepted) {
            QVERIFY2(result.message.contains(QLatin1String("bad size")), qPrintable(result.message));
            QVERIFY2(result.message.contains(Paths::LogRotateFile), qPrintable(result.message));
        }
    }
};

QTEST_GUILESS_MAIN(ConfigCheckTest)
#include "configchecktest.moc"
