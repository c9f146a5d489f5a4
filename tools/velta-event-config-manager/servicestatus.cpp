#include "servicestatus.h"

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/servicecommand.h"

#include <KLocalizedString>

#include <QFileInfo>

namespace ServiceStatus
{
namespace
{
constexpr int StatusTimeoutMs = 10000;
// syslog-ng reads and expands every file of its configuration.
constexpr int ConfigurationTimeoutMs = 60000;

Process::Result sudo(const QStringList &arguments, int timeoutMs)
{
    return Process::run(QString::fromLatin1(ServiceCommand::Program), arguments, timeoutMs, Process::Channels::Separate);
}

// Why a command gave no usable answer; empty when it did.
QString problem(const QStringList &arguments, const Process::Result &result, int timeoutMs)
{
    const QString command = QString::fromLatin1(ServiceCommand::Program) + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    if (!result.started) {
        return i18n("%1: could not be started", command);
    }
    if (!result.finished) {
        return i18n("%1: no answer within %2 s", command, timeoutMs / 1000);
    }
    if (result.exitCode != 0) {
        const QString printed = QString::fromLocal8Bit(result.errorOutput + result.output).trimmed();
        return printed.isEmpty() ? i18n("%1: exit status %2", command, result.exitCode) : i18n("%1: exit status %2: %3", command, result.exitCode, printed);
    }
    return QString();
}

void addDrift(QJsonArray *drift, const QString &unit, const QString &change)
{
    drift->append(QJsonObject{{QStringLiteral("service"), unit}, {QStringLiteral("change"), change}});
}

QJsonObject unitStatus(const QString &unit, QJsonArray *drift)
{
    const QStringList arguments = ServiceCommand::arguments(QStringLiteral("status"), unit);
    const Process::Result status = sudo(arguments, StatusTimeoutMs);
    QJsonObject answer;
    // systemctl status: 0 running; 1 to 3 not running (dead, failed, inactive).
    if (status.finished && status.exitCode == 0) {
        answer.insert(QStringLiteral("running"), true);
    } else if (status.finished && status.exitCode >= 1 && status.exitCode <= 3) {
        answer.insert(QStringLiteral("running"), false);
        addDrift(drift, unit, QStringLiteral("stopped"));
    } else {
        answer.insert(QStringLiteral("running"), QJsonValue());
        answer.insert(QStringLiteral("reason"), problem(arguments, status, StatusTimeoutMs));
    }
    return answer;
}

// Compares what the running daemon runs with what it would read now.
void addConfiguration(QJsonObject *logging, QJsonArray *drift)
{
    const QString unit = QString::fromLatin1(ServiceCommand::LoggingUnit);
    const QStringList runningArguments = ServiceCommand::runningConfigurationArguments();
    const Process::Result running = sudo(runningArguments, ConfigurationTimeoutMs);
    if (const QString failed = problem(runningArguments, running, ConfigurationTimeoutMs); !failed.isEmpty()) {
        logging->insert(QStringLiteral("configurationOnDisk"), QJsonValue());
        logging->insert(QStringLiteral("reason"), failed);
        return;
    }
    const QStringList diskArguments = ServiceCommand::diskConfigurationArguments();
    const Process::Result disk = sudo(diskArguments, ConfigurationTimeoutMs);
    const QString refused = problem(diskArguments, disk, ConfigurationTimeoutMs);
    const bool same = refused.isEmpty() && disk.output == running.output;
    logging->insert(QStringLiteral("configurationOnDisk"), same);
    if (!same) {
        logging->insert(QStringLiteral("reason"),
                        refused.isEmpty() ? i18n("syslog-ng runs a configuration other than the files on disk")
                                          : i18n("syslog-ng would refuse the files on disk: %1", refused));
        addDrift(drift, unit, QStringLiteral("other configuration"));
    }
}
} // namespace

QJsonObject query(QJsonArray *drift)
{
    const QString logging = QString::fromLatin1(ServiceCommand::LoggingUnit);
    QJsonObject units;
    QJsonObject loggingStatus = unitStatus(logging, drift);
    if (loggingStatus.value(QStringLiteral("running")).toBool()) {
        addConfiguration(&loggingStatus, drift);
    } else {
        loggingStatus.insert(QStringLiteral("configurationOnDisk"), QJsonValue());
    }
    units.insert(logging, loggingStatus);
    // auditd is only recommended: where it is missing nothing is asked of it.
    if (QFileInfo::exists(Paths::placed(Paths::AuditDaemon))) {
        const QString audit = QString::fromLatin1(ServiceCommand::AuditUnit);
        units.insert(audit, unitStatus(audit, drift));
    }
    return units;
}
}
