#include "childprocess.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

// The module refuses to run without root rights and the maximal integrity level:
// its own shell ends with one warning, another settings centre keeps running
// with the warning in the page.
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
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("asRoot");
        QTest::addColumn<QString>("integrity"); // "none": no helper library
        QTest::addColumn<QString>("message"); // empty: the module is built

        const QString integrity = QStringLiteral("log in to the session under a high level of integrity");
        const QString superuser = QStringLiteral("run this application with superuser privileges");
        const QString both = QStringLiteral("To administer the system you must %1 and %2.").arg(integrity, superuser);
        for (const char *host : {"kcmshell5", "kcmshell6", "systemsettings"}) {
            const auto row = [host](const char *name) -> QTestData & {
                return QTest::addRow("%s-%s", host, name) << QString::fromLatin1(host);
            };
            row("root-without-helper") << true << QStringLiteral("none") << QString();
            row("root-at-max-level") << true << QStringLiteral("1") << QString();
            row("root-at-low-level") << true << QStringLiteral("0") << QStringLiteral("To administer the system you must %1.").arg(integrity);
            row("user-without-helper") << false << QStringLiteral("none") << QStringLiteral("To administer the system you must %1.").arg(superuser);
            row("user-at-max-level") << false << QStringLiteral("1") << QStringLiteral("To administer the system you must %1.").arg(superuser);
            row("user-at-low-level") << false << QStringLiteral("0") << both;
        }
    }

    void refusal()
    {
        QFETCH(QString, host);
        QFETCH(bool, asRoot);
        QFETCH(QString, integrity);
        QFETCH(QString, message);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // A root root may use (its own, in /tmp), without event settings.
        const QTemporaryDir root;
        environment.insert(QStringLiteral("QUOR_ADMIN_EVENTS_ROOT"), root.path());
        if (integrity != QLatin1String("none")) {
            environment.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(FAKE_QMXHELPER_DIR));
            environment.insert(QStringLiteral("QUOR_FAKE_MAX_MIC"), integrity);
        }
        // Loaded only where the page refuses: the root given has no event settings.
        QStringList arguments{QStringLiteral("--host"), host};
        if (!message.isEmpty()) {
            arguments << QStringLiteral("--load");
        }
        if (!asRoot) {
            arguments << QStringLiteral("--uid") << QStringLiteral("65534");
        }
        const ChildRun run = runChild(QStringLiteral(MODULEPROBE_PATH), arguments, environment);
        QVERIFY2(!run.crashed, qPrintable(run.output));
        QCOMPARE(run.exitCode, 0);
        const QStringList boxes = run.output.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^BOX\t")));
        const QStringList pages = run.output.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^PAGE\t")));
        const bool ownShell = host.startsWith(QLatin1String("kcmshell"));
        if (message.isEmpty()) {
            QCOMPARE(boxes, QStringList());
            QCOMPARE(pages, QStringList());
            QVERIFY2(run.output.contains(QLatin1String("BUILT")), qPrintable(run.output));
        } else if (ownShell) {
            QCOMPARE(boxes, QStringList{QStringLiteral("BOX\tWarning!\t") + message});
            QVERIFY2(!run.output.contains(QLatin1String("BUILT")), qPrintable(run.output));
        } else {
            // Nothing of the page but the warning can be used, and the host goes on.
            QCOMPARE(boxes, QStringList());
            QCOMPARE(pages, QStringList{QStringLiteral("PAGE\t") + message + QLatin1Char('\t')});
            QVERIFY2(run.output.contains(QLatin1String("LOADED")), qPrintable(run.output));
        }
    }
};

QTEST_GUILESS_MAIN(PrivilegeTest)
#include "privilegetest.moc"
