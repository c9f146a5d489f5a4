#include "eventmenu.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPointer>
#include <QTreeView>

namespace EventMenu
{
QModelIndex select(QWidget *module, const QString &name)
{
    auto *view = module->findChild<QTreeView *>(QStringLiteral("singleEventsView"));
    const QModelIndexList found = view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchRecursive | Qt::MatchExactly);
    if (found.isEmpty()) {
        return QModelIndex();
    }
    view->selectionModel()->select(found.first(), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->selectionModel()->setCurrentIndex(found.first(), QItemSelectionModel::NoUpdate);
    return found.first();
}

QMenu *open(QWidget *module, const QString &name)
{
    if (!select(module, name).isValid()) {
        return nullptr;
    }
    Q_EMIT module->findChild<QTreeView *>(QStringLiteral("singleEventsView"))->customContextMenuRequested(QPoint(1, 1));
    return module->findChild<QMenu *>();
}

bool trigger(QWidget *module, const QString &name, const QString &action)
{
    // The module may delete its menu once an action ran.
    QPointer<QMenu> menu = open(module, name);
    if (!menu) {
        return false;
    }
    const auto actions = menu->actions();
    const auto it = std::find_if(actions.cbegin(), actions.cend(), [&action](const QAction *candidate) {
        return candidate->text() == action;
    });
    const bool found = it != actions.cend();
    if (found) {
        (*it)->trigger();
    }
    delete menu;
    return found;
}
} // namespace EventMenu
