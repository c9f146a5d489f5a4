// Builds the module in a process of its own, for behaviour that ends the process.
// Prints every message box as it appears, then "BUILT" once the module stands
// and "LOADED" after load(). With --uid N it drops to that user first.
#include "messageboxwatcher.h"
#include "plugin/quoradminevents.h"

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
    MessageBoxWatcher watcher;
    watcher.setEcho(true);
    QuorAdminEvents module(nullptr, {});
    fputs("BUILT\n", stdout);
    fflush(stdout);
    if (args.contains(QStringLiteral("--load"))) {
        module.load();
        fputs("LOADED\n", stdout);
    }
    return 0;
}
