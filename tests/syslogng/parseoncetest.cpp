#include "syslogng/parseonce.h"
#include "syslogng/commonsettingsparser.h"
#include "syslogng/syslogngtree.h"
#include "syslogngcheck.h"
#include "testroot.h"

#include "platform/paths.h"

#include <QFile>
#include <QTest>

#include <memory>

namespace
{
QByteArray sourceFile(const char *path)
{
    QFile file(QString::fromUtf8(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray fasterForm(const TestRoot &root, const QByteArray &text)
{
    root.writeFile(Paths::CommonSyslogNgFile, text);
    CommonSettingsParser parser(root.placed(Paths::CommonSyslogNgFile));
    const std::unique_ptr<TreeItem> tree(parser.parse());
    const auto *syslogNgRoot = dynamic_cast<const SyslogNgRoot *>(tree.get());
    return syslogNgRoot && !parser.damaged() ? ParseOnce::fasterForm(*syslogNgRoot) : QByteArray("damaged");
}

// The previous sample's events source and parser, written by hand with
// options, comments and spacing of an administrator's own.
const QByteArray HandWritten =
    "@version: 3.38\n"
    "source velta_events_src {\n"
    "  # the collector's socket\n"
    "  unix-dgram(\"/run/syslog-ng-mod-velta/events.sock\"\n"
    "      flags(no-parse) perm(0600));\n"
    "  internal();\n"
    "};\n"
    "parser velta_events_parser { json-parser(prefix(\"MSG.\") marker(\"@json:\")); };\n"
    "destination velta_json_dst { file(\"/dorvex/log/velta/events\"); };\n"
    "log { source(velta_events_src); parser(velta_events_parser); destination(velta_json_dst); };\n";
} // namespace

class ParseOnceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fasterForm_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<QByteArray>>("kept"); // lines the faster form still holds
        QTest::newRow("previous-sample") << sourceFile(QUOR_SOURCE_DIR "/bench/mod-velta-previous.conf")
                                         << QList<QByteArray>{"# The site's central log server.",
                                                              "    destination(velta_central_dst); # over TCP, so that none is lost"};
        QTest::newRow("hand-written") << HandWritten
                                      << QList<QByteArray>{"            # the collector's socket",
                                                           "            unix-dgram(\"/run/syslog-ng-mod-velta/events.sock\"",
                                                           "                flags(no-parse) perm(0600));",
                                                           "            internal();",
                                                           "                    json-parser(prefix(\"MSG.\") marker(\"@json:\"));"};
    }
    // The faster form is accepted by syslog-ng, keeps the administrator's lines
    // and everything outside the two bodies, and is not offered again.
    void fasterForm()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<QByteArray>, kept);
        TestRoot root;
        const QByteArray faster = ::fasterForm(root, text);
        QVERIFY(!faster.isEmpty() && faster != "damaged");
        const QList<QByteArray> lines = faster.split('\n');
        for (const QByteArray &line : kept) {
            QVERIFY2(lines.contains(line), line.constData());
        }
        QVERIFY(faster.contains("set-tag(\"velta_json\")") && faster.contains("tags(\"velta_json\")"));
        const int logAt = text.indexOf("\nlog {");
        QVERIFY(faster.endsWith(text.mid(logAt)));
        QString errors;
        QVERIFY2(syslogNgAccepts(root, &errors), qPrintable(errors));
        QCOMPARE(::fasterForm(root, faster), QByteArray());
    }

    void notOffered_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("sample") << sourceFile(QUOR_DATA_DIR "/root/etc/syslog-ng/conf.d/mod-velta.conf");
        QTest::newRow("no-parser") << QByteArray("source velta_events_src { internal(); };\n");
        QTest::newRow("no-source") << QByteArray("parser velta_events_parser { json-parser(); };\n");
        QTest::newRow("empty-parser") << QByteArray("source velta_events_src { internal(); };\nparser velta_events_parser { };\n");
        QTest::newRow("channel-source") << QByteArray(
            "source velta_events_src { channel { source { internal(); }; }; };\nparser velta_events_parser { json-parser(); };\n");
    }
    void notOffered()
    {
        QFETCH(QByteArray, text);
        TestRoot root;
        QCOMPARE(::fasterForm(root, text), QByteArray());
    }
};

QTEST_GUILESS_MAIN(ParseOnceTest)

#include "parseoncetest.moc"
