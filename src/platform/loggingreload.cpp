#include "loggingreload.h"

#include "servicecommand.h"

namespace LoggingReload
{
void run(const Process::Runner &run, int statusLimitMs, int switchLimitMs, const Done &done)
{
    const QString program = QString::fromLatin1(ServiceCommand::Program);
    const QString unit = QString::fromLatin1(ServiceCommand::LoggingUnit);
    run(program, ServiceCommand::arguments(QStringLiteral("status"), unit), statusLimitMs, Process::Channels::Merged, [=](const Process::Result &status) {
        // Only an answer that it runs makes a reload worth it; a status
        // that tells nothing leaves the restart, which works either way.
        Result result;
        result.reload = status.finished && status.exitCode == 0;
        const QStringList arguments = result.reload ? ServiceCommand::reloadArguments() : ServiceCommand::arguments(QStringLiteral("restart"), unit);
        result.command = result.reload ? ServiceCommand::reloadText() : ServiceCommand::text(QStringLiteral("restart"), unit);
        run(program, arguments, switchLimitMs, Process::Channels::Merged, [result, done](const Process::Result &outcome) mutable {
            result.outcome = outcome;
            done(result);
        });
    });
}
}
