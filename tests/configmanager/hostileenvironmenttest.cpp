#include "platform/paths.h"
#include "platform/process.h"
#include "platform/programs.h"
#include "testroot.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
const QString NotifiedEvent = QString(Paths::PerEventFilePrefix) + QLatin1String("user-login.conf");

void writeExecutable(const QString &path, const QByteArray &content)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

// What a user hands to root when root keeps their environment (sudo -E, su
// without "-"): programs of every name first on PATH, Python modules on
// PYTHONPATH and in the user site folder of HOME, a TMPDIR of theirs. Each
// leaves a mark when it runs.
class HostileEnvironment
{
public:
    HostileEnvironment()
    {
        QStringList names{QStringLiteral("systemctl"), QStringLiteral("syslog-ng-ctl"), QStringLiteral("tar")};
        for (const Programs::Program &program : Programs::table()) {
            names << program.name;
        }
        for (const QString &name : std::as_const(names)) {
            writeExecutable(path(QStringLiteral("bin/") + name), "#!/bin/sh\ntouch '" + QFile::encodeName(path(QStringLiteral("ran-") + name)) + "'\n");
        }
        const QByteArray marker = "open('" + QFile::encodeName(path(QStringLiteral("ran-python-module"))) + "', 'w')\n";
        writeExecutable(path(QStringLiteral("python/sitecustomize.py")), "import os\n" + marker);
        for (const char *version : {"3.11", "3.12", "3.13"}) {
            writeExecutable(path(QStringLiteral("home/.local/lib/python%1/site-packages/mine.pth").arg(QLatin1String(version))), "import os; " + marker);
        }
        QDir().mkpath(path(QStringLiteral("tmp")));
    }

    QString path(const QString &name) const
    {
        return m_dir.filePath(name);
    }

    QProcessEnvironment environment(const QString &root) const
    {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), path(QStringLiteral("bin")) + QLatin1String(":/usr/sbin:/usr/bin:/sbin:/bin"));
        environment.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        environment.insert(QStringLiteral("TMPDIR"), path(QStringLiteral("tmp")));
        environment.insert(QStringLiteral("PYTHONPATH"), path(QStringLiteral("python")));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        environment.insert(QStringLiteral("QUOR_ADMIN_EVENTS_ROOT"), root);
        return environment;
    }

    // The marks left, and whatever came into TMPDIR.
    QStringList traces() const
    {
        QStringList found = QDir(m_dir.path()).entryList({QStringLiteral("ran-*")}, QDir::Files);
        const QStringList inTmp = QDir(path(QStringLiteral("tmp"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        for (const QString &entry : inTmp) {
            found << QStringLiteral("tmp/") + entry;
        }
        return found;
    }

private:
    QTemporaryDir m_dir;
};

struct Ran {
    int exitCode = -1;
    QByteArray output;
};

Ran runTool(const TestRoot &root, const QStringList &arguments, const QProcessEnvironment &environment)
{
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(root.placed(Paths::ConfigManagerTool), arguments);
    if (!tool.waitForFinished(60000)) {
        tool.kill();
        tool.waitForFinished();
        return {};
    }
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1, tool.readAll()};
}
}

// Root started with a user's environment: nothing of it decides what runs,
// where scratch files go or which system is changed.
class HostileEnvironmentTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (geteuid() != 0) {
            QSKIP("the checks of the system root are root's: run as root");
        }
    }

    void toolUsesNothingOfTheEnvironment_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("recorded"); // a command the placed sudo recorded, or none
        QTest::newRow("export") << QStringList{QStringLiteral("-o"), QStringLiteral("@R/test/again.tar.gz")} << 0 << QString();
        QTest::newRow("check") << QStringList{QStringLiteral("--check"), QStringLiteral("@A"), QStringLiteral("--allow-unsigned")} << 0 << QString();
        QTest::newRow("diff") << QStringList{QStringLiteral("--diff"), QStringLiteral("@A"), QStringLiteral("--allow-unsigned")} << 3 << QString();
        QTest::newRow("import") << QStringList{QStringLiteral("-i"),
                                               QStringLiteral("@A"),
                                               QStringLiteral("--allow-unsigned"),
                                               QStringLiteral("--restart-if-changed")}
                                << 0 << QStringLiteral("sudo syslog-ng-ctl reload");
        QTest::newRow("status") << QStringList{QStringLiteral("--status")} << 0 << QString();
    }

    void toolUsesNothingOfTheEnvironment()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, recorded);
        TestRoot root;
        root.copySampleSystem();
        root.writeFile(NotifiedEvent, "filter velta_user_login { match(\"user-login\" value(\"MSG.id\")); };\n");
        const HostileEnvironment hostile;
        const QProcessEnvironment environment = hostile.environment(root.path());
        // An archive of the system as it is, then the system changed: the
        // import puts the common file back, which syslog-ng reloads.
        const Ran exported = runTool(root, {QStringLiteral("-o"), root.placed(QStringLiteral("/test/system.tar.gz"))}, environment);
        QVERIFY2(exported.exitCode == 0, exported.output.constData());
        root.writeFile(Paths::CommonSyslogNgFile, root.readFile(Paths::CommonSyslogNgFile) + "# changed since\n");
        root.clearCommands();

        for (QString &argument : arguments) {
            argument.replace(QLatin1String("@A"), root.placed(QStringLiteral("/test/system.tar.gz"))).replace(QLatin1String("@R"), root.path());
        }
        const Ran ran = runTool(root, arguments, environment);
        QVERIFY2(ran.exitCode == exitCode, ran.output.constData());
        QCOMPARE(hostile.traces(), QStringList());
        if (!recorded.isEmpty()) {
            QVERIFY2(root.commands().contains(recorded), qPrintable(root.commands().join(QLatin1Char('\n'))));
        }
        // Scratch files went to root's own folder and went away with their use.
        QCOMPARE(QDir(root.placed(Paths::ScratchDir)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    // A root another user could change is refused by the tool before it reads
    // or writes anything, and by the module (the same check).
    void rootOthersCanChangeIsRefused_data()
    {
        QTest::addColumn<QString>("make"); // how the folder above the root is made unsafe
        QTest::newRow("others-may-write-above") << QStringLiteral("chmod 0777");
        QTest::newRow("group-may-write-the-root") << QStringLiteral("chmod-root 0775");
        QTest::newRow("a-user-owns-the-folder-above") << QStringLiteral("chown 65534");
        QTest::newRow("the-root-is-a-link") << QStringLiteral("link");
        QTest::newRow("safe") << QString();
    }

    void rootOthersCanChangeIsRefused()
    {
        QFETCH(QString, make);
        TestRoot root;
        root.copySampleSystem();
        const QString above = root.placed(QStringLiteral("/test/above"));
        QString system = above + QLatin1String("/system");
        QVERIFY(QDir().mkpath(system));
        TestRoot::placePrograms(system);
        const QByteArray aboveName = QFile::encodeName(above);
        if (make == QLatin1String("chmod 0777")) {
            QCOMPARE(::chmod(aboveName.constData(), 0777), 0);
        } else if (make == QLatin1String("chmod-root 0775")) {
            QCOMPARE(::chmod(QFile::encodeName(system).constData(), 0775), 0);
        } else if (make == QLatin1String("chown 65534")) {
            QCOMPARE(::chown(aboveName.constData(), 65534, 65534), 0);
        } else if (make == QLatin1String("link")) {
            QVERIFY(QFile::link(system, above + QLatin1String("/link")));
            system = above + QLatin1String("/link");
        }
        const HostileEnvironment hostile;
        const Ran ran = runTool(root, {QStringLiteral("--snapshot")}, hostile.environment(system));
        const QByteArray previous = qgetenv("QUOR_ADMIN_EVENTS_ROOT");
        qputenv("QUOR_ADMIN_EVENTS_ROOT", system.toUtf8());
        const QString refusal = Paths::rootRefusal();
        qputenv("QUOR_ADMIN_EVENTS_ROOT", previous);
        if (make.isEmpty()) {
            QCOMPARE(refusal, QString());
            QVERIFY2(!ran.output.contains("cannot be used"), ran.output.constData());
            return;
        }
        QVERIFY2(refusal.contains(QLatin1String("cannot be used")), qPrintable(refusal));
        QVERIFY2(ran.exitCode == 1 && ran.output.contains("cannot be used"), ran.output.constData());
        QVERIFY(!QDir(system + QLatin1String("/var/lib/quor-admin-events")).exists());
        QCOMPARE(hostile.traces(), QStringList());
    }

    // What a child of the module finds in its environment, whatever ours holds.
    void childEnvironmentIsFixed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ours");
        QTest::addColumn<QString>("childs"); // empty: not passed on
        QTest::newRow("path") << QStringLiteral("PATH") << QStringLiteral("/home/mallory/bin:/usr/bin")
                              << QStringLiteral("/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin");
        QTest::newRow("home") << QStringLiteral("HOME") << QStringLiteral("/home/mallory") << QStringLiteral("/root");
        QTest::newRow("tmpdir") << QStringLiteral("TMPDIR") << QStringLiteral("/home/mallory/tmp") << QString();
        QTest::newRow("python-path") << QStringLiteral("PYTHONPATH") << QStringLiteral("/home/mallory/python") << QString();
        QTest::newRow("preload") << QStringLiteral("LD_PRELOAD") << QStringLiteral("/home/mallory/x.so") << QString();
        QTest::newRow("locale") << QStringLiteral("LANG") << QStringLiteral("ru_RU.UTF-8") << QStringLiteral("ru_RU.UTF-8");
        QTest::newRow("language-list") << QStringLiteral("LANGUAGE") << QStringLiteral("ru:en") << QStringLiteral("ru:en");
        // The C library reads a locale named by a path from that file.
        QTest::newRow("locale-as-a-path") << QStringLiteral("LC_MESSAGES") << QStringLiteral("/home/mallory/locale") << QString();
    }

    void childEnvironmentIsFixed()
    {
        QFETCH(QString, name);
        QFETCH(QString, ours);
        QFETCH(QString, childs);
        const QByteArray key = name.toLatin1();
        const QByteArray previous = qgetenv(key.constData());
        const bool wasSet = qEnvironmentVariableIsSet(key.constData());
        qputenv(key.constData(), ours.toUtf8());
        const Process::Result printed =
            Process::run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("printf '%s' \"${%1-unset}\"").arg(name)}, 10000);
        if (wasSet) {
            qputenv(key.constData(), previous);
        } else {
            qunsetenv(key.constData());
        }
        QCOMPARE(QString::fromUtf8(printed.output), childs.isEmpty() ? QStringLiteral("unset") : childs);
    }

    // The scripts that place the programs for the demo and the fleet test use
    // the same table as the module.
    void scriptsPlaceTheSamePrograms()
    {
        const Process::Result listed = Process::run(QStringLiteral(QUOR_SOURCE_DIR "/scripts/place-programs"), {QStringLiteral("--list")}, 10000);
        QCOMPARE(listed.exitCode, 0);
        QStringList table;
        for (const Programs::Program &program : Programs::table()) {
            table << program.name + QLatin1Char(' ') + program.path;
        }
        QCOMPARE(QString::fromUtf8(listed.output).split(QLatin1Char('\n'), Qt::SkipEmptyParts), table);
    }

    // A name outside the table never starts, whatever PATH holds.
    void unknownProgramDoesNotStart()
    {
        const Process::Result ran = Process::run(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("true")}, 10000);
        QVERIFY(!ran.started);
    }
};

QTEST_GUILESS_MAIN(HostileEnvironmentTest)
#include "hostileenvironmenttest.moc"
