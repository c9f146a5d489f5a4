#include "rebootrequest.h"

#include "serviceslog.h"

#include "platform/paths.h"
#include "platform/process.h"

#include <QProcessEnvironment>

void requestReboot()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The tool runs as root but must reach the session bus of the user behind sudo.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("/run/user/") + QString::fromLatin1(qgetenv("SUDO_UID")));
    const QString tool = Paths::placed(Paths::WmFuncTool);
    const Process::Result result = Process::run(tool, {QStringLiteral("QUORWM_REBOOT")}, 30000, Process::Channels::Merged, environment);
    if (result.finished && result.exitCode != 0) {
        qCWarning(QUOR_SERVICES).noquote() << tool << "exited with" << result.exitCode << result.output.trimmed();
    }
}
