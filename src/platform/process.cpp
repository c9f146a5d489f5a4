#include "process.h"

#include "platformlog.h"

#include <QProcess>

namespace Process
{
namespace
{
QString commandLine(const QString &program, const QStringList &arguments)
{
    return (QStringList(program) + arguments).join(QLatin1Char(' '));
}
}

Result run(const QString &program, const QStringList &arguments, int timeoutMs, Channels channels, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessChannelMode(channels == Channels::Merged ? QProcess::MergedChannels : QProcess::SeparateChannels);
    if (!environment.isEmpty()) {
        process.setProcessEnvironment(environment);
    }
    process.start(program, arguments, QIODevice::ReadWrite);
    Result result;
    result.started = process.waitForStarted(timeoutMs < 0 ? -1 : timeoutMs);
    if (!result.started) {
        qCWarning(QUOR_PLATFORM).noquote() << commandLine(program, arguments) << "could not be started:" << process.errorString();
        return result;
    }
    process.closeWriteChannel();
    result.finished = process.waitForFinished(timeoutMs < 0 ? -1 : timeoutMs);
    result.exitCode = result.finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = process.readAllStandardOutput();
    result.errorOutput = process.readAllStandardError();
    if (!result.finished) {
        qCWarning(QUOR_PLATFORM).noquote() << commandLine(program, arguments) << "gave no answer within" << timeoutMs << "ms; stopped";
        process.kill();
        process.waitForFinished(1000);
    }
    return result;
}

QString loginName()
{
    // Only standard output is the name: "logname: no login name" on standard
    // error must not become one.
    const Result result = run(QStringLiteral("logname"), {}, 30000, Channels::Separate);
    return QString::fromUtf8(result.output).remove(QLatin1Char('\n'));
}
}
