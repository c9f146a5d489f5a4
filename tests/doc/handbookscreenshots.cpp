// Takes the handbook's screenshots: the module as the settings shell shows it, on
// the system named by QUOR_ADMIN_EVENTS_ROOT, and the windows it opens, each
// saved as <folder>/<name>.png. doc/screenshots.sh runs it once per language.
//
//   handbookscreenshots FOLDER
//
// The module is loaded from the built plugin, as the shell loads it, so its
// classes here are the plugin's own: the program finds its widgets by object
// name and drives them with mouse clicks and the tree's context menu, as the
// administrator would.
#include "model/checkabletreemodel.h"

#include <KCMultiDialog>
#include <KPluginMetaData>

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include <cstdio>

namespace
{
constexpr int WaitMs = 20000;

bool fail(const char *what)
{
    fprintf(stderr, "handbookscreenshots: %s\n", what);
    return false;
}

// The first row below parent, at any depth, whose role holds value.
QModelIndex findRow(const QAbstractItemModel *model, int role, const QVariant &value, const QModelIndex &parent = QModelIndex())
{
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (index.data(role) == value) {
            return index;
        }
        const QModelIndex below = findRow(model, role, value, index);
        if (below.isValid()) {
            return below;
        }
    }
    return QModelIndex();
}

class Shots
{
public:
    Shots(QWidget *shell, const QString &folder)
        : m_shell(shell)
        , m_folder(folder)
    {
    }

    bool takeAll()
    {
        m_view = m_shell->findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        auto *serviceButton = m_shell->findChild<QPushButton *>(QStringLiteral("sngStartStopButton"));
        if (!m_view || !serviceButton) {
            return fail("the shell shows no module");
        }
        // Loaded, and the services have answered.
        if (!QTest::qWaitFor(
                [&] {
                    return m_view->model()->rowCount() > 0 && serviceButton->isEnabled();
                },
                WaitMs)) {
            return fail("the module did not load");
        }
        return mainWindow() && diskSpaceEditor() && notificationDialog() && settingsTabs();
    }

private:
    // The tree with the low-disk-space event open, its parameters shown.
    bool mainWindow()
    {
        const QModelIndex event = findRow(m_view->model(), CheckableTreeModel::IdRole, QStringLiteral("disk-space-low"));
        if (!event.isValid()) {
            return fail("the sample has no low-disk-space event");
        }
        for (QModelIndex open = event; open.isValid(); open = open.parent()) {
            m_view->expand(open);
        }
        m_view->setCurrentIndex(event);
        m_view->scrollTo(event.parent(), QAbstractItemView::PositionAtTop);
        return save(m_shell, QStringLiteral("main-window"));
    }

    // Opened with a double click on the limits' value, as the handbook says.
    bool diskSpaceEditor()
    {
        const QModelIndex limits = findRow(m_view->model(), CheckableTreeModel::DirectoriesRole, 1);
        if (!limits.isValid()) {
            return fail("no parameter opens the disk-space editor");
        }
        const QModelIndex value = limits.siblingAtColumn(1);
        m_view->scrollTo(value);
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, m_view->visualRect(value).center());
        QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, m_view->visualRect(value).center());
        return saveWindow(QStringLiteral("DiskSpaceMonDialog"), QStringLiteral("disk-space"));
    }

    // Through the tree's context menu on the event, whose repetition the dialog shows.
    bool notificationDialog()
    {
        const QModelIndex event = findRow(m_view->model(), CheckableTreeModel::IdRole, QStringLiteral("disk-space-low"));
        m_view->setCurrentIndex(event);
        Q_EMIT m_view->customContextMenuRequested(m_view->visualRect(event).center());
        const QPointer<QMenu> menu = m_shell->findChild<QMenu *>();
        const QList<QAction *> actions = menu ? menu->actions() : QList<QAction *>();
        // After "Collapse all" and "Expand all": switching notifications on, which
        // opens the dialog for an event that has none yet.
        if (actions.size() < 3) {
            delete menu;
            return fail("the event's menu offers no notifications");
        }
        actions.at(2)->trigger();
        delete menu;
        return saveWindow(QStringLiteral("DBusDialog"), QStringLiteral("notifications"));
    }

    bool settingsTabs()
    {
        m_shell->findChild<QPushButton *>(QStringLiteral("commonSettingsButton"))->click();
        auto *window = m_shell->findChild<QDialog *>(QStringLiteral("CommonSettingsWindow"));
        auto *tabs = window ? window->findChild<QTabWidget *>(QStringLiteral("tabWidget")) : nullptr;
        if (!tabs || !window->isVisible()) {
            return fail("the settings window did not open");
        }
        tabs->setCurrentIndex(tabs->indexOf(window->findChild<QWidget *>(QStringLiteral("destinationsTab"))));
        const bool destinations = save(tabs, QStringLiteral("destinations"));
        tabs->setCurrentIndex(tabs->indexOf(window->findChild<QWidget *>(QStringLiteral("logRotateTab"))));
        const bool rotation = save(tabs, QStringLiteral("log-rotation"));
        window->reject();
        return destinations && rotation;
    }

    bool saveWindow(const QString &objectName, const QString &name)
    {
        QDialog *dialog = nullptr;
        if (!QTest::qWaitFor(
                [&] {
                    dialog = m_shell->findChild<QDialog *>(objectName);
                    return dialog && dialog->isVisible();
                },
                WaitMs)) {
            return fail(qPrintable(objectName + QStringLiteral(" did not open")));
        }
        const bool saved = save(dialog, name);
        dialog->reject();
        return saved;
    }

    bool save(QWidget *widget, const QString &name) const
    {
        // Laid out and painted, icons and fonts loaded.
        QTest::qWait(300);
        const QString file = m_folder + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!widget->grab().save(file)) {
            return fail(qPrintable(QStringLiteral("cannot write ") + file));
        }
        printf("%s\n", qPrintable(file));
        return true;
    }

    QWidget *const m_shell;
    const QString m_folder;
    QTreeView *m_view = nullptr;
};
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        fputs("usage: handbookscreenshots FOLDER\n", stderr);
        return 2;
    }
    // As a stock Plasma desktop draws it.
    QStyle *breeze = QStyleFactory::create(QStringLiteral("Breeze"));
    if (!breeze) {
        fputs("handbookscreenshots: the Breeze style is not installed\n", stderr);
        return 1;
    }
    QApplication::setStyle(breeze);
    QIcon::setThemeName(QStringLiteral("breeze"));

    // The settings shell's window for one module.
    KCMultiDialog shell;
    shell.setFaceType(KPageDialog::Plain);
    if (!shell.addModule(KPluginMetaData(QStringLiteral(PLUGIN_PATH)))) {
        fputs("handbookscreenshots: the plugin was not loaded\n", stderr);
        return 1;
    }
    shell.resize(960, 720);
    shell.show();
    // No row under the pointer drawn as hovered.
    QCursor::setPos(shell.screen()->geometry().bottomRight());
    return Shots(&shell, args.at(1)).takeAll() ? 0 : 1;
}
