#include "pagewindows.h"

#include "eventmenu.h"
#include "messageboxwatcher.h"

#include "common/commonsettingswindow.h"
#include "editors/diskspacemondialog.h"
#include "editors/filesdialog.h"
#include "model/checkabletreemodel.h"
#include "notifications/dbusdialog.h"
#include "plugin/quoradminevents.h"

#include <QAbstractItemModel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTreeView>

namespace
{
// Every row of the model below parent, depth first.
QModelIndexList rows(const QAbstractItemModel *model, const QModelIndex &parent = QModelIndex())
{
    QModelIndexList found;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        found << index << rows(model, index);
    }
    return found;
}

// Opens the parameter editor of the first shown row that asks for one by this role.
template<typename Dialog>
bool openEditor(QuorAdminEvents &module, const QAbstractItemModel *shown, int role)
{
    for (const QModelIndex &row : rows(shown)) {
        if (row.data(role).toInt() != 0) {
            module.editEvent(row.siblingAtColumn(1));
            auto *dialog = module.findChild<Dialog *>();
            if (dialog && dialog->isVisible()) {
                dialog->reject();
                return true;
            }
        }
    }
    return false;
}

// The page makes the dialog at the first try, also when it then refuses to show
// it (in tests mostly for want of a session user, which the box says).
bool openNotificationSettings(QuorAdminEvents &module, const QAbstractItemModel *shown)
{
    const MessageBoxWatcher boxes;
    for (const QModelIndex &row : rows(shown)) {
        // The page may delete its menu once an action ran.
        const QPointer<QMenu> menu = EventMenu::open(&module, row.data(Qt::DisplayRole).toString());
        const auto actions = menu ? menu->actions() : QList<QAction *>();
        // The third entry switches notifications on for an event that has none;
        // its text depends on the language, its place does not.
        if (actions.size() > 2 && !row.data(Qt::DecorationRole).isValid()) {
            actions.at(2)->trigger();
        }
        delete menu;
        if (auto *dialog = module.findChild<DBusDialog *>()) {
            dialog->reject();
            return true;
        }
    }
    return false;
}
}

namespace PageWindows
{
bool openEach(QuorAdminEvents &module)
{
    module.findChild<QPushButton *>(QStringLiteral("commonSettingsButton"))->click();
    auto *settings = module.findChild<CommonSettingsWindow *>();
    if (!settings || !settings->isVisible()) {
        return false;
    }
    settings->reject();
    const QAbstractItemModel *shown = module.findChild<QTreeView *>(QStringLiteral("singleEventsView"))->model();
    return openNotificationSettings(module, shown) && openEditor<FilesDialog>(module, shown, CheckableTreeModel::FileListRole)
        && openEditor<DiskSpaceMonDialog>(module, shown, CheckableTreeModel::DirectoriesRole);
}
} // namespace PageWindows
