// The Apply of the kill test, in a process of its own: loads the module on the
// system root, arms the kill shim, then does what an administrator does before
// Apply (switches events and an audited event, enables notifications of one
// event through its dialog, disables those of another) and applies. Prints
// "APPLIED" at the end; message boxes are answered No and echoed.
#include "messageboxwatcher.h"
#include "notifications/dbusdialog.h"
#include "pageapply.h"
#include "plugin/quoradminevents.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>

#include <cstdio>
#include <dlfcn.h>

namespace
{
bool fail(const char *what)
{
    std::fprintf(stdout, "FAILED %s\n", what);
    return false;
}

QTreeView *eventView(QuorAdminEvents &module)
{
    return module.findChild<QTreeView *>(QStringLiteral("singleEventsView"));
}

QModelIndex select(QuorAdminEvents &module, const QString &name)
{
    QTreeView *view = eventView(module);
    const QModelIndexList found = view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchRecursive | Qt::MatchExactly);
    if (found.isEmpty()) {
        return QModelIndex();
    }
    view->selectionModel()->select(found.first(), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->selectionModel()->setCurrentIndex(found.first(), QItemSelectionModel::NoUpdate);
    return found.first();
}

bool triggerMenu(QuorAdminEvents &module, const QString &name, const QString &text)
{
    if (!select(module, name).isValid()) {
        return fail("no such event");
    }
    Q_EMIT eventView(module)->customContextMenuRequested(QPoint(1, 1));
    std::unique_ptr<QMenu> menu(module.findChild<QMenu *>());
    if (!menu) {
        return fail("no context menu");
    }
    const auto actions = menu->actions();
    for (QAction *action : actions) {
        if (action->text() == text) {
            action->trigger();
            return true;
        }
    }
    return fail("no such menu entry");
}

bool setChecked(QuorAdminEvents &module, const QString &name, Qt::CheckState state)
{
    const QModelIndex event = select(module, name);
    return (event.isValid() && eventView(module)->model()->setData(event, state, Qt::CheckStateRole)) || fail("cannot switch the event");
}

bool enableNotifications(QuorAdminEvents &module, const QString &name)
{
    if (!triggerMenu(module, name, QStringLiteral("Enable notifications sending"))) {
        return false;
    }
    auto *dialog = module.findChild<DBusDialog *>();
    if (!dialog || !dialog->isVisible()) {
        return fail("no notification dialog");
    }
    dialog->findChild<QLineEdit *>(QStringLiteral("titleLineEdit"))->setText(QStringLiteral("Alert: ") + name);
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    return true;
}
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    MessageBoxWatcher boxes;
    boxes.setEcho(true);
    QuorAdminEvents module(nullptr, {});
    module.load();
    if (auto arm = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "quor_kill_arm"))) {
        arm();
    }
    const bool edited = setChecked(module, QStringLiteral("Package updated"), Qt::Checked)
        && setChecked(module, QStringLiteral("Audit configuration changed"), Qt::Unchecked) && enableNotifications(module, QStringLiteral("Failed user login"))
        && triggerMenu(module, QStringLiteral("Session locked"), QStringLiteral("Disable notifications sending"));
    if (!edited) {
        return 2;
    }
    PageApply::run(module);
    std::fputs("APPLIED\n", stdout);
    return 0;
}
