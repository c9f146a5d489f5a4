#include "model/treeitem.h"
#include "platform/paths.h"
#include "syslogng/commonsettingsparser.h"
#include "syslogng/commonwriter.h"
#include "syslogngcheck.h"
#include "testroot.h"

#include <QTest>

#include <memory>

namespace
{
QString cell(const TreeItem *item, int column)
{
    const QVariant value = item->data(column);
    return value.isValid() ? value.toString() : QStringLiteral("<none>");
}

// One line per node below the root: "kind|name|<none>", options indented by ">".
QStringList dump(const TreeItem *root)
{
    QStringList lines;
    for (int i = 0; i < root->childCount(); ++i) {
        const TreeItem *statement = root->child(i);
        lines << cell(statement, 0) + QLatin1Char('|') + cell(statement, 1) + QLatin1Char('|') + cell(statement, 2);
        for (int j = 0; j < statement->childCount(); ++j) {
            const TreeItem *option = statement->child(j);
            lines << QLatin1Char('>') + cell(option, 0) + QLatin1Char('|') + cell(option, 1) + QLatin1Char('|') + cell(option, 2);
        }
    }
    return lines;
}

// The inverse of dump() for building trees to write.
std::unique_ptr<TreeItem> treeFrom(const QStringList &lines)
{
    auto root = std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("Parameter"), QStringLiteral("Name"), QStringLiteral("Value")});
    TreeItem *statement = nullptr;
    for (const QString &line : lines) {
        const QStringList parts = line.mid(line.startsWith(QLatin1Char('>')) ? 1 : 0).split(QLatin1Char('|'));
        auto node = std::make_unique<TreeItem>(QVector<QVariant>{parts.value(0), QVariant(), parts.value(1)});
        if (line.startsWith(QLatin1Char('>'))) {
            statement->appendChild(std::move(node));
        } else {
            node->setItemData({parts.value(0), parts.value(1), QVariant()});
            statement = node.get();
            root->appendChild(std::move(node));
        }
    }
    return root;
}

std::unique_ptr<TreeItem> parse(const QString &path, QString *error = nullptr)
{
    CommonSettingsParser parser(path);
    std::unique_ptr<TreeItem> root(parser.parse());
    if (error) {
        *error = parser.errorString();
    }
    return root;
}

// A driver option that the reader holds back ("port" holds "or"), then another one.
QByteArray heldBackThenAnother()
{
    return QByteArray("destination d {\n    network(\"10.1.2.3\" port(514));\n    file(\"/a\");\n};\n\n");
}

QByteArray afterNestedBlock()
{
    return QByteArray("log {\n    channel {\n        filter(f);\n    };\n    flags(final);\n};\n\n");
}

// Found by the fuzzer before quoted texts were read as such: braces, a
// semicolon and quotes of another option inside one quoted text.
QByteArray quotedTextOverLines()
{
    return QByteArray("source s {\n    unix-dgram(\"/run/e {\n    network(\"h\" port(514) st);\n};ts.sock\" flags(no-parse));\n};\n\n");
}

QByteArray commentsAndCarriageReturns()
{
    return QByteArray("# head {\r\nlog { # (\r\n    source(s); # }\r\n};\r\n\r\n");
}

QByteArray sampleCommonFile()
{
    QFile file(QStringLiteral(QUOR_DATA_DIR "/root") + Paths::CommonSyslogNgFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class CommonSettingsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected");
        // The blank line before it stays with the directive text.
        QTest::newRow("directive-after-blocks-comes-first")
            << QByteArray("log {\n    source(s);\n};\n\n@include \"extra.conf\"\n\n")
            << QStringList{QStringLiteral("\n@include|extra.conf|<none>"), QStringLiteral("log||<none>"), QStringLiteral(">source|<none>|s")};
        // Found by the fuzzer: taken for a directive, it was written back into the block and broke it.
        QTest::newRow("at-sign-inside-a-block-is-no-directive")
            << QByteArray("source s {\n  @ unix-dgram(\"/run/e.sock\" flags(no-parse));\n};\n\n")
            << QStringList{QStringLiteral("source|s|<none>"), QStringLiteral(">@unix-dgram|<none>|\"/run/e.sock\" flags(no-parse)")};
        QTest::newRow("directive-without-quotes-gives-nothing") << QByteArray("@version: 3.38\n\n") << QStringList();
        QTest::newRow("last-one-line-statement-is-lost") << QByteArray("destination a {\n    file(\"/a\");\n};\ndestination b { file(\"/b\"); };")
                                                         << QStringList{QStringLiteral("destination|a|<none>"), QStringLiteral(">file|<none>|\"/a\"")};
        QTest::newRow("unbalanced-brace-drops-the-rest")
            << QByteArray("destination a {\n    file(\"/a\");\n\nlog {\n    destination(a);\n};\n\n") << QStringList();
        QTest::newRow("option-over-two-lines") << QByteArray("destination a {\n    file(\"/a\"\n        template(\"$MSG\\n\"));\n};\n\n")
                                               << QStringList{QStringLiteral("destination|a|<none>"),
                                                              QStringLiteral(">file|<none>|\"/a\"\ntemplate(\"$MSG\\n\")")};
        QTest::newRow("nested-block-is-one-option") << QByteArray("log {\n    channel {\n        filter(f);\n    };\n};\n\n")
                                                    << QStringList{QStringLiteral("log||<none>"), QStringLiteral(">channel|<none>|\nfilter(f);\n")};
        QTest::newRow("network-option-held-back-by-port")
            << QByteArray("destination n {\n    network(\"10.1.2.3\" port(514) transport(udp) flags(syslog-protocol));\n};\n\n")
            << QStringList{QStringLiteral("destination|n|<none>"),
                           QStringLiteral(">network|<none>|\"10.1.2.3\" port(514) transport(udp) flags(syslog-protocol)")};
        // Found by the fuzzer: the line after a held-back option was read into it and again as an option of its own.
        QTest::newRow("line-after-a-held-back-option-is-its-own") << heldBackThenAnother()
                                                                  << QStringList{QStringLiteral("destination|d|<none>"),
                                                                                 QStringLiteral(">network|<none>|\"10.1.2.3\" port(514)"),
                                                                                 QStringLiteral(">file|<none>|\"/a\"")};
        QTest::newRow("line-after-a-nested-block-is-its-own")
            << afterNestedBlock()
            << QStringList{QStringLiteral("log||<none>"), QStringLiteral(">channel|<none>|\nfilter(f);\n"), QStringLiteral(">flags|<none>|final")};
        QTest::newRow("quoted-texts-hold-syntax") << QByteArray("destination d {\n    file(\"/a;{}(#\\\")\" template('$MSG # x\\n'));\n};\n\n")
                                                  << QStringList{QStringLiteral("destination|d|<none>"),
                                                                 QStringLiteral(">file|<none>|\"/a;{}(#\\\")\" template('$MSG # x\\n')")};
        QTest::newRow("quoted-text-over-lines") << quotedTextOverLines()
                                                << QStringList{QStringLiteral("source|s|<none>"),
                                                               QStringLiteral(
                                                                   ">unix-dgram|<none>|\"/run/e {\nnetwork(\"h\" port(514) st);\n};ts.sock\" flags(no-parse)")};
        QTest::newRow("comments-and-carriage-returns")
            << commentsAndCarriageReturns() << QStringList{QStringLiteral("log||<none>"), QStringLiteral(">source|<none>|s")};
        QTest::newRow("directives-in-a-row") << QByteArray("@define a \"1\"\n\n@include \"b.conf\"\n\nlog {\n    source(s);\n};\n\n")
                                             << QStringList{QStringLiteral("@define a|1|<none>"),
                                                            QStringLiteral("@include|b.conf|<none>"),
                                                            QStringLiteral("log||<none>"),
                                                            QStringLiteral(">source|<none>|s")};
        QTest::newRow("statement-over-lines-and-on-one-line") << QByteArray("destination\n  a\n{ file(\"/a\"); };\nlog{source(s);destination(a);};\n")
                                                              << QStringList{QStringLiteral("destination|a|<none>"),
                                                                             QStringLiteral(">file|<none>|\"/a\""),
                                                                             QStringLiteral("log||<none>"),
                                                                             QStringLiteral(">source|<none>|s"),
                                                                             QStringLiteral(">destination|<none>|a")};
    }

    void parse()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, expected);
        TestRoot root;
        root.writeFile(Paths::CommonSyslogNgFile, content);
        QCOMPARE(dump(::parse(root.placed(Paths::CommonSyslogNgFile)).get()), expected);
    }

    // A damaged file still shows what it holds: a broken structure ends the
    // read where it is found, a part the writer would change is only named.
    void readsUpToTheProblem_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("problem");
        QTest::newRow("unclosed-quote-keeps-the-options-before")
            << QByteArray("log {\n    source(s);\n};\n\ndestination d {\n    file(\"/a\");\n    file(\"/b);\n};\n\nlog {\n    source(t);\n};\n\n")
            << QStringList{QStringLiteral("log||<none>"),
                           QStringLiteral(">source|<none>|s"),
                           QStringLiteral("destination|d|<none>"),
                           QStringLiteral(">file|<none>|\"/a\"")}
            << QStringLiteral("line 7 to the end is not read: a quoted text is not closed");
        QTest::newRow("stray-brace-ends-the-read") << QByteArray("log {\n    source(s);\n};\n}\nlog {\n    source(t);\n};\n\n")
                                                   << QStringList{QStringLiteral("log||<none>"), QStringLiteral(">source|<none>|s")}
                                                   << QStringLiteral("the \"}\" on line 4 closes no \"{\"");
        QTest::newRow("directive-not-understood-is-left-out")
            << QByteArray("@version: 3.38\n@include \"a.conf\"\n\nlog {\n    source(s);\n};\n\n")
            << QStringList{QStringLiteral("@include|a.conf|<none>"), QStringLiteral("log||<none>"), QStringLiteral(">source|<none>|s")}
            << QStringLiteral("the directive on line 1 is not understood");
        QTest::newRow("option-written-otherwise-is-kept")
            << QByteArray("log {\n    filter {\n        level(err);\n    };\n    flags(final);\n};\n\n")
            << QStringList{QStringLiteral("log||<none>"), QStringLiteral(">filter|<none>|\nlevel(err);\n"), QStringLiteral(">flags|<none>|final")}
            << QStringLiteral("the option \"filter\" of \"log\" is not understood");
        QTest::newRow("closed-on-a-last-line-without-line-break")
            << QByteArray("log {\n    source(s);\n};") << QStringList{QStringLiteral("log||<none>"), QStringLiteral(">source|<none>|s")} << QString();
    }

    void readsUpToTheProblem()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, expected);
        QFETCH(QString, problem);
        TestRoot root;
        root.writeFile(Paths::CommonSyslogNgFile, content);
        CommonSettingsParser parser(root.placed(Paths::CommonSyslogNgFile));
        const std::unique_ptr<TreeItem> tree(parser.parse());
        QCOMPARE(dump(tree.get()), expected);
        QCOMPARE(parser.damaged(), !problem.isEmpty());
        QVERIFY2(parser.errorString().contains(problem), qPrintable(parser.errorString()));
    }

    void unreadableFile_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::newRow("missing") << false;
        QTest::newRow("empty") << true;
    }

    void unreadableFile()
    {
        QFETCH(bool, exists);
        TestRoot root;
        if (exists) {
            root.writeFile(Paths::CommonSyslogNgFile, QByteArray());
        }
        QString error;
        const auto tree = ::parse(root.placed(Paths::CommonSyslogNgFile), &error);
        QCOMPARE(tree->childCount(), 0);
        QCOMPARE(cell(tree.get(), 0) + cell(tree.get(), 1) + cell(tree.get(), 2), QStringLiteral("ParameterNameValue"));
        if (exists) {
            QCOMPARE(error, QStringLiteral("Bad config file"));
        } else {
            QVERIFY(!error.isEmpty());
        }
    }

    // Files of the writer's form read, write and read again unchanged, byte
    // for byte, and syslog-ng accepts what was written.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("sample-common-file") << sampleCommonFile();
        QTest::newRow("directive-and-unnamed-log") << QByteArray(
            "@define velta-dir \"/dorvex/log/velta\"\n\nsource velta_events_src {\n    internal();\n};\n\n"
            "log {\n    source(velta_events_src);\n    flags(final);\n};\n\n");
        QTest::newRow("two-drivers-in-one-destination") << heldBackThenAnother();
        QTest::newRow("values-with-or-and-and") << QByteArray(
            "source velta_events_src {\n    internal();\n};\n\ndestination velta_or_dst {\n    file(\"/var/log/velta/vendor-and-more\");\n};\n\n"
            "log {\n    source(velta_events_src);\n    destination(velta_or_dst);\n};\n\n");
    }

    void roundTrip()
    {
        QFETCH(QByteArray, content);
        QVERIFY(!content.isEmpty());
        TestRoot root;
        root.writeFile(Paths::CommonSyslogNgFile, content);
        const auto first = ::parse(root.placed(Paths::CommonSyslogNgFile));
        QVERIFY(first->childCount() > 0);
        QVERIFY(CommonWriter(root.placed(Paths::CommonSyslogNgFile)).write(first.get()));
        QCOMPARE(QString::fromUtf8(root.readFile(Paths::CommonSyslogNgFile)), QString::fromUtf8(content));
        QCOMPARE(dump(::parse(root.placed(Paths::CommonSyslogNgFile)).get()), dump(first.get()));
        QString errors;
        QVERIFY2(syslogNgAccepts(root, &errors), qPrintable(errors));
    }

    // What was read, written and read again reads the same, also for files
    // not in the writer's form (the fuzzer's round trip).
    void readsAsWritten_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("held-back-option-then-another") << heldBackThenAnother();
        QTest::newRow("option-after-a-nested-block") << afterNestedBlock();
        QTest::newRow("unclosed-quote-in-a-held-back-option")
            << QByteArray("destination d {\n    network(\"192.16_src);\n    destination(velta_central_dst);\n};\n\n");
        QTest::newRow("quoted-text-over-lines") << quotedTextOverLines();
        QTest::newRow("comments-and-carriage-returns") << commentsAndCarriageReturns();
        QTest::newRow("blank-lines-before-directives") << QByteArray("\n\n  @define a \"1\"\n\n\n@include \"b\" # c\n@include \"c\"\n\n");
    }

    void readsAsWritten()
    {
        QFETCH(QByteArray, content);
        TestRoot root;
        root.writeFile(Paths::CommonSyslogNgFile, content);
        const auto first = ::parse(root.placed(Paths::CommonSyslogNgFile));
        QVERIFY(first->childCount() > 0);
        QVERIFY(CommonWriter(root.placed(Paths::CommonSyslogNgFile)).write(first.get()));
        QCOMPARE(dump(::parse(root.placed(Paths::CommonSyslogNgFile)).get()), dump(first.get()));
    }

    void writer_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("no-statements") << QStringList() << QStringList();
        QTest::newRow("block-without-options") << QStringList{QStringLiteral("log|")} << QStringList{QStringLiteral("log {\n};\n")};
        QTest::newRow("empty-value") << QStringList{QStringLiteral("destination|d"), QStringLiteral(">file|")}
                                     << QStringList{QStringLiteral("destination d {\n    file();\n};\n")};
        QTest::newRow("braced-channel-option") << QStringList{QStringLiteral("log|"), QStringLiteral(">channel |filter(f);"), QStringLiteral(">flags|final")}
                                               << QStringList{QStringLiteral("log {\n    channel {filter(f);};\n    flags(final);\n};\n")};
        QTest::newRow("if-in-statement-name-keeps-parentheses") << QStringList{QStringLiteral("filter|velta_wifi-if-up_filter"), QStringLiteral(">match|\"x\"")}
                                                                << QStringList{QStringLiteral("filter velta_wifi-if-up_filter {\n    match(\"x\");\n};\n")};
    }

    void writer()
    {
        QFETCH(QStringList, tree);
        QFETCH(QStringList, expected);
        QCOMPARE(CommonWriter(QString()).lines(treeFrom(tree).get()), expected);
    }

    void writeEmptyTreeTruncates()
    {
        TestRoot root;
        root.writeFile(Paths::CommonSyslogNgFile, sampleCommonFile());
        QVERIFY(CommonWriter(root.placed(Paths::CommonSyslogNgFile)).write(treeFrom({}).get()));
        QCOMPARE(root.readFile(Paths::CommonSyslogNgFile), QByteArray());
    }
};

QTEST_GUILESS_MAIN(CommonSettingsTest)

#include "commonsettingstest.moc"
