#include "model/treeitem.h"
#include "platform/paths.h"
#include "rotation/logrotateparser.h"
#include "rotation/rotationwriter.h"
#include "testroot.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <sys/stat.h>

#include <memory>

namespace
{
const QString RotateFile = Paths::LogRotateFile;

// The block as its header and one "word=value" per directive, joined by "|".
QString describe(const TreeItem *root)
{
    const TreeItem *block = root->child(0);
    QStringList parts{block->data(0).toString()};
    for (int row = 0; row < block->childCount(); ++row) {
        parts << block->child(row)->data(0).toString() + QLatin1Char('=') + block->child(row)->data(1).toString();
    }
    return parts.join(QLatin1Char('|'));
}

std::unique_ptr<TreeItem> parseFile(const QString &systemPath, QString *error = nullptr)
{
    LogRotateParser parser(Paths::placed(systemPath));
    std::unique_ptr<TreeItem> tree(parser.parse());
    if (error) {
        *error = parser.errorString();
    }
    return tree;
}
}

class LogRotateTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void unreadable_data();
    void unreadable();
    void checkWithoutTool();
    void logrotateSaysWhy_data();
    void logrotateSaysWhy();
    void specialFileInIncludes_data();
    void specialFileInIncludes();
    void writeToMissingDirectory();
};

void LogRotateTest::parse_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: the sample file
    QTest::addColumn<QString>("tree");
    QTest::addColumn<bool>("checkFails");

    const QString log = QStringLiteral("/dorvex/log/velta/events");
    QTest::newRow("sample") << QByteArray()
                            << log + QStringLiteral("|rotate=10|size=100M|missingok=|notifempty=|compress=|delaycompress=")
            + QStringLiteral("|postrotate=invoke-rc.d syslog-ng reload > /dev/null|endscript=")
                            << false;
    QTest::newRow("comments-and-blank-lines-only") << QByteArray("# nothing here\n\n   \n#\n") << QString() << true;
    QTest::newRow("brace-on-header-and-odd-spacing") << QByteArray("/dorvex/log/velta/events  {\n   size    10M   \n\tmissingok\n  }  \n")
                                                     << log + QStringLiteral("|size=10M|missingok=") << false;
    QTest::newRow("without-braces") << QByteArray("/dorvex/log/velta/events\nrotate 3\nmissingok\n") << log + QStringLiteral("|rotate=3|missingok=") << true;
    QTest::newRow("bad-size-unit") << QByteArray("/dorvex/log/velta/events\n{\n\tsize 5m\n\tmissingok\n}\n") << log + QStringLiteral("|size=5m|missingok=")
                                   << true;
    QTest::newRow("empty-script-keeps-endscript") << QByteArray("/dorvex/log/velta/events\n{\n\tmissingok\n\tpostrotate\n\tendscript\n}\n")
                                                  << log + QStringLiteral("|missingok=|postrotate=|endscript=") << false;
    QTest::newRow("two-line-script") << QByteArray("/dorvex/log/velta/events\n{\n\tmissingok\n\tpostrotate\n\t\tsync\n\t\tkill -HUP 1\n\tendscript\n}\n")
                                     << log + QStringLiteral("|missingok=|postrotate=sync|kill=-HUP 1|endscript=") << false;
    // Found by the fuzzer: the text after the brace became the header, written back as a comment.
    QTest::newRow("text-after-the-brace-is-no-path") << QByteArray("# Rotation of the log\n{# Rotation of t\n\troth\n") << QStringLiteral("|roth=") << true;
    QTest::newRow("comment-after-a-stray-brace-is-no-path") << QByteArray("# Rotation\n}# Rotation\n}\nmissingok\n") << QStringLiteral("|missingok=") << true;
    // Found by the fuzzer: a directive after the block's "}" showed instead of the block's own.
    QTest::newRow("directive-after-the-block-is-not-its-own")
        << QByteArray("/dorvex/log/velta/events {\n\tsize 7M\n}\nsize 100M\n") << log + QStringLiteral("|size=7M") << true;
    QTest::newRow("indented-comment") << QByteArray("  # Rotation of the log\n/dorvex/log/velta/events {\n\t# kept\n\tmissingok\n}\n")
                                      << log + QStringLiteral("|missingok=") << false;
}

// Whatever is read is written back so that it reads the same, and a file that
// logrotate accepted stays accepted.
void LogRotateTest::parse()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, tree);
    QFETCH(bool, checkFails);
    TestRoot root;
    if (content.isEmpty()) {
        root.copySampleSystem();
    } else {
        root.writeFile(RotateFile, content);
    }

    QString error;
    const std::unique_ptr<TreeItem> parsed = parseFile(RotateFile, &error);
    QVERIFY(parsed);
    QCOMPARE(parsed->childCount(), 1);
    QCOMPARE(describe(parsed.get()), tree);
    // logrotate's own error lines follow.
    QCOMPARE(error.section(QLatin1Char('\n'), 0, 0), checkFails ? root.placed(RotateFile) + QStringLiteral(": Bad config file") : QString());

    const QString copy = QStringLiteral("/etc/logrotate.d/copy");
    QVERIFY(RotationWriter(Paths::placed(copy)).write(parsed.get()));
    const std::unique_ptr<TreeItem> reparsed = parseFile(copy, &error);
    QVERIFY(reparsed);
    QCOMPARE(describe(reparsed.get()), tree);
    QVERIFY(checkFails || error.isEmpty());
}

void LogRotateTest::unreadable_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("error");

    QTest::newRow("empty-file") << true << QStringLiteral("Bad config file");
    QTest::newRow("missing-file") << false << QStringLiteral("No such file or directory");
}

void LogRotateTest::unreadable()
{
    QFETCH(bool, exists);
    QFETCH(QString, error);
    TestRoot root;
    if (exists) {
        root.writeFile(RotateFile, QByteArray());
    }
    QString actualError;
    QVERIFY(!parseFile(RotateFile, &actualError));
    QCOMPARE(actualError, error);
}

// Without logrotate there is no verdict, so no error.
void LogRotateTest::checkWithoutTool()
{
    TestRoot root;
    root.writeFile(RotateFile, "# nothing here\n");
    root.removeProgram(QStringLiteral("logrotate"));
    QString error;
    const std::unique_ptr<TreeItem> parsed = parseFile(RotateFile, &error);
    QVERIFY(parsed);
    QCOMPARE(error, QString());
}

void LogRotateTest::logrotateSaysWhy_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("said"); // the start of logrotate's line after "logrotate: "
    QTest::addColumn<QString>("detail");

    QTest::newRow("error-line") << QByteArray("/dorvex/log/velta/events {\n\tsize 1.5M\n}\n") << QStringLiteral("error: ") << QStringLiteral("bad size '1.5'");
    // No error line: what it said is still shown, not only that the file is bad.
    QTest::newRow("no-log-named") << QByteArray("weekly\n") << QStringLiteral("Handling 0 logs") << QString();
}

void LogRotateTest::logrotateSaysWhy()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, said);
    QFETCH(QString, detail);
    TestRoot root;
    root.writeFile(RotateFile, content);
    QString error;
    QVERIFY(parseFile(RotateFile, &error));
    QVERIFY2(error.startsWith(root.placed(RotateFile) + QStringLiteral(": Bad config file\n")), qPrintable(error));
    QVERIFY2(error.contains(QLatin1String("\nlogrotate: ") + said) && error.contains(detail), qPrintable(error));
}

void LogRotateTest::specialFileInIncludes_data()
{
    QTest::addColumn<QString>("layout"); // how /etc/inc holds the trap
    QTest::newRow("fifo-included") << QStringLiteral("fifo");
    QTest::newRow("file-in-included-folder-includes-a-fifo") << QStringLiteral("folder");
    QTest::newRow("link-to-a-device-included-two-files-deep") << QStringLiteral("device");
}

// logrotate would block on a FIFO anywhere in the include chain: the check
// refuses before it runs, and says where.
void LogRotateTest::specialFileInIncludes()
{
    QFETCH(QString, layout);
    TestRoot root;
    const QString trap = root.placed(QStringLiteral("/etc/inc/trap"));
    QVERIFY(QDir().mkpath(root.placed(QStringLiteral("/etc/inc/d"))));
    QString included = trap;
    if (layout == QLatin1String("fifo")) {
        QVERIFY(::mkfifo(QFile::encodeName(trap).constData(), 0600) == 0);
    } else if (layout == QLatin1String("folder")) {
        QVERIFY(::mkfifo(QFile::encodeName(trap).constData(), 0600) == 0);
        root.writeFile(QStringLiteral("/etc/inc/d/part"), "include " + trap.toUtf8() + "\n");
        included = root.placed(QStringLiteral("/etc/inc/d"));
    } else {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), trap));
        root.writeFile(QStringLiteral("/etc/inc/second"), "include " + trap.toUtf8() + "\n");
        root.writeFile(QStringLiteral("/etc/inc/first"), "include " + root.placed(QStringLiteral("/etc/inc/second")).toUtf8() + "\n");
        included = root.placed(QStringLiteral("/etc/inc/first"));
    }
    root.writeFile(RotateFile, "include " + included.toUtf8() + "\n/dorvex/log/velta/events {\n\tmissingok\n}\n");
    QElapsedTimer timer;
    timer.start();
    QString error;
    QVERIFY(parseFile(RotateFile, &error));
    QVERIFY(timer.elapsed() < 10000);
    QVERIFY2(error.contains(trap + QLatin1String(" is not a regular file")), qPrintable(error));
}

void LogRotateTest::writeToMissingDirectory()
{
    TestRoot root;
    root.copySampleSystem();
    const std::unique_ptr<TreeItem> parsed = parseFile(RotateFile);
    const QString target = QStringLiteral("/etc/missing.d/syslog-ng-mod-velta");
    QVERIFY(!RotationWriter(Paths::placed(target)).write(parsed.get()));
    QVERIFY(!root.exists(target));
}

QTEST_GUILESS_MAIN(LogRotateTest)
#include "logrotatetest.moc"
