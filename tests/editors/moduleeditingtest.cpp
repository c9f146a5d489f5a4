#include "chooseranswer.h"
#include "editors/filesdialog.h"
#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "plugin/quoradminevents.h"
#include "testroot.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <unistd.h>

namespace
{
const QString InitialRules = QStringLiteral("-w /etc/passwd -p wa -k /etc/passwd");

EventTreeItem *add(EventTreeItem *parent, const QString &id, int kind, const QVariant &value = QVariant())
{
    auto item = std::make_unique<EventTreeItem>(QVector<QVariant>{id, value, QVariant()}, parent);
    item->setId(id);
    item->setKind(kind);
    EventTreeItem *raw = item.get();
    parent->appendChild(std::move(item));
    return raw;
}

// A group with the event "modifying-file": its watched files and their rules.
EventTreeItem *eventTree()
{
    auto *root = new EventTreeItem({QStringLiteral("Type"), QStringLiteral("Name"), QStringLiteral("Value")});
    EventTreeItem *group = add(root, QStringLiteral("files"), EventTreeItem::Group);
    group->setCheckable(true);
    EventTreeItem *event = add(group, QStringLiteral("modifying-file"), EventTreeItem::Event);
    event->setCheckable(true);
    event->setCheckState(Qt::Checked);
    event->setHasAuditRules(true);
    add(event, QStringLiteral("message-audit-rules"), EventTreeItem::Parameter, InitialRules);
    EventTreeItem *key = add(event, QStringLiteral(".auditd.key"), EventTreeItem::ListParameter, QStringLiteral("/etc/passwd"));
    key->setEditable(true);
    key->setHasAuditRules(true);
    group->updateGroupCheckState();
    return root;
}
}

// Editing a file list through the module: the dialog, the value and the rules.
class ModuleEditingTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (geteuid() != 0) {
            QSKIP("the module runs as root only");
        }
    }

    void fileListEdit_data()
    {
        QTest::addColumn<bool>("cancelChooser");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("rules");
        QTest::addColumn<bool>("changed");
        QTest::newRow("file-added") << false << QStringLiteral("/etc/passwd, /etc/shadow")
                                    << QStringLiteral("-w /etc/passwd -p wa -k /etc/passwd, -w /etc/shadow -p wa -k /etc/shadow") << true;
        QTest::newRow("chooser-cancelled") << true << QStringLiteral("/etc/passwd") << InitialRules << false;
    }

    void fileListEdit()
    {
        QFETCH(bool, cancelChooser);
        QFETCH(QString, value);
        QFETCH(QString, rules);
        QFETCH(bool, changed);
        TestRoot root;
        MessageBoxWatcher watcher;
        ChooserAnswer answer(cancelChooser ? QString() : QStringLiteral("/etc/shadow"));

        QuorAdminEvents module(nullptr, {});
        module.savedModel()->setRoot(eventTree());
        module.currentModel()->setRoot(eventTree());
        QSignalSpy changedSpy(&module, qOverload<bool>(&KCModule::changed));
        module.show();
        QVERIFY(QTest::qWaitForWindowExposed(&module));

        auto *view = module.findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        view->expandAll();
        const QModelIndexList keys = view->model()->match(view->model()->index(0, 0),
                                                          CheckableTreeModel::IdRole,
                                                          QStringLiteral(".auditd.key"),
                                                          1,
                                                          Qt::MatchRecursive | Qt::MatchExactly);
        QCOMPARE(keys.size(), 1);
        const QModelIndex keyValue = keys.first().siblingAtColumn(1);
        const QPoint centre = view->visualRect(keyValue).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre);

        auto *dialog = module.findChild<FilesDialog *>();
        QTRY_VERIFY(dialog->isVisible());
        dialog->findChild<QToolButton *>(QStringLiteral("addButton"))->click();
        dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok)->click();

        QCOMPARE(keyValue.data(Qt::EditRole).toString(), value);
        const QModelIndex rulesIndex = keyValue.data(CheckableTreeModel::AuditRulesIndexRole).toModelIndex();
        QVERIFY(rulesIndex.isValid());
        QCOMPARE(rulesIndex.data(Qt::EditRole).toString(), rules);
        QVERIFY(!changedSpy.isEmpty());
        QCOMPARE(changedSpy.last().at(0).toBool(), changed);
        QVERIFY(watcher.boxes().isEmpty());
    }
};

QTEST_MAIN(ModuleEditingTest)
#include "moduleeditingtest.moc"
