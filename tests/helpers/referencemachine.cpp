#include "referencemachine.h"

#include "platform/paths.h"
#include "platform/process.h"
#include "testroot.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

ReferenceMachine::ReferenceMachine(const TestRoot &host, const QString &name)
    : m_host(host)
    , m_root(QStringLiteral("/test/") + name)
{
}

bool ReferenceMachine::exportFiles(const QMap<QString, QByteArray> &files, const QString &archive) const
{
    // Only these files: the machine's configuration is replaced whole.
    const QString placedRoot = m_host.placed(m_root);
    for (const QString &folder : {QStringLiteral("/etc"), QStringLiteral("/root")}) {
        QDir(placedRoot + folder).removeRecursively();
    }
    QFile::remove(placedRoot + Paths::AuditTypeStore);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        m_host.writeFile(m_root + it.key(), it.value());
    }
    TestRoot::placePrograms(placedRoot);
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("QUOR_ADMIN_EVENTS_ROOT"), placedRoot);
    const Process::Result exported =
        Process::run(m_host.placed(Paths::ConfigManagerTool), {QStringLiteral("-o"), m_host.placed(archive)}, 60000, Process::Channels::Merged, environment);
    if (exported.exitCode != 0) {
        qWarning("%s", exported.output.constData());
    }
    return exported.exitCode == 0;
}

QByteArray ReferenceMachine::publicKey() const
{
    return m_host.readFile(m_root + QString(Paths::SigningDir) + QLatin1String("/key.pub")).trimmed();
}

void ReferenceMachine::trust() const
{
    const QList<QByteArray> fields = publicKey().split(' ');
    const QByteArray line = fields.value(2) + " namespaces=\"quor-admin-events-archive\" " + fields.value(0) + ' ' + fields.value(1) + '\n';
    const QString list = Paths::TrustedSigners;
    m_host.writeFile(list, (m_host.exists(list) ? m_host.readFile(list) : QByteArray()) + line);
}
