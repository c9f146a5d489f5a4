#include "snapshotbeforewrite.h"

#include "messagebox.h"

#include "quoradmineventslog.h"

#include "platform/configsnapshot.h"

#include <KLocalizedString>

namespace
{
struct Scope {
    int depth = 0; // scopes open
    bool settled = false; // a snapshot was taken, or going on without one was chosen
    QString snapshot;
};

Scope &scope()
{
    static Scope current;
    return current;
}
}

SnapshotScope::SnapshotScope()
{
    ++scope().depth;
}

SnapshotScope::~SnapshotScope()
{
    if (--scope().depth == 0) {
        scope() = Scope();
    }
}

void snapshotBeforeWrite(QWidget *parent, const Process::Runner &run, const std::function<void(bool goOn, const QString &snapshot)> &done)
{
    snapshotBeforeWrite(
        parent,
        [run](const ConfigSnapshot::Done &taken) {
            ConfigSnapshot::take(run, taken);
        },
        done);
}

void snapshotBeforeWrite(QWidget *parent, const ConfigSnapshot::Take &take, const std::function<void(bool goOn, const QString &snapshot)> &done)
{
    if (const Scope &current = scope(); current.depth > 0 && current.settled) {
        return done(true, current.snapshot);
    }
    take([parent, done](const ConfigSnapshot::Taken &taken) {
        bool goOn = taken.ok;
        if (!goOn) {
            qCWarning(QUOR_ADMIN_EVENTS).noquote() << "no snapshot before the change:" << taken.error;
            goOn = MessageBox::confirm(parent,
                                       i18n("No snapshot"),
                                       i18n("The configuration could not be kept as a snapshot before the change:\n%1\n\n"
                                            "Without one the change cannot be undone from a snapshot, and a failed restart of syslog-ng "
                                            "cannot go back to the previous configuration. Make the change without a snapshot?",
                                            taken.error));
        }
        if (Scope &current = scope(); goOn && current.depth > 0) {
            current.settled = true;
            current.snapshot = taken.name;
        }
        done(goOn, taken.name);
    });
}

CheckedWrite::BeforeWrite keepSnapshot(QWidget *parent, const Process::Runner &run, const std::shared_ptr<QString> &snapshot)
{
    return [parent, run, snapshot](const CheckedWrite::GoOn &goOn) {
        snapshotBeforeWrite(parent, run, [snapshot, goOn](bool mayWrite, const QString &name) {
            *snapshot = name;
            goOn(mayWrite);
        });
    };
}
