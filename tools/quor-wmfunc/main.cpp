// quor-wmfunc QUORWM_REBOOT: asks the session manager of the running desktop
// session to log out and reboot. Exit codes: 0 asked, 1 failed, 2 usage.
#include <KLocalizedString>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <cstdio>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
int fail(const QString &message)
{
    fprintf(stderr, "quor-wmfunc: %s\n", qPrintable(message));
    return 1;
}

// Started as root by the settings module, but a session bus admits only the
// user who owns it: become the owner of XDG_RUNTIME_DIR before connecting.
bool becomeSessionOwner(QString *error)
{
    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    struct stat info {
    };
    if (geteuid() != 0 || runtimeDir.isEmpty() || stat(runtimeDir.constData(), &info) != 0 || info.st_uid == 0) {
        return true;
    }
    if (setgroups(0, nullptr) != 0 || setgid(info.st_gid) != 0 || setuid(info.st_uid) != 0) {
        *error = i18n("cannot switch to the owner of %1", QString::fromLocal8Bit(runtimeDir));
        return false;
    }
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray("unix:path=" + runtimeDir + "/bus"));
    }
    return true;
}

QDBusMessage rebootCall(const QDBusConnectionInterface *bus)
{
    if (bus->isServiceRegistered(QStringLiteral("org.kde.Shutdown"))) {
        return QDBusMessage::createMethodCall(QStringLiteral("org.kde.Shutdown"),
                                              QStringLiteral("/Shutdown"),
                                              QStringLiteral("org.kde.Shutdown"),
                                              QStringLiteral("logoutAndReboot"));
    }
    if (bus->isServiceRegistered(QStringLiteral("org.kde.ksmserver"))) {
        // No confirmation, reboot, at once.
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.kde.ksmserver"),
                                                           QStringLiteral("/KSMServer"),
                                                           QStringLiteral("org.kde.KSMServerInterface"),
                                                           QStringLiteral("logout"));
        call << 0 << 1 << 0;
        return call;
    }
    return QDBusMessage();
}
}

int main(int argc, char **argv)
{
    if (argc != 2 || qstrcmp(argv[1], "QUORWM_REBOOT") != 0) {
        fputs("Usage: quor-wmfunc QUORWM_REBOOT\n", stderr);
        return 2;
    }
    QString error;
    if (!becomeSessionOwner(&error)) {
        return fail(error);
    }
    QCoreApplication app(argc, argv);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) {
        return fail(i18n("cannot reach the session bus: %1", bus.lastError().message()));
    }
    const QDBusMessage call = rebootCall(bus.interface());
    if (call.type() != QDBusMessage::MethodCallMessage) {
        return fail(i18n("no session manager on the session bus"));
    }
    const QDBusMessage reply = bus.call(call);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        return fail(i18n("the session manager refused: %1", reply.errorMessage()));
    }
    return 0;
}
