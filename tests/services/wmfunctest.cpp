#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Session manager stand-ins on a private session bus; they record what they are asked.
class FakeShutdown : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.Shutdown")
public:
    QStringList *calls = nullptr;
public Q_SLOTS:
    void logoutAndReboot()
    {
        *calls << QStringLiteral("logoutAndReboot");
    }
};

class FakeKsmServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.KSMServerInterface")
public:
    QStringList *calls = nullptr;
public Q_SLOTS:
    void logout(int confirm, int type, int mode)
    {
        *calls << QStringLiteral("logout %1 %2 %3").arg(confirm).arg(type).arg(mode);
    }
};

// The real reboot request tool against a dbus-daemon of its own.
class WmFuncTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        m_daemon.setProgram(QStringLiteral("dbus-daemon"));
        m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        m_daemon.start();
        QVERIFY(m_daemon.waitForStarted());
        QTRY_VERIFY(m_daemon.canReadLine());
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_address, QStringLiteral("wmfunctest")));
        QVERIFY(m_bus->isConnected());
    }

    void cleanupTestCase()
    {
        m_bus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("wmfunctest"));
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    void reboot_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("services"); // registered before the run
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("message"); // part of standard error

        const QStringList reboot{QStringLiteral("QUORWM_REBOOT")};
        const QString shutdown = QStringLiteral("org.kde.Shutdown");
        const QString ksmserver = QStringLiteral("org.kde.ksmserver");
        QTest::newRow("shutdown-service") << reboot << QStringList{shutdown, ksmserver} << 0 << QStringList{QStringLiteral("logoutAndReboot")} << QString();
        QTest::newRow("ksmserver-fallback") << reboot << QStringList{ksmserver} << 0 << QStringList{QStringLiteral("logout 0 1 0")} << QString();
        QTest::newRow("no-session-manager") << reboot << QStringList() << 1 << QStringList() << QStringLiteral("no session manager");
        QTest::newRow("call-refused") << reboot << QStringList{QStringLiteral("org.kde.Shutdown-without-object")} << 1 << QStringList()
                                      << QStringLiteral("refused");
        QTest::newRow("no-argument") << QStringList() << QStringList{shutdown} << 2 << QStringList() << QStringLiteral("Usage");
        QTest::newRow("other-argument") << QStringList{QStringLiteral("QUORWM_LOGOUT")} << QStringList{shutdown} << 2 << QStringList()
                                        << QStringLiteral("Usage");
        QTest::newRow("extra-argument") << QStringList{reboot.first(), reboot.first()} << QStringList{shutdown} << 2 << QStringList()
                                        << QStringLiteral("Usage");
    }

    void reboot()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, services);
        QFETCH(int, exitCode);
        QFETCH(QStringList, calls);
        QFETCH(QString, message);

        QStringList recorded;
        FakeShutdown shutdown;
        shutdown.calls = &recorded;
        FakeKsmServer ksmserver;
        ksmserver.calls = &recorded;
        for (const QString &service : std::as_const(services)) {
            if (service == QLatin1String("org.kde.Shutdown")) {
                QVERIFY(m_bus->registerObject(QStringLiteral("/Shutdown"), &shutdown, QDBusConnection::ExportAllSlots));
            } else if (service == QLatin1String("org.kde.ksmserver")) {
                QVERIFY(m_bus->registerObject(QStringLiteral("/KSMServer"), &ksmserver, QDBusConnection::ExportAllSlots));
            }
            QVERIFY(m_bus->registerService(service.section(QLatin1Char('-'), 0, 0)));
        }

        QTemporaryDir runtimeDir;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir.path());
        QProcess tool;
        tool.setProcessEnvironment(environment);
        QSignalSpy finished(&tool, qOverload<int, QProcess::ExitStatus>(&QProcess::finished));
        tool.start(QStringLiteral(WMFUNC_PATH), arguments);
        // The event loop must run meanwhile: it answers the tool's calls.
        QVERIFY(finished.wait(20000));
        const QString errors = QString::fromUtf8(tool.readAllStandardError());

        for (const QString &service : std::as_const(services)) {
            m_bus->unregisterService(service.section(QLatin1Char('-'), 0, 0));
        }
        m_bus->unregisterObject(QStringLiteral("/Shutdown"));
        m_bus->unregisterObject(QStringLiteral("/KSMServer"));

        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QVERIFY2(tool.exitCode() == exitCode, qPrintable(errors));
        QCOMPARE(recorded, calls);
        if (message.isEmpty()) {
            QCOMPARE(errors, QString());
        } else {
            QVERIFY2(errors.contains(message), qPrintable(errors));
        }
    }

private:
    QProcess m_daemon;
    QString m_address;
    std::unique_ptr<QDBusConnection> m_bus;
};

QTEST_GUILESS_MAIN(WmFuncTest)
#include "wmfunctest.moc"
