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

// The tool's status for an archive refused for its signer alone.
constexpr int UntrustedStatus = 4;

// The tool's options for a signature policy.
QStringList signatureArguments(Signature signature)
{
    return signature == Signature::AnySigner ? QStringList{QStringLiteral("--allow-unsigned")} : QStringList();
}

// A status of 3 is the tool's "something would change", no failure where changes are asked for.
bool failedWithStatus(const Process::Result &result, bool changesAreOk)
{
    return result.finished && result.exitCode != 0 && !(changesAreOk && result.exitCode == 3);
}

// What the tool printed when it ran and failed; not starting and no answer the runner logs.
void logFailure(const QStringList &arguments, const Process::Result &result, bool changesAreOk)
{
    if (failedWithStatus(result, changesAreOk)) {
        qCWarning(QUOR_ADMIN_EVENTS).noquote() << Paths::placed(Paths::ConfigManagerTool) << arguments.join(QLatin1Char(' ')) << "exited with"
                                               << result.exitCode << QByteArray(result.errorOutput + result.output).trimmed();
    }
}

void runTool(const QStringList &arguments, const Process::Runner &runner, bool changesAreOk, const Process::Done &done)
{
    runner(Paths::placed(Paths::ConfigManagerTool),
           arguments,
           ToolTimeoutMs,
           Process::Channels::Separate,
           [arguments, changesAreOk, done](const Process::Result &result) {
               logFailure(arguments, result, changesAreOk);
               done(result);
           });
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
}

void exportArchive(const QString &path, const Process::Runner &runner, const std::function<void(const Outcome &)> &done)
{
    runTool({QStringLiteral("-o"), path}, runner, false, [done](const Process::Result &result) {
        const QString message = failure(result);
        done({message.isEmpty(), message});
    });
}

void importArchive(const QString &path, Signature signature, const Process::Runner &runner, const std::function<void(const ImportResult &)> &done)
{
    runTool(QStringList{QStringLiteral("-i"), path, QStringLiteral("--json")} + signatureArguments(signature),
            runner,
            false,
            [done](const Process::Result &result) {
                const QJsonObject summary = QJsonDocument::fromJson(result.output).object();
                ImportResult import;
                import.message = failure(result);
                import.ok = import.message.isEmpty();
                import.changed = summary.value(QStringLiteral("changed")).toBool();
                const QJsonArray files = summary.value(QStringLiteral("files")).toArray();
                for (const QJsonValue &file : files) {
                    import.files << file.toString();
                }
                done(import);
            });
}

void preview(const QString &path, Signature signature, const Process::Runner &runner, const std::function<void(const Preview &)> &done)
{
    runTool(QStringList{QStringLiteral("--diff"), path, QStringLiteral("--json")} + signatureArguments(signature),
            runner,
            true,
            [done](const Process::Result &result) {
                Preview preview;
                preview.message = failure(result, true);
                preview.untrusted = result.finished && result.exitCode == UntrustedStatus;
                if (!preview.message.isEmpty()) {
                    return done(preview);
                }
                const QJsonObject summary = QJsonDocument::fromJson(result.output).object();
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
                preview.signer = summary.value(QStringLiteral("signer")).toString();
                preview.ok = true;
                done(preview);
            });
}

QString snapshotArchive(const QString &name)
{
    return ConfigSnapshot::path(name);
}

void snapshots(const Process::Runner &runner, const std::function<void(const QList<Snapshot> &)> &done)
{
    runTool({QStringLiteral("--list-snapshots")}, runner, false, [done](const Process::Result &result) {
        QList<Snapshot> list;
        if (!failure(result).isEmpty()) {
            return done(list);
        }
        // One line per snapshot: name, time taken, files that differ, tab-separated.
        const QStringList lines = QString::fromUtf8(result.output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &line : lines) {
            const QStringList columns = line.split(QLatin1Char('\t'));
            if (columns.size() == 3) {
                list.append({columns.at(0), QDateTime::fromString(columns.at(1), Qt::ISODate), columns.at(2).split(QLatin1Char(' '), Qt::SkipEmptyParts)});
            }
        }
        done(list);
    });
}
} // namespace ConfigManager
