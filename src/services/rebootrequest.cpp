#include "rebootrequest.h"

#include "serviceslog.h"

#include "platform/asyncprocess.h"
#include "platform/paths.h"

#include <KLocalizedString>

#include <QProcessEnvironment>

#include <memory>

void requestReboot(AsyncProcess *process, const std::function<void(const QString &failure)> &done)
{
    QProcessEnvironment environment;
    // The tool runs as root but must reach the session bus of the user behind sudo.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("/run/user/") + QString::fromLatin1(qgetenv("SUDO_UID")));
    const QString tool = Paths::placed(Paths::WmFuncTool);
    // For this run only: the process serves others afterwards.
    const auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(process, &AsyncProcess::finished, process, [tool, connection, done](const Process::Result &result) {
        QObject::disconnect(*connection);
        if (result.finished && result.exitCode == 0) {
            return done(QString());
        }
        const QString output = QString::fromUtf8(result.output).trimmed();
        qCWarning(QUOR_SERVICES).noquote() << tool << "exited with" << result.exitCode << output;
        const QString command = QString(Paths::WmFuncTool) + QStringLiteral(" QUORWM_REBOOT");
        if (!result.started) {
            return done(i18n("%1 could not be started.", command));
        }
        if (!result.finished) {
            return done(i18n("%1 did not end within 30 seconds.", command));
        }
        done(output.isEmpty() ? i18n("%1 ended with exit code %2.", command, result.exitCode)
                              : i18n("%1 ended with exit code %2: %3", command, result.exitCode, output));
    });
    process->start(tool, {QStringLiteral("QUORWM_REBOOT")}, 30000, Process::Channels::Merged, environment);
}
