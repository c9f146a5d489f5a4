#include "configcheck.h"

#include "paths.h"
#include "process.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

namespace ConfigCheck
{
namespace
{
constexpr int CheckTimeoutMs = 30000;
const QLatin1String MainSyslogNgConfig("/etc/syslog-ng/syslog-ng.conf");

QByteArray mainConfiguration(const QString &confDir)
{
    const QByteArray include = "@include \"" + confDir.toUtf8() + "/*.conf\"";
    QFile main(Paths::placed(MainSyslogNgConfig));
    if (!main.open(QIODevice::ReadOnly)) {
        return "@version: current\n" + include + '\n';
    }
    QByteArray text = main.readAll();
    const QByteArray systemInclude = "@include \"" + QByteArray(Paths::SyslogNgConfDir.data()) + "/*.conf\"";
    if (text.contains(systemInclude)) {
        text.replace(systemInclude, include);
    } else {
        text += '\n' + include + '\n';
    }
    return text;
}

Result fromProcess(const Process::Result &result, const QString &command)
{
    Result check;
    check.accepted = result.finished && result.exitCode == 0;
    check.message = QString::fromUtf8(result.output).trimmed();
    if (!result.started) {
        check.message = command + QLatin1String(": could not be started");
    } else if (!result.finished) {
        check.message = command + QLatin1String(": no answer within the time limit\n") + check.message;
    }
    return check;
}
}

Result syslogNg(const QString &confDir)
{
    // The check runs in a folder of its own so that it never touches the
    // running daemon's persist, pid or control files.
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        return {false, QLatin1String("syslog-ng check: no temporary folder: ") + scratch.errorString()};
    }
    QSaveFile config(scratch.filePath(QStringLiteral("syslog-ng.conf")));
    if (!config.open(QIODevice::WriteOnly) || config.write(mainConfiguration(confDir)) < 0 || !config.commit()) {
        return {false, QLatin1String("syslog-ng check: ") + config.errorString()};
    }
    const QString command = QStringLiteral("syslog-ng --syntax-only");
    return fromProcess(Process::run(QStringLiteral("syslog-ng"),
                                    {QStringLiteral("--syntax-only"),
                                     QLatin1String("--cfgfile=") + config.fileName(),
                                     QLatin1String("--persist-file=") + scratch.filePath(QStringLiteral("syslog-ng.persist")),
                                     QLatin1String("--pidfile=") + scratch.filePath(QStringLiteral("syslog-ng.pid")),
                                     QLatin1String("--control=") + scratch.filePath(QStringLiteral("syslog-ng.ctl"))},
                                    CheckTimeoutMs),
                       command);
}

Result logrotate(const QString &file)
{
    return fromProcess(Process::run(QStringLiteral("logrotate"), {QStringLiteral("-d"), file}, CheckTimeoutMs), QStringLiteral("logrotate -d"));
}
}
