#include "platform/configcheck.h"
#include "platform/checkedwrite.h"
#include "platform/paths.h"
#include "testroot.h"

#include <QDir>
#include <QTest>

// The checks that run before syslog-ng or logrotate files are used, with the real tools.
class ConfigCheckTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void undefinedLogReferences_data()
    {
        QTest::addColumn<QByteArray>("configuration");
        QTest::addColumn<QStringList>("missing");

        const QByteArray objects =
            "source s { unix-dgram(\"/run/s.sock\"); };\n"
            "filter f { program(\"x\"); };\n"
            "destination d { file(\"/var/log/d\"); };\n";
        QTest::newRow("all-defined") << objects + "log { source(s); filter(f); destination(d); };\n" << QStringList();
        QTest::newRow("missing-filter") << objects + "log { source(s); filter(no_such_filter); destination(d); };\n"
                                        << QStringList{QStringLiteral("filter(no_such_filter)")};
        QTest::newRow("missing-destination-named-twice") << objects + "log { source(s); destination(gone); };\nlog { source(s); destination(gone); };\n"
                                                         << QStringList{QStringLiteral("destination(gone)")};
        QTest::newRow("kinds-have-own-names") << objects + "log { source(d); destination(s); };\n"
                                              << QStringList{QStringLiteral("source(d)"), QStringLiteral("destination(s)")};
        QTest::newRow("nested-log") << objects + "log { source(s); log { parser(p_missing); destination(d); }; };\n"
                                    << QStringList{QStringLiteral("parser(p_missing)")};
        QTest::newRow("defined-after-use") << "log { source(s); destination(d); };\n" + objects << QStringList();
        QTest::newRow("inline-objects-name-nothing") << objects
                + "log { source(s); parser { json-parser(prefix(\"MSG.\")); }; destination { file(\"/x\" template(\"$MSG\")); }; };\n"
                                                     << QStringList();
        QTest::newRow("comments-and-strings-ignored") << objects
                + "# log { source(s); destination(commented); };\nlog { source(s); destination(d); }; # filter(after)\n"
                  "destination q { file(\"log { destination(quoted) }\"); };\n"
                                                      << QStringList();
        QTest::newRow("object-inside-block-definition-is-not-defined")
            << objects + "block root b() { destination inner { file(\"/x\"); }; };\nlog { source(s); destination(inner); };\n"
            << QStringList{QStringLiteral("destination(inner)")};
    }

    void undefinedLogReferences()
    {
        QFETCH(QByteArray, configuration);
        QFETCH(QStringList, missing);
        QCOMPARE(ConfigCheck::undefinedLogReferences(configuration), missing);
    }

    // syslog-ng parses a log statement naming a filter that nothing defines, and
    // then fails to start: the check refuses it with the missing name.
    void syslogNgRefusesUndefinedReference()
    {
        TestRoot root;
        root.copySampleSystem();
        QVERIFY(ConfigCheck::syslogNg(root.placed(Paths::SyslogNgConfDir)).accepted);
        root.writeFile(QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-extra.conf"),
                       "log { source(velta_events_src); filter(no_such_filter); destination(velta_json_dst); };\n");
        const ConfigCheck::Result check = ConfigCheck::syslogNg(root.placed(Paths::SyslogNgConfDir));
        QVERIFY(!check.accepted);
        QVERIFY2(check.message.contains(QLatin1String("filter(no_such_filter)")), qPrintable(check.message));
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
        const ConfigCheck::Result result = CheckedWrite::syslogNg({{common, changedCommon}, {second, extra}});
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
        const ConfigCheck::Result result = CheckedWrite::syslogNg({{common, before + "# changed\n"}, {blocked, "# empty\n"}});
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
        const ConfigCheck::Result result = CheckedWrite::logrotate(Paths::LogRotateFile, content);
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
