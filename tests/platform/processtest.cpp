// Outside programs as the module runs them: what they print, how they end,
// and that nothing but their own end is waited for.
#include "platform/process.h"

#include <QTest>

class ProcessTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void run_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("merged");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QByteArray>("errorOutput");

        const QString twoChannels = QStringLiteral("echo out; echo err >&2; exit 3");
        QTest::newRow("separate-channels") << twoChannels << false << QStringList() << 3 << QByteArray("out\n") << QByteArray("err\n");
        QTest::newRow("merged-channels") << twoChannels << true << QStringList() << 3 << QByteArray("out\nerr\n") << QByteArray();
        // Read while it runs: a child filling the pipe must not wait for us.
        QTest::newRow("more-than-a-pipe-holds") << QStringLiteral("head -c 300000 /dev/zero") << false << QStringList() << 0 << QByteArray(300000, '\0')
                                                << QByteArray();
        QTest::newRow("standard-input-is-empty") << QStringLiteral("cat") << false << QStringList() << 0 << QByteArray() << QByteArray();
        // Its end is what counts, not the end of the pipes it passed on.
        QTest::newRow("grandchild-keeps-the-pipes") << QStringLiteral("sleep 5 & echo started") << false << QStringList() << 0 << QByteArray("started\n")
                                                    << QByteArray();
        QTest::newRow("ended-by-a-signal") << QStringLiteral("echo before; kill -9 $$") << false << QStringList() << -1 << QByteArray("before\n")
                                           << QByteArray();
        QTest::newRow("given-environment") << QStringLiteral("printf %s \"$ONLY$HOME\"") << false << QStringList{QStringLiteral("ONLY=value")} << 0
                                           << QByteArray("value") << QByteArray();
    }

    void run()
    {
        QFETCH(QString, script);
        QFETCH(bool, merged);
        QFETCH(QStringList, environment);
        QProcessEnvironment given;
        for (const QString &entry : environment) {
            given.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
        }
        const Process::Result result =
            Process::run(QStringLiteral("sh"), {QStringLiteral("-c"), script}, 4000, merged ? Process::Channels::Merged : Process::Channels::Separate, given);
        QVERIFY(result.started);
        QVERIFY(result.finished);
        QTEST(result.exitCode, "exitCode");
        QTEST(result.output, "output");
        QTEST(result.errorOutput, "errorOutput");
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "processtest.moc"
