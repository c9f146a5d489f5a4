#include "childprocess.h"

#include <QRegularExpression>
#include <QTest>

#include <unistd.h>

// The module refuses to run without root rights and the maximal integrity level.
class PrivilegeTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (geteuid() != 0) {
            QSKIP("dropping to another user needs root");
        }
    }

    void refusal_data()
    {
        QTest::addColumn<bool>("asRoot");
        QTest::addColumn<QString>("integrity"); // "none": no helper library
        QTest::addColumn<QString>("message"); // empty: the module is built

        const QString integrity = QStringLiteral("log in to the session under a high level of integrity");
        const QString superuser = QStringLiteral("run this application with superuser privileges");
        QTest::newRow("root-without-helper") << true << QStringLiteral("none") << QString();
        QTest::newRow("root-at-max-level") << true << QStringLiteral("1") << QString();
        QTest::newRow("root-at-low-level") << true << QStringLiteral("0") << QStringLiteral("To administer the system you must %1.").arg(integrity);
        QTest::newRow("user-without-helper") << false << QStringLiteral("none") << QStringLiteral("To administer the system you must %1.").arg(superuser);
        QTest::newRow("user-at-max-level") << false << QStringLiteral("1") << QStringLiteral("To administer the system you must %1.").arg(superuser);
        QTest::newRow("user-at-low-level") << false << QStringLiteral("0")
                                           << QStringLiteral("To administer the system you must %1 and %2.").arg(integrity, superuser);
    }

    void refusal()
    {
        QFETCH(bool, asRoot);
        QFETCH(QString, integrity);
        QFETCH(QString, message);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("QUOR_ADMIN_EVENTS_ROOT"), QStringLiteral("/nonexistent"));
        if (integrity != QLatin1String("none")) {
            environment.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(FAKE_QMXHELPER_DIR));
            environment.insert(QStringLiteral("QUOR_FAKE_MAX_MIC"), integrity);
        }
        QStringList arguments;
        if (!asRoot) {
            arguments << QStringLiteral("--uid") << QStringLiteral("65534");
        }
        const ChildRun run = runChild(QStringLiteral(MODULEPROBE_PATH), arguments, environment);
        QVERIFY2(!run.crashed, qPrintable(run.output));
        QCOMPARE(run.exitCode, 0);
        const QStringList boxes = run.output.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^BOX\t")));
        if (message.isEmpty()) {
            QCOMPARE(boxes, QStringList());
            QVERIFY2(run.output.contains(QLatin1String("BUILT")), qPrintable(run.output));
        } else {
            QCOMPARE(boxes, QStringList{QStringLiteral("BOX\tWarning!\t") + message});
            QVERIFY2(!run.output.contains(QLatin1String("BUILT")), qPrintable(run.output));
        }
    }
};

QTEST_GUILESS_MAIN(PrivilegeTest)
#include "privilegetest.moc"
