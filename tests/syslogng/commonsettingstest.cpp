#include "model/treeitem.h"
#include "platform/paths.h"
#include "syslogng/commonsettingsparser.h"
#include "syslogng/commonwriter.h"
#include "syslogngcheck.h"
#include "testroot.h"

#include <QDir>
#include <QRegularExpression>
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

// Hand-written syslog-ng files as administrators and their tools keep them.
QStringList corpusFiles()
{
    return QDir(QStringLiteral(QUOR_SOURCE_DIR "/tests/syslogng/corpus")).entryList({QStringLiteral("*.conf")}, QDir::Files, QDir::Name);
}

QByteArray corpusFile(const QString &name)
{
    QFile file(QStringLiteral(QUOR_SOURCE_DIR "/tests/syslogng/corpus/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every corpus file and the sample common file, by name.
void addCorpusRows()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("sample-common-file") << sampleCommonFile();
    const QStringList names = corpusFiles();
    for (const QString &name : names) {
        QTest::newRow(qPrintable(name)) << corpusFile(name);
    }
}

// As the Destinations tab adds a file destination.
void addDestination(TreeItem *root, const QString &name, const QString &path)
{
    auto statement = std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("destination"), name, QVariant()});
    statement->appendChild(
        std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("file"), QVariant(), QString(QLatin1Char('"') + path + QLatin1Char('"'))}));
    root->addDestination(std::move(statement));
}

// As the Destinations tab removes a destination: the statement and every reference.
bool removeDestination(TreeItem *root, const QString &name)
{
    for (int row = 0; row < root->childCount(); ++row) {
        if (root->child(row)->data(0).toString() == QLatin1String("destination") && root->child(row)->data(1).toString() == name) {
            root->removeChild(row);
            root->removeDestinationLogs(name);
            return true;
        }
    }
    return false;
}

// The names of the destination statements of a tree, in order.
QStringList destinationNames(const TreeItem *root)
{
    QStringList names;
    for (int row = 0; row < root->childCount(); ++row) {
        if (root->child(row)->data(0).toString() == QLatin1String("destination")) {
            names << root->child(row)->data(1).toString();
        }
    }
    return names;
}

// The lines of after that are not those of before, in order; empty when
// before's lines are not all in after, in their order.
QStringList addedLines(const QByteArray &before, const QByteArray &after, bool *kept)
{
    const QList<QByteArray> old = before.split('\n');
    const QList<QByteArray> now = after.split('\n');
    // Lines added to a file of "\r\n" line breaks end the same way.
    const auto text = [](const QByteArray &line) {
        return QString::fromUtf8(line.endsWith('\r') ? line.chopped(1) : line);
    };
    QStringList added;
    int i = 0;
    for (const QByteArray &line : now) {
        if (i < old.size() && line == old.at(i)) {
            ++i;
        } else {
            added << text(line);
        }
    }
    *kept = i == old.size();
    return added;
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
        // Every statement where it stands in the file.
        QTest::newRow("directives-in-file-order") << QByteArray("log {\n    source(s);\n};\n\n@include \"extra.conf\"\n\n")
                                                  << QStringList{QStringLiteral("log||<none>"),
                                                                 QStringLiteral(">source|<none>|s"),
                                                                 QStringLiteral("@include|extra.conf|<none>")};
        // Found by the fuzzer: taken for a directive, it was written back into the block and broke it.
        // Not of the form "name(value);", it is no option of the page's, only kept.
        QTest::newRow("at-sign-inside-a-block-is-no-directive")
            << QByteArray("source s {\n  @ unix-dgram(\"/run/e.sock\" flags(no-parse));\n};\n\n") << QStringList{QStringLiteral("source|s|<none>")};
        QTest::newRow("version-line") << QByteArray("@version: 3.38\n\nlog {\n    source(s);\n};\n")
                                      << QStringList{QStringLiteral("@version: 3.38|<none>|<none>"),
                                                     QStringLiteral("log||<none>"),
                                                     QStringLiteral(">source|<none>|s")};
        QTest::newRow("last-one-line-statement") << QByteArray("destination a {\n    file(\"/a\");\n};\ndestination b { file(\"/b\"); };")
                                                 << QStringList{QStringLiteral("destination|a|<none>"),
                                                                QStringLiteral(">file|<none>|\"/a\""),
                                                                QStringLiteral("destination|b|<none>"),
                                                                QStringLiteral(">file|<none>|\"/b\"")};
        QTest::newRow("braced-option-of-any-name") << QByteArray("log {\n    filter {\n        level(err);\n    };\n    flags(final);\n};\n\n")
                                                   << QStringList{QStringLiteral("log||<none>"),
                                                                  QStringLiteral(">filter|<none>|\nlevel(err);\n"),
                                                                  QStringLiteral(">flags|<none>|final")};
        // An "if" is kept in the text; the options around it are the page's.
        QTest::newRow("condition-is-only-kept")
            << QByteArray("log {\n    source(s);\n    if (level(err)) { destination(a); } else { destination(b); };\n    destination(c);\n};\n")
            << QStringList{QStringLiteral("log||<none>"), QStringLiteral(">source|<none>|s"), QStringLiteral(">destination|<none>|c")};
        // A block definition is a statement the page does not look into.
        QTest::newRow("block-definition") << QByteArray("block destination d_x(dir(\"/var/log\")) {\n    file(\"`dir`/x\");\n};\n")
                                          << QStringList{QStringLiteral("block|destination d_x(dir(\"/var/log\"))|<none>")};
        // Single quotes take a backslash as it is: the quoted text ends there.
        QTest::newRow("backslash-in-single-quotes") << QByteArray("rewrite r {\n    set('C:\\', value(\"d\"));\n};\n")
                                                    << QStringList{QStringLiteral("rewrite|r|<none>"), QStringLiteral(">set|<none>|'C:\\', value(\"d\")")};
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
        QTest::newRow("statement-without-block") << QByteArray("log {\n    source(s);\n};\nsource s;\nlog {\n    source(t);\n};\n")
                                                 << QStringList{QStringLiteral("log||<none>"), QStringLiteral(">source|<none>|s")}
                                                 << QStringLiteral("the text on line 4 is not understood");
        QTest::newRow("version-line-is-no-problem") << QByteArray("@version: 3.38\n@include \"a.conf\"\n\nlog {\n    source(s);\n};\n\n")
                                                    << QStringList{QStringLiteral("@version: 3.38|<none>|<none>"),
                                                                   QStringLiteral("@include|a.conf|<none>"),
                                                                   QStringLiteral("log||<none>"),
                                                                   QStringLiteral(">source|<none>|s")}
                                                    << QString();
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

    // Files as administrators write them read whole and, unchanged, are written
    // back byte for byte: comments, blank lines, spacing, directives, line
    // breaks and statements the page does not model.
    void corpusRoundTrip_data()
    {
        addCorpusRows();
    }

    void corpusRoundTrip()
    {
        QFETCH(QByteArray, content);
        QVERIFY(!content.isEmpty());
        TestRoot root;
        root.writeFile(Paths::CommonSyslogNgFile, content);
        CommonSettingsParser parser(root.placed(Paths::CommonSyslogNgFile));
        const std::unique_ptr<TreeItem> tree(parser.parse());
        QVERIFY2(!parser.damaged(), qPrintable(parser.errorString()));
        QVERIFY(tree->childCount() > 0);
        QCOMPARE(CommonWriter(QString()).contents(tree.get()), content);
        QVERIFY(CommonWriter(root.placed(Paths::CommonSyslogNgFile)).write(tree.get()));
        QCOMPARE(root.readFile(Paths::CommonSyslogNgFile), content);
    }

    // A destination added as the tab adds it brings only its statement and its
    // log statement, in the module's layout; every line of the file stays, and
    // removing the destination again gives the file back byte for byte.
    void corpusAddThenRemove_data()
    {
        addCorpusRows();
    }

    void corpusAddThenRemove()
    {
        QFETCH(QByteArray, content);
        TestRoot root;
        root.writeFile(Paths::CommonSyslogNgFile, content);
        const std::unique_ptr<TreeItem> tree(::parse(root.placed(Paths::CommonSyslogNgFile)));
        const QStringList before = dump(tree.get());
        addDestination(tree.get(), QStringLiteral("velta_copy_dst"), QStringLiteral("/var/log/copy"));
        // Read back, the new log statement's missing name is an empty one.
        QStringList expectedDump = dump(tree.get());
        expectedDump.replaceInStrings(QRegularExpression(QStringLiteral("^log\\|<none>\\|")), QStringLiteral("log||"));
        QVERIFY(CommonWriter(root.placed(Paths::CommonSyslogNgFile)).write(tree.get()));
        const QByteArray added = root.readFile(Paths::CommonSyslogNgFile);

        bool kept = false;
        QStringList lines = addedLines(content, added, &kept);
        QVERIFY2(kept, added.constData());
        lines.removeAll(QString());
        QCOMPARE(lines,
                 QStringList({QStringLiteral("destination velta_copy_dst {"),
                              QStringLiteral("    file(\"/var/log/copy\");"),
                              QStringLiteral("};"),
                              QStringLiteral("log {"),
                              QStringLiteral("    source(velta_events_src);"),
                              QStringLiteral("    destination(velta_copy_dst);"),
                              QStringLiteral("};")}));

        CommonSettingsParser parser(root.placed(Paths::CommonSyslogNgFile));
        const std::unique_ptr<TreeItem> reread(parser.parse());
        QVERIFY2(!parser.damaged(), qPrintable(parser.errorString()));
        QCOMPARE(dump(reread.get()), expectedDump);

        QVERIFY(removeDestination(reread.get(), QStringLiteral("velta_copy_dst")));
        QCOMPARE(dump(reread.get()), before);
        QCOMPARE(CommonWriter(QString()).contents(reread.get()), content);
    }

    // What the fuzzer checks, on the inputs it found wanting: a text read
    // whole is written back byte for byte; with the first destination removed
    // and one added it reads back as edited, and removing the added one gives
    // the text before it back.
    void editRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("damaged");
        QTest::newRow("cut-off-utf8-sequence") << QByteArray("\xf4") << true;
        QTest::newRow("only-a-comment-without-line-break") << QByteArray("#U=u") << false;
        QTest::newRow("white-space-after-the-last-line-break") << QByteArray("\t@\t\b\"\t\b\t\"\x06\n\t@\t\b\t\t\"\t\"\n\t@\t\b\"\t\b\t\"\n\t") << false;
        QTest::newRow("first-log-in-the-middle-of-a-line") << QByteArray("source s {}; log { source(s); };\n") << false;
        QTest::newRow("last-destination-in-the-middle-of-a-line")
            << QByteArray("destination a { file(\"/a\"); }; destination b { file(\"/b\"); }; log { destination(a); };\n") << false;
        QTest::newRow("crlf-without-final-line-break") << QByteArray("log { source(s); };\r\ndestination a { file(\"/a\"); };") << false;
        QTest::newRow("lone-carriage-return-at-the-end") << QByteArray("log { source(s); };\r") << false;
        QTest::newRow("spaces-on-the-line-before-a-blank-line")
            << QByteArray("k li { source(s); };\n    \ndestination\td_two\t{\tfile(\"/two\");\t};\n\n\n\nlog{source(s);destination(d_one);};\n") << false;
        QTest::newRow("carriage-return-ends-the-text") << QByteArray("\t@\r") << false;
        QTest::newRow("mixed-line-breaks") << QByteArray("source s {\r\n};\r\n\r\nlog {\r\n    source(s);\n};\r\n") << false;
        QTest::newRow("directive-then-unicode-space") << QByteArray("\x0b@\t\r_8-\xc2\x85 \r\t") << false;
        // Once damage, now kept as written.
        QTest::newRow("inline-block") << QByteArray("log {\n    source(s);\n    filter {\n        level(err);\n    };\n};\n\n") << false;
        QTest::newRow("brace-and-quote-in-an-option-name") << QByteArray("source s {\n    unix-dgram \"/run/e {\"(flags(no-parse));\n};\n\n") << false;
        QTest::newRow("text-after-an-option") << QByteArray("destination d {\n    file(\"/var/log/a\") x;\n};\n\n") << false;
        QTest::newRow("directive-text-over-two-lines") << QByteArray("@include \"a\nb\"\n\n") << false;
        QTest::newRow("two-word-option-name") << QByteArray("log {\n    source s(s);\n};\n\n") << false;
        QTest::newRow("byte-order-mark") << QByteArray("\xef\xbb\xbf@version: 3.38\nlog { source(s); };\n") << false;
    }

    void editRoundTrip()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, damaged);
        TestRoot root;
        const auto read = [&root](const QByteArray &text, bool *isDamaged) {
            root.writeFile(Paths::CommonSyslogNgFile, text);
            CommonSettingsParser parser(root.placed(Paths::CommonSyslogNgFile));
            std::unique_ptr<TreeItem> tree(parser.parse());
            *isDamaged = parser.damaged();
            return tree;
        };
        bool isDamaged = false;
        const std::unique_ptr<TreeItem> first = read(content, &isDamaged);
        QCOMPARE(isDamaged, damaged);
        if (damaged) {
            return;
        }
        QCOMPARE(CommonWriter(QString()).contents(first.get()), content);
        QByteArray removed = content;
        for (int row = 0; row < first->childCount(); ++row) {
            if (first->child(row)->data(0).toString() == QLatin1String("destination")) {
                QVERIFY(removeDestination(first.get(), first->child(row)->data(1).toString()));
                removed = CommonWriter(QString()).contents(first.get());
                const std::unique_ptr<TreeItem> reread = read(removed, &isDamaged);
                QVERIFY(!isDamaged);
                QCOMPARE(dump(reread.get()), dump(first.get()));
                break;
            }
        }
        const std::unique_ptr<TreeItem> base = read(removed, &isDamaged);
        addDestination(base.get(), QStringLiteral("velta_copy_dst"), QStringLiteral("/var/log/copy"));
        const QByteArray added = CommonWriter(QString()).contents(base.get());
        // Only insertions: the text before is what is left when they are taken out.
        int matched = 0;
        for (int i = 0; i < added.size() && matched < removed.size(); ++i) {
            matched += added.at(i) == removed.at(matched) ? 1 : 0;
        }
        QVERIFY2(matched == removed.size(), added.constData());
        const std::unique_ptr<TreeItem> reread = read(added, &isDamaged);
        QVERIFY2(!isDamaged, added.constData());
        QStringList expectedDump = dump(base.get());
        expectedDump.replaceInStrings(QRegularExpression(QStringLiteral("^log\\|<none>\\|")), QStringLiteral("log||"));
        QCOMPARE(dump(reread.get()), expectedDump);
        QVERIFY(removeDestination(reread.get(), QStringLiteral("velta_copy_dst")));
        QCOMPARE(CommonWriter(QString()).contents(reread.get()), removed);
    }

    // Removing a destination takes its statement, the lines of its references
    // and the log statements left without a destination; nothing else changes.
    void removeKeepsTheRest_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray sample = sampleCommonFile();
        QByteArray withoutCentral = sample;
        withoutCentral.replace("destination velta_central_dst {\n    network(\"192.0.2.10\" port(514) transport(tcp) flags(syslog-protocol));\n};\n", "");
        withoutCentral.replace("log {\n    source(velta_events_src);\n    destination(velta_central_dst); # over TCP: while the server cannot be reached, up to 10,000 records wait in memory and later ones are dropped (counted by \"syslog-ng-ctl stats\")\n};\n", "");
        QVERIFY(withoutCentral.size() < sample.size() - 200);
        QTest::newRow("sample-central-destination") << sample << QStringLiteral("velta_central_dst") << withoutCentral;

        QTest::newRow("between-blank-lines") << QByteArray("# a\n\ndestination a {\n    file(\"/a\");\n};\n\n# b\nlog {\n    destination(b);\n};\n")
                                             << QStringLiteral("a") << QByteArray("# a\n\n# b\nlog {\n    destination(b);\n};\n");
        QTest::newRow("shared-log-keeps-its-comments") << QByteArray(
            "destination a { file(\"/a\"); };\n# all three\nlog {\n    source(s);\n    # the copies\n    destination(a);   # first\n    destination(b);\n};\n")
                                                       << QStringLiteral("a")
                                                       << QByteArray("# all three\nlog {\n    source(s);\n    # the copies\n    destination(b);\n};\n");
        QTest::newRow("references-on-one-line") << QByteArray(
            "destination a { file(\"/a\"); }; destination b { file(\"/b\"); };\nlog { source(s); destination(a); destination(b); };\n")
                                                << QStringLiteral("a") << QByteArray("destination b { file(\"/b\"); };\nlog { source(s); destination(b); };\n");
        QTest::newRow("log-left-without-destination-goes")
            << QByteArray("@version: 3.38\n\ndestination a {\n    file(\"/a\");\n};\n\nlog {\n    source(s);\n    destination(a);\n};\n\n# end\n")
            << QStringLiteral("a") << QByteArray("@version: 3.38\n\n# end\n");
        QTest::newRow("nested-log-references-stay") << corpusFile(QStringLiteral("central-server.conf")) << QStringLiteral("d_backup")
                                                    << corpusFile(QStringLiteral("central-server.conf"))
                                                           .replace(
                                                               "destination d_backup {\n\tfile(\"/var/log/backup/${YEAR}/${MONTH}/${DAY}.log\"\n\t     "
                                                               "create-dirs(yes) dir-perm(0750) perm(0640));\n};\n\n",
                                                               "");
    }

    void removeKeepsTheRest()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, removed);
        QFETCH(QByteArray, expected);
        TestRoot root;
        root.writeFile(Paths::CommonSyslogNgFile, content);
        const std::unique_ptr<TreeItem> tree(::parse(root.placed(Paths::CommonSyslogNgFile)));
        QVERIFY(removeDestination(tree.get(), removed));
        QCOMPARE(QString::fromUtf8(CommonWriter(QString()).contents(tree.get())), QString::fromUtf8(expected));
    }

    // The sample with a destination added and another removed is what
    // syslog-ng runs; the version line and the comments are still there.
    void editedSampleIsAccepted()
    {
        TestRoot root;
        root.copySampleSystem();
        const std::unique_ptr<TreeItem> tree(::parse(root.placed(Paths::CommonSyslogNgFile)));
        addDestination(tree.get(), QStringLiteral("velta_copy_dst"), QStringLiteral("/dorvex/log/velta/copy"));
        QVERIFY(removeDestination(tree.get(), QStringLiteral("velta_central_dst")));
        QVERIFY(CommonWriter(root.placed(Paths::CommonSyslogNgFile)).write(tree.get()));
        const QByteArray written = root.readFile(Paths::CommonSyslogNgFile);
        QVERIFY(written.startsWith("@version: 3.38\n\n# syslog-ng-mod-velta"));
        QVERIFY(written.contains("# The site's central log server.\n"));
        QCOMPARE(destinationNames(::parse(root.placed(Paths::CommonSyslogNgFile)).get()),
                 QStringList({QStringLiteral("velta_json_dst"), QStringLiteral("velta_copy_dst")}));
        QString errors;
        QVERIFY2(syslogNgAccepts(root, &errors), qPrintable(errors));
    }

    // Nodes given other values, new options and a new name are written in their
    // place in the module's layout; the text around them stays.
    void changedNodesInPlace()
    {
        TestRoot root;
        root.writeFile(Paths::CommonSyslogNgFile,
                       "# head\ndestination a {\n\tfile(\"/a\");   # the copy\n\tflags(x);\n};\nlog { source(s); destination(a); };\n");
        const std::unique_ptr<TreeItem> tree(::parse(root.placed(Paths::CommonSyslogNgFile)));
        TreeItem *destination = tree->child(0);
        destination->setData(1, QStringLiteral("b"));
        destination->child(0)->setData(2, QStringLiteral("\"/b\""));
        destination->appendChild(std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("channel"), QVariant(), QStringLiteral("c")}));
        destination->removeChild(1);
        tree->child(1)->appendChild(std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("flags"), QVariant(), QStringLiteral("final")}));
        QCOMPARE(
            QString::fromUtf8(CommonWriter(QString()).contents(tree.get())),
            QStringLiteral("# head\ndestination b {\n\tfile(\"/b\");   # the copy\n\tchannel{c};\n};\nlog { source(s); destination(a); flags(final); };\n"));
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
