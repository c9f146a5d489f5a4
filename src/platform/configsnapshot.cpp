#include "configsnapshot.h"

#include "platformlog.h"

#include "paths.h"
#include "process.h"

#include <KLocalizedString>

#include <QString>

namespace ConfigSnapshot
{
namespace
{
constexpr int SnapshotTimeoutMs = 60000;
}

bool take(QString *errorText)
{
    const QString tool = Paths::placed(Paths::ConfigManagerTool);
    const Process::Result result = Process::run(tool, {QStringLiteral("--snapshot")}, SnapshotTimeoutMs, Process::Channels::Separate);
    if (result.finished && result.exitCode == 0) {
        return true;
    }
    const QString reason = !result.started ? i18n("could not be started")
        : !result.finished                 ? i18n("no answer within the time limit")
                                           : QString::fromLocal8Bit(result.errorOutput).trimmed();
    const QString text = QStringLiteral("%1 --snapshot: %2").arg(tool, reason);
    if (result.finished) { // the rest Process::run has logged
        qCWarning(QUOR_PLATFORM).noquote() << text;
    }
    if (errorText) {
        *errorText = text;
    }
    return false;
}
}
