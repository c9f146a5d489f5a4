#include "configmanager.h"

#include "quoradmineventslog.h"

#include "platform/configsnapshot.h"
#include "platform/paths.h"
#include "platform/process.h"

#include <KLocalizedString>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace ConfigManager
{
namespace
{
// The tool runs syslog-ng and logrotate on a staged copy before it imports.
constexpr int ToolTimeoutMs = 120000;

// A status of 3 is the tool's "something would change", no failure where changes are asked for.
bool failedWithStatus(const Process::Result &result, bool changesAreOk)
{
    return result.finished && result.exitCode != 0 && !(changesAreOk && result.exitCode == 3);
}

// What the tool printed when it ran and failed; not starting and no answer Process::run logs.
void logFailure(const QStringList &arguments, const Process::Result &result, bool changesAreOk)
{
    if (failedWithStatus(result, changesAreOk)) {
        qCWarning(QUOR_ADMIN_EVENTS).noquote() << Paths::placed(Paths::ConfigManagerTool) << arguments.join(QLatin1Char(' ')) << "exited with"
                                               << result.exitCode << QByteArray(result.errorOutput + result.output).trimmed();
    }
}

Process::Result runTool(const QStringList &arguments, bool changesAreOk = false)
{
    const Process::Result result = Process::run(Paths::placed(Paths::ConfigManagerTool), arguments, ToolTimeoutMs, Process::Channels::Separate);
    logFailure(arguments, result, changesAreOk);
    return result;
}

// Why a run failed, as the administrator can act on it; empty when it did not.
QString failure(const Process::Result &result, bool changesAreOk = false)
{
    const QString tool = Paths::placed(Paths::ConfigManagerTool);
    if (!result.started) {
        return i18n("%1 could not be started", tool);
    }
    if (!result.finished) {
        return i18n("%1: no answer within %2 s", tool, ToolTimeoutMs / 1000);
    }
    if (!failedWithStatus(result, changesAreOk)) {
        return QString();
    }
    const QString said = QString::fromLocal8Bit(result.errorOutput).trimmed();
    return said.isEmpty() ? QStringLiteral("%1: exit status %2").arg(tool).arg(result.exitCode) : said;
}

ImportResult runImport(const QStringList &arguments)
{
    const Process::Result result = runTool(arguments + QStringList{QStringLiteral("--json")});
    const QJsonObject summary = QJsonDocument::fromJson(result.output).object();
    ImportResult import;
    import.message = failure(result);
    import.ok = import.message.isEmpty();
    import.changed = summary.value(QStringLiteral("changed")).toBool();
    const QJsonArray files = summary.value(QStringLiteral("files")).toArray();
    for (const QJsonValue &file : files) {
        import.files << file.toString();
    }
    return import;
}
}

Outcome exportArchive(const QString &path)
{
    const QString message = failure(runTool({QStringLiteral("-o"), path}));
    return {message.isEmpty(), message};
}

ImportResult importArchive(const QString &path)
{
    return runImport({QStringLiteral("-i"), path});
}

Preview preview(const QString &path)
{
    const Process::Result result = runTool({QStringLiteral("--diff"), path, QStringLiteral("--json")}, true);
    Preview preview;
    preview.message = failure(result, true);
    const QJsonObject summary = QJsonDocument::fromJson(result.output).object();
    if (!preview.message.isEmpty()) {
        return preview;
    }
    const QJsonArray changes = summary.value(QStringLiteral("changes")).toArray();
    for (const QJsonValue &value : changes) {
        const QJsonObject change = value.toObject();
        const QString kind = change.value(QStringLiteral("change")).toString();
        preview.changes.append({change.value(QStringLiteral("path")).toString(),
                                kind == QLatin1String("added")         ? FileChange::Kind::Added
                                    : kind == QLatin1String("removed") ? FileChange::Kind::Removed
                                                                       : FileChange::Kind::Replaced});
    }
    preview.diff = summary.value(QStringLiteral("diff")).toString().toUtf8();
    preview.ok = true;
    return preview;
}

QString snapshotArchive(const QString &name)
{
    return ConfigSnapshot::path(name);
}

QList<Snapshot> snapshots()
{
    const Process::Result result = runTool({QStringLiteral("--list-snapshots")});
    QList<Snapshot> list;
    if (!failure(result).isEmpty()) {
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
