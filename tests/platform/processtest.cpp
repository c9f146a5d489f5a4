// Outside programs as the module runs them: what they print, how they end,
// and that nothing but their own end is waited for.
#include "platform/process.h"
#include "watchedchild.h"

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
        // Added to the fixed environment, whatever ours holds.
        QTest::newRow("given-environment") << QStringLiteral("printf %s \"$ONLY:$HOME\"") << false << QStringList{QStringLiteral("ONLY=value")} << 0
                                           << QByteArray("value:/root") << QByteArray();
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
        const Process::Result result = Process::run(QStringLiteral("/bin/sh"),
                                                    {QStringLiteral("-c"), script},
                                                    4000,
                                                    merged ? Process::Channels::Merged : Process::Channels::Separate,
                                                    given);
        QVERIFY(result.started);
        QVERIFY(result.finished);
        QTEST(result.exitCode, "exitCode");
        QTEST(result.output, "output");
        QTEST(result.errorOutput, "errorOutput");
    }

    void tell_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("withInput");
        QTest::addColumn<QString>("endedFirst"); // told once it has ended: "seen" by us, or "unseen" yet
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("read-whole") << QStringLiteral("cat") << true << QString() << true << QByteArray("keep\n");
        QTest::newRow("read-while-it-waits") << QStringLiteral("read word; echo \"$word\"; read more || echo end") << true << QString() << true
                                             << QByteArray("keep\nend\n");
        // A child that is gone fails the write; no SIGPIPE ends this process.
        QTest::newRow("ended-seen") << QStringLiteral("exit 0") << true << QStringLiteral("seen") << false << QByteArray();
        QTest::newRow("ended-unseen") << QStringLiteral("exit 0") << true << QStringLiteral("unseen") << false << QByteArray();
        QTest::newRow("no-input-asked-for") << QStringLiteral("cat") << false << QString() << false << QByteArray();
    }

    // What a child started with input from us reads, and what telling it does.
    void tell()
    {
        QFETCH(QString, script);
        QFETCH(bool, withInput);
        QFETCH(QString, endedFirst);
        WatchedChild child;
        const std::optional<Process::Result> &ended = child.ended;
        child.process.start(QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"), script},
                            4000,
                            Process::Channels::Merged,
                            QProcessEnvironment(),
                            withInput ? Process::Input::Ours : Process::Input::None);
        if (endedFirst == QLatin1String("seen")) {
            QTRY_VERIFY(ended.has_value());
        } else if (endedFirst == QLatin1String("unseen")) {
            QTest::qSleep(500); // no event is handled: its end is not seen yet
            QVERIFY(!ended.has_value());
        }
        QTEST(child.process.tell("keep\n"), "taken");
        QTRY_VERIFY(ended.has_value());
        QVERIFY(ended->finished);
        QCOMPARE(ended->exitCode, 0);
        QTEST(ended->output, "output");
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "processtest.moc"
