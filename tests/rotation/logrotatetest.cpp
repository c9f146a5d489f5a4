#include "model/treeitem.h"
#include "platform/paths.h"
#include "rotation/logrotateparser.h"
#include "rotation/rotationwriter.h"
#include "testroot.h"

#include <QFile>
#include <QTest>

#include <memory>

namespace
{
const QString RotateFile = Paths::LogRotateFile;

// The block as its header followed by one "word=value" per directive.
QStringList describe(const TreeItem *root)
{
    const TreeItem *block = root->child(0);
    QStringList result{block->data(0).toString()};
    for (int row = 0; row < block->childCount(); ++row) {
        result << block->child(row)->data(0).toString() + QLatin1Char('=') + block->child(row)->data(1).toString();
    }
    return result;
}

QByteArray sampleFile()
{
    QFile file(QStringLiteral(QUOR_DATA_DIR "/root/etc/logrotate.d/syslog-ng-mod-velta"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString badFileError(const QString &path)
{
    return path + QStringLiteral(": Bad config file");
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
    void writerLayout();
    void writeToMissingDirectory();
};

void LogRotateTest::parse_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<bool>("checkFails");

    QTest::newRow("sample") << sampleFile()
                            << QStringList{QStringLiteral("/dorvex/log/velta/events"),
                                           QStringLiteral("rotate=10"),
                                           QStringLiteral("size=100M"),
                                           QStringLiteral("missingok="),
                                           QStringLiteral("notifempty="),
                                           QStringLiteral("compress="),
                                           QStringLiteral("delaycompress="),
                                           QStringLiteral("postrotate=invoke-rc.d syslog-ng reload > /dev/null"),
                                           QStringLiteral("endscript=")}
                            << false;
    QTest::newRow("comments-and-blank-lines-only") << QByteArray("# nothing here\n\n   \n#\n") << QStringList{QString()} << true;
    QTest::newRow("brace-on-header-and-odd-spacing") << QByteArray("/dorvex/log/velta/events  {\n   size    10M   \n\tmissingok\n  }  \n")
                                                     << QStringList{QStringLiteral("/dorvex/log/velta/events"),
                                                                    QStringLiteral("size=10M"),
                                                                    QStringLiteral("missingok=")}
                                                     << false;
    QTest::newRow("without-braces") << QByteArray("/dorvex/log/velta/events\nrotate 3\nmissingok\n")
                                    << QStringList{QStringLiteral("/dorvex/log/velta/events"), QStringLiteral("rotate=3"), QStringLiteral("missingok=")}
                                    << true;
    QTest::newRow("bad-size-unit") << QByteArray("/dorvex/log/velta/events\n{\n\tsize 5m\n\tmissingok\n}\n")
                                   << QStringList{QStringLiteral("/dorvex/log/velta/events"), QStringLiteral("size=5m"), QStringLiteral("missingok=")} << true;
    QTest::newRow("empty-script-keeps-endscript") << QByteArray("/dorvex/log/velta/events\n{\n\tmissingok\n\tpostrotate\n\tendscript\n}\n")
                                                  << QStringList{QStringLiteral("/dorvex/log/velta/events"),
                                                                 QStringLiteral("missingok="),
                                                                 QStringLiteral("postrotate="),
                                                                 QStringLiteral("endscript=")}
                                                  << false;
    QTest::newRow("two-line-script") << QByteArray("/dorvex/log/velta/events\n{\n\tmissingok\n\tpostrotate\n\t\tsync\n\t\tkill -HUP 1\n\tendscript\n}\n")
                                     << QStringList{QStringLiteral("/dorvex/log/velta/events"),
                                                    QStringLiteral("missingok="),
                                                    QStringLiteral("postrotate=sync"),
                                                    QStringLiteral("kill=-HUP 1"),
                                                    QStringLiteral("endscript=")}
                                     << false;
}

// Whatever is read is written back so that it reads the same, and a file that
// logrotate accepted stays accepted.
void LogRotateTest::parse()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, tree);
    QFETCH(bool, checkFails);
    TestRoot root;
    root.writeFile(RotateFile, content);

    LogRotateParser parser(Paths::placed(RotateFile));
    const std::unique_ptr<TreeItem> parsed(parser.parse());
    QVERIFY(parsed);
    QCOMPARE(parsed->childCount(), 1);
    QCOMPARE(describe(parsed.get()), tree);
    QCOMPARE(parser.errorString(), checkFails ? badFileError(parser.filePath()) : QString());

    const QString copy = Paths::placed(QStringLiteral("/etc/logrotate.d/copy"));
    QVERIFY(RotationWriter(copy).write(parsed.get()));
    LogRotateParser reparser(copy);
    const std::unique_ptr<TreeItem> reparsed(reparser.parse());
    QVERIFY(reparsed);
    QCOMPARE(describe(reparsed.get()), tree);
    if (!checkFails) {
        QCOMPARE(reparser.errorString(), QString());
    }
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
    LogRotateParser parser(Paths::placed(RotateFile));
    QVERIFY(!parser.parse());
    QCOMPARE(parser.errorString(), error);
}

// Without logrotate there is no verdict, so no error.
void LogRotateTest::checkWithoutTool()
{
    TestRoot root;
    root.writeFile(RotateFile, "# nothing here\n");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QUOR_FAKEBIN_DIR);
    LogRotateParser parser(Paths::placed(RotateFile));
    const std::unique_ptr<TreeItem> parsed(parser.parse());
    qputenv("PATH", path);
    QVERIFY(parsed);
    QCOMPARE(parser.errorString(), QString());
}

void LogRotateTest::writerLayout()
{
    TestRoot root;
    root.writeFile(RotateFile, "/dorvex/log/velta/events {\n  rotate   3\n missingok\n postrotate\n   kill -HUP 1\n endscript\n}\n");
    const std::unique_ptr<TreeItem> parsed(LogRotateParser(Paths::placed(RotateFile)).parse());
    QVERIFY(parsed);
    QVERIFY(RotationWriter(Paths::placed(RotateFile)).write(parsed.get()));
    QCOMPARE(root.readFile(RotateFile), QByteArray("/dorvex/log/velta/events\n{\n\trotate 3\n\tmissingok\n\tpostrotate\n\t\tkill -HUP 1\n\tendscript\n}\n"));
}

void LogRotateTest::writeToMissingDirectory()
{
    TestRoot root;
    root.writeFile(RotateFile, "/dorvex/log/velta/events\n{\n\trotate 3\n}\n");
    const std::unique_ptr<TreeItem> parsed(LogRotateParser(Paths::placed(RotateFile)).parse());
    QVERIFY(parsed);
    const QString target = QStringLiteral("/etc/missing.d/syslog-ng-mod-velta");
    QVERIFY(!RotationWriter(Paths::placed(target)).write(parsed.get()));
    QVERIFY(!root.exists(target));
}

QTEST_GUILESS_MAIN(LogRotateTest)
#include "logrotatetest.moc"
