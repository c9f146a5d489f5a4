#include "rebootrequest.h"

#include "serviceslog.h"

#include "platform/asyncprocess.h"
#include "platform/paths.h"

#include <QProcessEnvironment>

#include <memory>

void requestReboot(AsyncProcess *process, const std::function<void()> &done)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The tool runs as root but must reach the session bus of the user behind sudo.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("/run/user/") + QString::fromLatin1(qgetenv("SUDO_UID")));
    const QString tool = Paths::placed(Paths::WmFuncTool);
    // For this run only: the process serves others afterwards.
    const auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(process, &AsyncProcess::finished, process, [tool, connection, done](const Process::Result &result) {
        QObject::disconnect(*connection);
        if (result.finished && result.exitCode != 0) {
            qCWarning(QUOR_SERVICES).noquote() << tool << "exited with" << result.exitCode << result.output.trimmed();
        }
        done();
    });
    process->start(tool, {QStringLiteral("QUORWM_REBOOT")}, 30000, Process::Channels::Merged, environment);
}
