#include "snapshotbeforewrite.h"

#include "quoradmineventslog.h"

#include "platform/configsnapshot.h"

#include <KLocalizedString>

#include <QMessageBox>

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

bool snapshotBeforeWrite(QWidget *parent, QString *snapshot)
{
    Scope &current = scope();
    if (current.depth > 0 && current.settled) {
        *snapshot = current.snapshot;
        return true;
    }
    QString error;
    QString name;
    bool goOn = ConfigSnapshot::take(&error, &name);
    if (!goOn) {
        qCWarning(QUOR_ADMIN_EVENTS).noquote() << "no snapshot before the change:" << error;
        const auto answer = QMessageBox::question(parent,
                                                  i18n("No snapshot"),
                                                  i18n("The configuration could not be kept as a snapshot before the change:\n%1\n\n"
                                                       "Without one the change cannot be undone from a snapshot, and a failed restart of syslog-ng "
                                                       "cannot go back to the previous configuration. Make the change without a snapshot?",
                                                       error),
                                                  QMessageBox::Yes | QMessageBox::No,
                                                  QMessageBox::No);
        goOn = answer == QMessageBox::Yes;
    }
    if (goOn && current.depth > 0) {
        current.settled = true;
        current.snapshot = name;
    }
    *snapshot = name;
    return goOn;
}
