#include "breezeicons.h"
#include "eventmenu.h"
#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "notifications/dbusdialog.h"
#include "notifications/notificationcatalogue.h"
#include "pageapply.h"
#include "plugin/quoradminevents.h"
#include "syslogngcheck.h"
#include "testroot.h"

#include <KConfig>
#include <KConfigGroup>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTreeView>

// Notifications of single events through the module: the tree's context menu,
// the dialog, Apply, and the marks after the reload.
class NotificationMenuTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // The session's user: "nobody", whose home is /nonexistent.
        qputenv("SUDO_UID", "65534");
    }
    void init();
    void cleanup();
    void enableApplyDisable_data();
    void enableApplyDisable();
    void eventWithoutMessageIdGetsTreeActionsOnly();
    void menuOutlivesReload();
    void menuIconsWithBreezeAlone();
    void repetitionThroughModel_data();
    void repetitionThroughModel();

private:
    QModelIndex select(const QString &name) const
    {
        return EventMenu::select(m_module.get(), name);
    }
    // The texts of the context menu's actions, disabled ones in brackets.
    QStringList menuTexts(const QString &name);
    void triggerMenu(const QString &name, const QString &action);
    bool marked(const QString &name) const
    {
        return select(name).data(Qt::DecorationRole).isValid();
    }

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<MessageBoxWatcher> m_boxes;
    std::unique_ptr<QuorAdminEvents> m_module;
};

void NotificationMenuTest::init()
{
    m_root = std::make_unique<TestRoot>();
    m_root->copySampleSystem();
    m_root->writeFile(QStringLiteral("/etc/audit/rules.d/velta-syslog.rules"), QByteArray());
    // The sample homes belong to the demo's users; here they belong to accounts
    // every system has (the session's user "nobody" lives in /nonexistent), and
    // one home belongs to nobody at all.
    QDir root(m_root->path());
    QVERIFY(root.rename(QStringLiteral("home/alice"), QStringLiteral("nonexistent")));
    QVERIFY(root.rename(QStringLiteral("home/bob"), QStringLiteral("home/daemon")));
    QVERIFY(root.rename(QStringLiteral("home/carol"), QStringLiteral("home/no-such-user-here")));
    QVERIFY(QDir(m_root->placed(QStringLiteral("/home/.qmx"))).removeRecursively());
    NotificationCatalogue::instance().reset();
    m_boxes = std::make_unique<MessageBoxWatcher>();
    m_module = std::make_unique<QuorAdminEvents>(nullptr, QVariantList());
    m_module->load();
}

void NotificationMenuTest::cleanup()
{
    m_module.reset();
    m_boxes.reset();
    m_root.reset();
}

QStringList NotificationMenuTest::menuTexts(const QString &name)
{
    if (!select(name).isValid()) {
        return {QStringLiteral("no event ") + name};
    }
    QMenu *menu = EventMenu::open(m_module.get(), name);
    QStringList texts;
    const auto actions = menu ? menu->actions() : QList<QAction *>();
    for (const QAction *action : actions) {
        texts << (action->isEnabled() ? action->text() : QLatin1Char('[') + action->text() + QLatin1Char(']'));
    }
    delete menu;
    return texts;
}

void NotificationMenuTest::triggerMenu(const QString &name, const QString &text)
{
    QVERIFY2(EventMenu::trigger(m_module.get(), name, text), qPrintable(name + QLatin1String(": ") + text));
}

void NotificationMenuTest::enableApplyDisable_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("notificationId");

    QTest::newRow("message-id-with-underscores") << "Failed user login"
                                                 << "/etc/syslog-ng/conf.d/mod-velta-user-login-failed.conf"
                                                 << "userLoginFailed";
    QTest::newRow("message-id-with-dashes") << "Session locked"
                                            << "/etc/syslog-ng/conf.d/mod-velta-session-locked.conf"
                                            << "sessionLocked";
}

void NotificationMenuTest::enableApplyDisable()
{
    QFETCH(QString, event);
    QFETCH(QString, file);
    QFETCH(QString, notificationId);
    const QStringList treeActions{QStringLiteral("Collapse all"), QStringLiteral("Expand all")};
    QCOMPARE(menuTexts(event), treeActions + QStringList({QStringLiteral("Enable notifications sending"), QStringLiteral("[Notification settings]")}));
    QVERIFY(!marked(event));

    triggerMenu(event, QStringLiteral("Enable notifications sending"));
    auto *dialog = m_module->findChild<DBusDialog *>();
    QVERIFY(dialog->isVisible());
    dialog->findChild<QLineEdit *>(QStringLiteral("titleLineEdit"))->setText(QStringLiteral("Alert, \"%1\"").arg(event));
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    QVERIFY(marked(event));
    // Root's file went to the users; the reboot it needs waits for Apply.
    // A home of no user is named and skipped; the others still get the file.
    QTRY_COMPARE(m_boxes->titles(), QStringList({QStringLiteral("Error")}));
    QVERIFY(m_boxes->texts().constFirst().contains(QLatin1String("/home/no-such-user-here: no user of that name")));
    QCOMPARE(m_root->readFile(QStringLiteral("/home/daemon/.config/velta-event-watcher.notifyrc")),
             m_root->readFile(QStringLiteral("/root/.config/velta-event-watcher.notifyrc")));
    KConfig userFile(m_root->placed(QStringLiteral("/nonexistent/.config/velta-event-watcher_auth.notifyrc")), KConfig::SimpleConfig);
    QCOMPARE(userFile.group(QStringLiteral("Event/") + notificationId).readEntry("Action", QString()), QStringLiteral("Popup"));
    QCOMPARE(userFile.group(QStringLiteral("Event/userLogin")).readEntry("Action", QString()), QStringLiteral("Popup"));

    m_boxes->clear();
    PageApply::run(*m_module);
    // One question after the writes; the sample's audit store asks for its reason too.
    QCOMPARE(m_boxes->titles(), QStringList{QStringLiteral("Reboot")});
    QVERIFY(
        m_boxes->texts().constFirst().endsWith(QStringLiteral("The notification settings will take effect only after the system is rebooted.\nReboot now?")));
    m_boxes->clear();
    QVERIFY(m_root->exists(file));
    QString errors;
    QVERIFY2(syslogNgAccepts(*m_root, &errors), qPrintable(errors));
    QVERIFY2(!m_boxes->titles().contains(QStringLiteral("Error")), qPrintable(m_boxes->texts().join(QLatin1Char('\n'))));

    // After the reload the event is known as notified by its file.
    QVERIFY(marked(event));
    QCOMPARE(menuTexts(event), treeActions + QStringList({QStringLiteral("Disable notifications sending"), QStringLiteral("Notification settings")}));
    triggerMenu(event, QStringLiteral("Notification settings"));
    QTRY_VERIFY(dialog->isVisible());
    QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("titleLineEdit"))->text(), QStringLiteral("Alert, \"%1\"").arg(event));
    QVERIFY(!dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled());
    dialog->reject();

    triggerMenu(event, QStringLiteral("Disable notifications sending"));
    QVERIFY(!marked(event));
    PageApply::run(*m_module);
    QVERIFY(!m_root->exists(file));
    QVERIFY(!marked(event));
}

void NotificationMenuTest::eventWithoutMessageIdGetsTreeActionsOnly()
{
    QCOMPARE(menuTexts(QStringLiteral("System start")), QStringList({QStringLiteral("Collapse all"), QStringLiteral("Expand all")}));
}

void NotificationMenuTest::menuOutlivesReload()
{
    const QString file = QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-user-login-failed.conf");
    m_root->writeFile(file, QByteArray("# notify\n"));
    m_module->load();
    QVERIFY(select(QStringLiteral("Failed user login")).isValid());
    Q_EMIT m_module->findChild<QTreeView *>(QStringLiteral("singleEventsView"))->customContextMenuRequested(QPoint(1, 1));
    std::unique_ptr<QMenu> menu(m_module->findChild<QMenu *>());
    QVERIFY(menu && menu->isVisible());
    // Kept after closing, so that its action can still be triggered below.
    menu->setAttribute(Qt::WA_DeleteOnClose, false);
    QAction *disable = menu->actions().value(2);
    QCOMPARE(disable->text(), QStringLiteral("Disable notifications sending"));

    // The settings change on disk while the menu is open: the page reloads its tree.
    QSignalSpy reset(m_module->currentModel(), &QAbstractItemModel::modelReset);
    m_root->writeFile(QStringLiteral("/etc/velta-syslog.conf"), QByteArray("{\n\t\"user-login\" : { \"enabled\" : \"0\" }\n}\n"));
    QVERIFY(reset.wait());
    QVERIFY(!menu->isVisible());

    // An action of the old menu acts on nothing.
    QSignalSpy changed(m_module.get(), qOverload<bool>(&QuorAdminEvents::changed));
    disable->trigger();
    QCOMPARE(changed.count(), 0);
    QVERIFY(marked(QStringLiteral("Failed user login")));
    PageApply::run(*m_module);
    QVERIFY(m_root->exists(file));
}

void NotificationMenuTest::menuIconsWithBreezeAlone()
{
    const BreezeIcons breeze;
    QStringList withoutIcon;
    m_root->writeFile(QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-session-locked.conf"), QByteArray("# notify\n"));
    m_module->load();
    // One event with notifications off and one with them on: every action of both menus.
    for (const QString &event : {QStringLiteral("Failed user login"), QStringLiteral("Session locked")}) {
        QVERIFY(select(event).isValid());
        Q_EMIT m_module->findChild<QTreeView *>(QStringLiteral("singleEventsView"))->customContextMenuRequested(QPoint(1, 1));
        std::unique_ptr<QMenu> menu(m_module->findChild<QMenu *>());
        QVERIFY(menu);
        const auto actions = menu->actions();
        QCOMPARE(actions.size(), 4);
        for (const QAction *action : actions) {
            if (action->icon().isNull()) {
                withoutIcon << action->text();
            }
        }
        // The tree's mark of an event with notifications.
        if (marked(event) && select(event).data(Qt::DecorationRole).value<QIcon>().isNull()) {
            withoutIcon << event;
        }
    }
    QCOMPARE(withoutIcon, QStringList());
}

void NotificationMenuTest::repetitionThroughModel_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("cancel-leaves-tree") << false;
    QTest::newRow("ok-marks-page-changed") << true;
}

// The dialog's repetition reaches the tree only on OK, and then through the
// model, so that the page knows it has something to apply.
void NotificationMenuTest::repetitionThroughModel()
{
    QFETCH(bool, accept);
    const QString event = QStringLiteral("Failed user login");
    const auto interval = [this] {
        const EventTreeItem *item = m_module->currentModel()->root()->findById(QStringLiteral("user-login-failed"));
        const EventTreeItem *repetition = item ? item->findChildById(QStringLiteral("notification_repetition")) : nullptr;
        const EventTreeItem *value = repetition ? repetition->findChildById(QStringLiteral("interval")) : nullptr;
        return value ? value->data(1).toString() : QStringLiteral("none");
    };
    QCOMPARE(interval(), QStringLiteral("60"));
    QSignalSpy changed(m_module.get(), qOverload<bool>(&QuorAdminEvents::changed));
    triggerMenu(event, QStringLiteral("Enable notifications sending"));
    auto *dialog = m_module->findChild<DBusDialog *>();
    dialog->findChild<QSpinBox *>(QStringLiteral("intervalSpinBox"))->setValue(120);
    dialog->findChild<QCheckBox *>(QStringLiteral("repeatCheckBox"))->setChecked(false);
    QCOMPARE(interval(), QStringLiteral("60"));
    if (!accept) {
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
        QCOMPARE(interval(), QStringLiteral("60"));
        QVERIFY(changed.isEmpty() || !changed.constLast().at(0).toBool());
        return;
    }
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(interval(), QStringLiteral("120"));
    QVERIFY(!changed.isEmpty() && changed.constLast().at(0).toBool());
    PageApply::run(*m_module);
    const QString settings = QString::fromUtf8(m_root->readFile(QStringLiteral("/etc/velta-syslog.conf")));
    QVERIFY2(settings.contains(QStringLiteral("\"notification_repetition\" : { \"enabled\" : \"0\", \"interval\" : \"120\" }")), qPrintable(settings));
}

QTEST_MAIN(NotificationMenuTest)

#include "notificationmenutest.moc"
