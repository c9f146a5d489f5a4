// Builds the module in a process of its own, for behaviour that ends the process.
// Prints every message box as it appears, then "BUILT" once the module stands
// and "LOADED" after load(). With --uid N it drops to that user first; with
// --host NAME it runs as the settings centre of that name. A warning shown in
// the page is printed as "PAGE", with the page's parts that stay enabled.
#include "messageboxwatcher.h"
#include "plugin/quoradminevents.h"

#include <KMessageWidget>

#include <QApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int uidAt = args.indexOf(QStringLiteral("--uid"));
    if (uidAt > 0 && uidAt + 1 < args.size()) {
        const uid_t uid = args.at(uidAt + 1).toUInt();
        if (setgid(uid) != 0 || setuid(uid) != 0) {
            fputs("cannot drop privileges\n", stdout);
            return 3;
        }
    }
    const int hostAt = args.indexOf(QStringLiteral("--host"));
    if (hostAt > 0 && hostAt + 1 < args.size()) {
        QCoreApplication::setApplicationName(args.at(hostAt + 1));
    }
    MessageBoxWatcher watcher;
    watcher.setEcho(true);
    QuorAdminEvents module(nullptr, {});
    fputs("BUILT\n", stdout);
    if (const auto *warning = module.findChild<KMessageWidget *>(QStringLiteral("missingRightsMessage"))) {
        QStringList enabled;
        const QList<QWidget *> parts = module.findChildren<QWidget *>();
        for (const QWidget *part : parts) {
            if (part->isEnabled() && part->isVisibleTo(&module) && part != warning && !warning->isAncestorOf(part) && !part->objectName().isEmpty()) {
                enabled << part->objectName();
            }
        }
        printf("PAGE\t%s\t%s\n", qPrintable(warning->text()), qPrintable(enabled.join(QLatin1Char(','))));
    }
    fflush(stdout);
    if (args.contains(QStringLiteral("--load"))) {
        module.load();
        fputs("LOADED\n", stdout);
    }
    return 0;
}
