#include "testroot.h"

#include "platform/paths.h"
#include "platform/programs.h"
#include "services/snghandler.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace
{
void copyRecursively(const QString &from, const QString &to)
{
    const QFileInfo info(from);
    if (info.isDir()) {
        QDir().mkpath(to);
        const auto entries = QDir(from).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        for (const QString &entry : entries) {
            copyRecursively(from + QLatin1Char('/') + entry, to + QLatin1Char('/') + entry);
        }
        return;
    }
    QDir().mkpath(QFileInfo(to).absolutePath());
    QFile::remove(to);
    if (!QFile::copy(from, to)) {
        qFatal("cannot copy %s to %s", qPrintable(from), qPrintable(to));
    }
    QFile(to).setPermissions(QFile(to).permissions() | QFileDevice::WriteOwner);
}
}

TestRoot::TestRoot()
    : m_previousRoot(qgetenv("QUOR_ADMIN_EVENTS_ROOT"))
{
    QDir().mkpath(m_dir.path() + QStringLiteral("/test"));
    qputenv("QUOR_ADMIN_EVENTS_ROOT", m_dir.path().toUtf8());
    writeFile(QStringLiteral("/test/commands.log"), QByteArray());
    setRunningUnits({QStringLiteral("syslog-ng"), QStringLiteral("auditd")});
    placePrograms(m_dir.path());
}

TestRoot::~TestRoot()
{
    // A restart or status query still running would record its commands in the
    // next test's root: it may end, then whatever still runs is abandoned.
    SngHandler *handler = SngHandler::instance();
    (void)QTest::qWaitFor(
        [handler] {
            return !handler->busy();
        },
        30000);
    handler->abandonAll();
    // Only while it names this root: a root made before this one went away
    // (a test that failed before its cleanup) must not take the new one's place.
    if (qgetenv("QUOR_ADMIN_EVENTS_ROOT") == m_dir.path().toUtf8()) {
        qputenv("QUOR_ADMIN_EVENTS_ROOT", m_previousRoot);
    }
}

QString TestRoot::path() const
{
    return m_dir.path();
}

QString TestRoot::placed(const QString &systemPath) const
{
    return m_dir.path() + systemPath;
}

void TestRoot::copyData(const QString &dataPath, const QString &systemPath) const
{
    copyRecursively(QStringLiteral(QUOR_DATA_DIR "/") + dataPath, placed(systemPath));
}

void TestRoot::copySampleSystem() const
{
    copyRecursively(QStringLiteral(QUOR_DATA_DIR "/root"), m_dir.path());
}

void TestRoot::installFake(const QString &fakeName, const QString &systemPath) const
{
    copyRecursively(QStringLiteral(QUOR_FAKEBIN_DIR "/") + fakeName, placed(systemPath));
}

void TestRoot::removeProgram(const QString &name) const
{
    const QString placedProgram = Programs::located(name);
    if (placedProgram.isEmpty() || !QFile::remove(placedProgram)) {
        qFatal("cannot remove the program %s", qPrintable(name));
    }
}

void TestRoot::writeFile(const QString &systemPath, const QByteArray &content) const
{
    const QString target = placed(systemPath);
    QDir().mkpath(QFileInfo(target).absolutePath());
    // A link (the installed configuration manager) is replaced, never written through.
    if (QFileInfo(target).isSymLink()) {
        QFile::remove(target);
    }
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size()) {
        qFatal("cannot write %s", qPrintable(target));
    }
}

QByteArray TestRoot::readFile(const QString &systemPath) const
{
    QFile file(placed(systemPath));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TestRoot::exists(const QString &systemPath) const
{
    return QFileInfo::exists(placed(systemPath));
}

void TestRoot::placePrograms(const QString &rootPath)
{
    for (const Programs::Program &program : Programs::table()) {
        const QString at = rootPath + program.path;
        const QString fake = QStringLiteral(QUOR_FAKEBIN_DIR "/") + program.name;
        if (QFileInfo::exists(fake)) {
            copyRecursively(fake, at);
            continue;
        }
        // The configuration manager as installed: every write of the module keeps a snapshot first.
        const QString target = program.path == Paths::ConfigManagerTool ? QStringLiteral(QUOR_CONFIG_MANAGER_PATH) : QString(program.path);
        QDir().mkpath(QFileInfo(at).absolutePath());
        QFile::remove(at);
        if (!QFile::link(target, at)) {
            qFatal("cannot place %s at %s", qPrintable(target), qPrintable(at));
        }
    }
    // The Python modules of the event watcher, where the system keeps its Python modules.
    copyRecursively(QStringLiteral(QUOR_SOURCE_DIR "/tests/syslogng/python/syslog_ng_mod_velta"),
                    rootPath + QStringLiteral("/usr/lib/python3/dist-packages/syslog_ng_mod_velta"));
}

void TestRoot::setFakeVariable(const QByteArray &name, const QByteArray &value)
{
    // Only in a root a test made, never in a folder of the real system.
    if (!QFileInfo(Paths::placed(QStringLiteral("/test/commands.log"))).isFile()) {
        qFatal("no test root to set %s in", name.constData());
    }
    const QString file = Paths::placed(QStringLiteral("/test/fake.env"));
    QByteArray settings;
    QFile current(file);
    if (current.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = current.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (!line.isEmpty() && !line.startsWith(QByteArray(name + '='))) {
                settings += line + '\n';
            }
        }
        current.close();
    }
    if (!value.isEmpty()) {
        settings += name + "='" + QByteArray(value).replace('\'', "'\\''") + "'\n";
    }
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(settings) != settings.size()) {
        qFatal("cannot write %s", qPrintable(file));
    }
}

QStringList TestRoot::commands() const
{
    return QString::fromUtf8(readFile(QStringLiteral("/test/commands.log"))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestRoot::clearCommands() const
{
    writeFile(QStringLiteral("/test/commands.log"), QByteArray());
}

void TestRoot::setRunningUnits(const QStringList &units) const
{
    writeFile(QStringLiteral("/test/running-units"), units.isEmpty() ? QByteArray() : units.join(QLatin1Char('\n')).toUtf8() + '\n');
}

QStringList TestRoot::runningUnits() const
{
    return QString::fromUtf8(readFile(QStringLiteral("/test/running-units"))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
