#include "configsnapshot.h"

#include "platformlog.h"

#include "paths.h"
#include "process.h"

#include <KLocalizedString>

#include <QDir>
#include <QRegularExpression>
#include <QString>

namespace ConfigSnapshot
{
namespace
{
constexpr int SnapshotTimeoutMs = 60000;
}

bool take(QString *errorText, QString *name)
{
    Taken taken;
    take(Process::waiting(), [&taken](const Taken &result) {
        taken = result;
    });
    if (errorText) {
        *errorText = taken.error;
    }
    if (name) {
        *name = taken.name;
    }
    return taken.ok;
}

void take(const Process::Runner &run, const std::function<void(const Taken &)> &done)
{
    const QString tool = Paths::placed(Paths::ConfigManagerTool);
    run(tool, {QStringLiteral("--snapshot")}, SnapshotTimeoutMs, Process::Channels::Separate, [tool, done](const Process::Result &result) {
        if (result.finished && result.exitCode == 0) {
            return done({true, QString(), QString::fromUtf8(result.output).trimmed()});
        }
        const QString reason = !result.started ? i18n("could not be started")
            : !result.finished                 ? i18n("no answer within the time limit")
                                               : QString::fromLocal8Bit(result.errorOutput).trimmed();
        const QString text = QStringLiteral("%1 --snapshot: %2").arg(tool, reason);
        if (result.finished) { // the rest the runner has logged
            qCWarning(QUOR_PLATFORM).noquote() << text;
        }
        done({false, text, QString()});
    });
}

QString newest()
{
    // The tool names its snapshots by the time they were taken, so that names sort by it.
    static const QRegularExpression snapshotName(QStringLiteral("^[0-9]{8}-[0-9]{6}-[0-9]{3}\\.tar\\.gz$"));
    QStringList names = QDir(Paths::placed(Paths::SnapshotDir)).entryList({QStringLiteral("*.tar.gz")}, QDir::Files, QDir::Name);
    for (auto it = names.crbegin(); it != names.crend(); ++it) {
        if (snapshotName.match(*it).hasMatch()) {
            return *it;
        }
    }
    return QString();
}
}
