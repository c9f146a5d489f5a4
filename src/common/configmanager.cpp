#include "configmanager.h"

#include "quoradmineventslog.h"

#include "platform/paths.h"
#include "platform/process.h"

#include <KLocalizedString>

#include <QJsonDocument>
#include <QJsonObject>

namespace ConfigManager
{
namespace
{
// The tool runs syslog-ng and logrotate on a staged copy before it imports.
constexpr int ToolTimeoutMs = 120000;

// What the tool printed when it ran and failed; not starting and no answer Process::run logs.
void logFailure(const QStringList &arguments, const Process::Result &result)
{
    if (result.finished && result.exitCode != 0) {
        qCWarning(QUOR_ADMIN_EVENTS).noquote() << Paths::placed(Paths::ConfigManagerTool) << arguments.join(QLatin1Char(' ')) << "exited with"
                                               << result.exitCode << QByteArray(result.errorOutput + result.output).trimmed();
    }
}

Process::Result runTool(const QStringList &arguments)
{
    const Process::Result result = Process::run(Paths::placed(Paths::ConfigManagerTool), arguments, ToolTimeoutMs, Process::Channels::Separate);
    logFailure(arguments, result);
    return result;
}

ImportResult runImport(QStringList arguments)
{
    const Process::Result result = runTool(arguments << QStringLiteral("--json"));
    const QJsonObject summary = QJsonDocument::fromJson(result.output).object();
    ImportResult import;
    import.ok = result.finished && result.exitCode == 0;
    import.changed = summary.value(QStringLiteral("changed")).toBool();
    if (!result.started) {
        import.message = i18n("%1 could not be started", Paths::placed(Paths::ConfigManagerTool));
    } else if (!result.finished) {
        import.message = i18n("%1: no answer within %2 s", Paths::placed(Paths::ConfigManagerTool), ToolTimeoutMs / 1000);
    } else if (!import.ok) {
        import.message = QString::fromLocal8Bit(result.errorOutput).trimmed();
    }
    return import;
}
}

bool run(const QString &option, const QString &archive)
{
    // No time limit: the archive may be large, and the user waits for the result.
    const Process::Result result = Process::run(Paths::placed(Paths::ConfigManagerTool), {option, archive});
    logFailure({option, archive}, result);
    return result.finished && result.exitCode == 0;
}

ImportResult importArchive(const QString &path)
{
    return runImport({QStringLiteral("-i"), path});
}

ImportResult restoreSnapshot(const QString &name)
{
    return runImport({QStringLiteral("--restore"), name});
}

QList<Snapshot> snapshots()
{
    const Process::Result result = runTool({QStringLiteral("--list-snapshots")});
    QList<Snapshot> list;
    if (!result.finished || result.exitCode != 0) {
        return list;
    }
    // One line per snapshot: name, time taken, files that differ, tab-separated.
    const QStringList lines = QString::fromUtf8(result.output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QStringList columns = line.split(QLatin1Char('\t'));
        if (columns.size() == 3) {
            list.append({columns.at(0), QDateTime::fromString(columns.at(1), Qt::ISODate), columns.at(2).split(QLatin1Char(' '), Qt::SkipEmptyParts)});
        }
    }
    return list;
}
} // namespace ConfigManager
