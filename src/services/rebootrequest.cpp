#include "rebootrequest.h"

#include "platform/paths.h"
#include "platform/process.h"

#include <KLocalizedString>

#include <QMessageBox>
#include <QProcessEnvironment>

void requestReboot()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The tool runs as root but must reach the session bus of the user behind sudo.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("/run/user/") + QString::fromLatin1(qgetenv("SUDO_UID")));
    Process::run(Paths::placed(Paths::WmFuncTool), {QStringLiteral("QUORWM_REBOOT")}, 30000, Process::Channels::Merged, environment);
}

void offerReboot(const QString &question)
{
    if (QMessageBox::question(nullptr, i18n("Reboot"), question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
        requestReboot();
    }
}
