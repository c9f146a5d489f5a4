#include "platform/syslogngreader.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The reader against syslog-ng itself: what it makes of includes, @define,
// backticks and blocks is what "syslog-ng --preprocess-into" writes.
class SyslogNgReaderTest : public QObject
{
    Q_OBJECT

    static QByteArray fileText(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static QByteArray including(const QString &path)
    {
        return "@version: 3.38\n@include \"" + QFile::encodeName(path) + "\"\n";
    }

    static SyslogNgReader::Value firstDriver(const SyslogNgReader::Config &config)
    {
        return config.statements.empty() || !config.statements.back().body() ? SyslogNgReader::Value()
                                                                             : config.statements.back().body()->front().values.front();
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Both read the system's own files: syslog-ng's library of blocks.
        qputenv("QUOR_ADMIN_EVENTS_ROOT", "");
        qputenv("VELTA_READER_TEST", "/from/the/environment");
    }

    void asSyslogNgReadsIt_data()
    {
        QTest::addColumn<QByteArray>("text"); // "@DIR@" stands for the case's folder
        QTest::addColumn<QByteArray>("part"); // @DIR@/parts/b.conf, when not empty

        QTest::newRow("sample-common-file") << fileText(QStringLiteral(QUOR_DATA_DIR "/root/etc/syslog-ng/conf.d/mod-velta.conf")) << QByteArray();
        const QDir corpus(QStringLiteral(QUOR_SOURCE_DIR "/tests/syslogng/corpus"));
        const QStringList names = corpus.entryList({QStringLiteral("*.conf")}, QDir::Files, QDir::Name);
        for (const QString &name : names) {
            // system() is made by syslog-ng's own code from the machine it runs on, not read from a file.
            QByteArray text = fileText(corpus.filePath(name)).replace("system();", "unix-dgram(\"/dev/log\");");
            if (!text.contains("@version")) {
                text.prepend("@version: 3.38\n");
            }
            QTest::newRow(qPrintable(QLatin1String("corpus-") + name)) << text << QByteArray();
        }
        QTest::newRow("scl.conf") << including(QStringLiteral("/etc/syslog-ng/scl.conf")) << QByteArray();
        QDirIterator scl(QStringLiteral("/usr/share/syslog-ng/include/scl"), {QStringLiteral("*.conf")}, QDir::Files, QDirIterator::Subdirectories);
        QStringList sclFiles;
        while (scl.hasNext()) {
            sclFiles << scl.next();
        }
        sclFiles.sort();
        for (const QString &file : std::as_const(sclFiles)) {
            QTest::newRow(qPrintable(QLatin1String("scl-") + file.mid(file.indexOf(QLatin1String("scl/")) + 4))) << including(file) << QByteArray();
        }
        QTest::newRow("scl-blocks-used") << QByteArray(
            "@version: 3.38\n@include \"scl.conf\"\n"
            "destination d_fwd { syslog-ng(server(\"192.0.2.1\") port(6000) log-fifo-size(100)); };\n"
            "parser p_apache { apache-accesslog-parser(prefix(\".web.\")); };\n"
            "destination d_gl { graylog2(host(\"192.0.2.2\")); };\n"
            "parser p_sudo { sudo-parser(prefix(\".s.\")); };\n")
                                         << QByteArray();
        QTest::newRow("defines-and-backticks") << QByteArray(
            "@version: 3.38\n"
            "@define dir \"/var/log/x\"\n"
            "@define perm 0640\n"
            "# a comment with `dir` in it\n"
            "destination d { file(\"`dir`/a\" perm(`perm`) template('`dir` ``raw``')); };\n"
            "destination e { file(\"`VELTA_READER_TEST`/b\" template(\"`undefined-here`\")); };\n"
            "@define dir \"/var/log/y\"\n"
            "destination f { file(\"`dir`/c\"); };\n")
                                               << QByteArray();
        QTest::newRow("blocks-with-arguments") << QByteArray(
            "@version: 3.38\n"
            "@define where \"/var/log/blocks\"\n"
            "block destination per_program(dir(\"`where`\") perm(0640) ...) {\n"
            "    file(\"`dir`/${PROGRAM}.log\" perm(`perm`) `__VARARGS__`); # a } in a comment\n"
            "};\n"
            "block root two_objects(name(x)) {\n"
            "    destination d_`name` { per_program(dir(\"/var/log/`name`\")); };\n"
            "    filter f_`name` { program(\"`name`\") and not level(debug); };\n"
            "};\n"
            "two_objects(name(cron));\n"
            "destination d_all { per_program(create-dirs(yes)); per_program(perm(0600)); };\n"
            "log { source { internal(); }; filter(f_cron); destination(d_cron); destination(d_all); };\n")
                                               << QByteArray();
        QTest::newRow("includes-of-a-folder-and-a-glob") << QByteArray(
            "@version: 3.38\n"
            "@include \"@DIR@/parts\"\n"
            "@include '@DIR@/other/*.c[o]nf'\n"
            "destination d_main { file(\"/var/log/main\"); };\n")
                                                         << QByteArray("destination d_`part` { file(\"/var/log/part\"); };\n@define part b\n");
        QTest::newRow("python-code") << QByteArray(
            "@version: 3.38\n"
            "python {\n"
            "class Braces(object):\n"
            "    text = \"}\"  # and a } here\n"
            "    other = '{'\n"
            "};\n"
            "destination d { file(\"/var/log/p\"); };\n")
                                     << QByteArray();
    }

    void asSyslogNgReadsIt()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, part);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        text.replace("@DIR@", QFile::encodeName(dir.path()));
        const QString main = dir.filePath(QStringLiteral("main.conf"));
        const QString preprocessed = dir.filePath(QStringLiteral("preprocessed.conf"));
        QFile mainFile(main);
        QVERIFY(mainFile.open(QIODevice::WriteOnly) && mainFile.write(text) == text.size());
        mainFile.close();
        if (!part.isEmpty()) {
            QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("parts")) && QDir(dir.path()).mkpath(QStringLiteral("other")));
            for (const QString &name : {QStringLiteral("parts/b.conf"),
                                        QStringLiteral("parts/a.conf"),
                                        QStringLiteral("parts/.hidden"),
                                        QStringLiteral("parts/c~"),
                                        QStringLiteral("other/z.conf"),
                                        QStringLiteral("other/y.conf"),
                                        QStringLiteral("other/x.txt")}) {
                QFile file(dir.filePath(name));
                QVERIFY(file.open(QIODevice::WriteOnly));
                const QByteArray value = QFileInfo(name).path().toUtf8() + "_" + QFileInfo(name).baseName().toUtf8() + "_" + QByteArray::number(name.size());
                file.write(QByteArray(part).replace("`part`", value));
            }
        }

        QProcess syslogNg;
        syslogNg.setProcessChannelMode(QProcess::MergedChannels);
        syslogNg.start(QStringLiteral("/usr/sbin/syslog-ng"),
                       {QStringLiteral("--syntax-only"),
                        QLatin1String("--cfgfile=") + main,
                        QLatin1String("--preprocess-into=") + preprocessed,
                        QLatin1String("--persist-file=") + dir.filePath(QStringLiteral("persist")),
                        QLatin1String("--pidfile=") + dir.filePath(QStringLiteral("pid")),
                        QLatin1String("--control=") + dir.filePath(QStringLiteral("ctl"))});
        QVERIFY(syslogNg.waitForFinished(30000));
        const QByteArray said = syslogNg.readAll();
        if (syslogNg.exitCode() != 0 || said.contains("Error")) {
            QSKIP(qPrintable(QLatin1String("syslog-ng refuses the file, there is nothing to compare: ") + QString::fromUtf8(said.left(300))));
        }

        SyslogNgReader::Options following;
        following.includeFiles = SyslogNgReader::systemIncludeFiles;
        const SyslogNgReader::Config ours = SyslogNgReader::read(main, text, following);
        QVERIFY2(ours.ok, qPrintable(ours.error));
        // What syslog-ng wrote holds its includes read and its blocks expanded already.
        SyslogNgReader::Options substituted;
        substituted.substituteLines = false;
        const SyslogNgReader::Config theirs = SyslogNgReader::read(preprocessed, fileText(preprocessed), substituted);
        QVERIFY2(theirs.ok, qPrintable(theirs.error));
        QCOMPARE(QString::fromUtf8(SyslogNgReader::normalised(ours)).split(QLatin1Char('\n')),
                 QString::fromUtf8(SyslogNgReader::normalised(theirs)).split(QLatin1Char('\n')));
    }

    // Strings as syslog-ng unescapes them (checked against what it wrote to a file).
    void unescaped_data()
    {
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QByteArray>("text");

        QTest::newRow("hex-and-octal") << QByteArray("\"\\x41\\x4g\\o101\\o10\\x\"") << QByteArray("A\x04gA\bx");
        QTest::newRow("letters") << QByteArray("\"\\a\\n\\r\\t\\v\"") << QByteArray("\a\n\r\t\v");
        QTest::newRow("other-characters-stand-for-themselves") << QByteArray("\"$\\(pyt\\hon \\101 \\b\\\"\\\\\"") << QByteArray("$(python 101 b\"\\");
        QTest::newRow("line-continued") << QByteArray("\"a\\\nb\"") << QByteArray("ab");
        QTest::newRow("single-quotes-take-all-as-written") << QByteArray("'\\x41\\n\"\\'") << QByteArray("\\x41\\n\"\\");
    }

    void unescaped()
    {
        QFETCH(QByteArray, written);
        QFETCH(QByteArray, text);
        const SyslogNgReader::Config config = SyslogNgReader::read(QStringLiteral("/x.conf"), "destination d { file(" + written + "); };\n");
        QVERIFY2(config.ok, qPrintable(config.error));
        const SyslogNgReader::Value driver = firstDriver(config);
        QCOMPARE(driver.arguments.size(), size_t(1));
        QCOMPARE(driver.arguments.front().text, text);
        // Written back, it reads the same.
        const SyslogNgReader::Config again = SyslogNgReader::read(QStringLiteral("/x.conf"), "destination d { " + SyslogNgReader::written(driver) + "; };\n");
        QCOMPARE(firstDriver(again).arguments.front().text, text);
    }

    void errors_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");

        const QByteArray deep = "destination d { file(\"/x\" " + QByteArray(100000, '(') + QByteArray(100000, ')') + "); };\n";
        QTest::newRow("deep-parentheses") << deep << QStringLiteral("/x.conf:1: destination d: parentheses and braces are nested more than 100 deep");
        QTest::newRow("deep-braces") << "log " + QByteArray(100000, '{')
                                     << QStringLiteral("/x.conf:1: log: parentheses and braces are nested more than 100 deep");
        QTest::newRow("string-not-closed") << QByteArray("\ndestination d { file(\"/x); };\n")
                                           << QStringLiteral("/x.conf:3: destination d: a quoted text that begins on line 2 is not closed");
        QTest::newRow("backtick-not-closed") << QByteArray("@version: 3.38\ndestination d { file(\"/x`y\"); };\n")
                                             << QStringLiteral("/x.conf:2: a backtick is not closed on its line");
        QTest::newRow("directive-inside-a-line") << QByteArray("destination d { file(\"/x\"); }; @define a b\n")
                                                 << QStringLiteral("/x.conf:1: a directive must begin its line");
        QTest::newRow("nul-byte") << QByteArray("destination d {\n\0 };\n", 21) << QStringLiteral("/x.conf:2: destination d: a NUL byte");
        QTest::newRow("unknown-directive") << QByteArray("@exec rm\n") << QStringLiteral("/x.conf:1: @exec: there is no directive @exec");
        QTest::newRow("statement-not-ended") << QByteArray("destination d { file(\"/x\");\n")
                                             << QStringLiteral("/x.conf:2: destination d: the file ends inside a statement");
        QTest::newRow("block-argument-unknown") << QByteArray("block destination b(a(1)) { file(\"/`a`\"); };\ndestination d { b(c(2)); };\n")
                                                << QStringLiteral("/x.conf:2: destination d: the block b has no argument c");
        QTest::newRow("block-used-within-itself") << QByteArray("block destination b() { b(); };\ndestination d { b(); };\n")
                                                  << QStringLiteral("includes or blocks are nested more than 64 deep");
    }

    void errors()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        const SyslogNgReader::Config config = SyslogNgReader::read(QStringLiteral("/x.conf"), text);
        QVERIFY(!config.ok);
        QVERIFY2(config.error.endsWith(error), qPrintable(config.error));
    }
};

QTEST_GUILESS_MAIN(SyslogNgReaderTest)
#include "syslogngreadertest.moc"
