#include "model/checkabletreemodel.h"
#include "breezeicons.h"
#include "eventtreebuilder.h"
#include "model/eventtreeitem.h"

#include <QAbstractItemModelTester>
#include <QIcon>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <functional>

namespace
{
EventTreeItem *add(EventTreeItem *parent, const QString &id, int kind, const QVariant &value = QVariant(), const QVariant &raw = QVariant())
{
    const bool grouped = kind == EventTreeItem::Group;
    auto item = std::make_unique<EventTreeItem>(grouped ? QVector<QVariant>{id, QVariant()} : QVector<QVariant>{id, value, raw}, parent);
    item->setId(id);
    item->setKind(kind);
    item->setCheckable(kind <= EventTreeItem::Event);
    EventTreeItem *raw_ = item.get();
    parent->appendChild(std::move(item));
    return raw_;
}

// Two groups: "files" with modifying-file, file-opened and a dependent event,
// and "disks" with a disk-space event and an object parameter with "enabled".
EventTreeItem *sampleTree()
{
    auto *root = new EventTreeItem({QStringLiteral("Parameter"), QStringLiteral("Value")});
    EventTreeItem *files = add(root, QStringLiteral("files"), EventTreeItem::Group);

    EventTreeItem *modifying = add(files, QStringLiteral("modifying-file"), EventTreeItem::Event);
    modifying->setHasAuditRules(true);
    modifying->setCheckState(Qt::Checked);
    add(modifying, QStringLiteral("enabled"), EventTreeItem::Parameter, QStringLiteral("1"));
    add(modifying, QStringLiteral("message-audit-rules"), EventTreeItem::Parameter, QStringLiteral("-w /etc/passwd -p wa -k /etc/passwd"));
    EventTreeItem *filter = add(modifying, QStringLiteral("filter-values"), EventTreeItem::Parameter);
    EventTreeItem *key = add(filter, QStringLiteral(".auditd.key"), EventTreeItem::ListParameter, QStringLiteral("/etc/passwd"));
    key->setHasAuditRules(true);
    key->setEditable(true);

    EventTreeItem *opened = add(files, QStringLiteral("file-opened"), EventTreeItem::Event);
    opened->setHasAuditRules(true);
    add(opened, QStringLiteral("enabled"), EventTreeItem::Parameter, QStringLiteral("0"));
    add(opened, QStringLiteral("message-audit-rules"), EventTreeItem::Parameter);
    EventTreeItem *openedKey = add(add(opened, QStringLiteral("filter-values"), EventTreeItem::Parameter), QStringLiteral(".auditd.key"), 3);
    openedKey->setHasAuditRules(true);

    EventTreeItem *dependent = add(files, QStringLiteral("dependent"), EventTreeItem::Event);
    add(dependent, QStringLiteral("enabled"), EventTreeItem::Parameter, QStringLiteral("0"));
    dependent->addDependsOn(opened);
    opened->addDependent(dependent);

    EventTreeItem *disks = add(root, QStringLiteral("disks"), EventTreeItem::Group);
    EventTreeItem *space = add(disks, QStringLiteral("disk-space"), EventTreeItem::Event);
    space->setGeneratesLoad(true);
    EventTreeItem *directories = add(space, QStringLiteral("directories"), EventTreeItem::ObjectListParameter, QStringLiteral("/var"));
    directories->setEditable(true);
    EventTreeItem *repetition = add(space, QStringLiteral("notification_repetition"), EventTreeItem::Parameter);
    repetition->setEditable(true);
    repetition->setCheckState(Qt::Checked);
    add(repetition, QStringLiteral("enabled"), EventTreeItem::Parameter, QStringLiteral("1"));
    EventTreeItem *interval = add(repetition, QStringLiteral("interval"), EventTreeItem::Parameter, QStringLiteral("30"));
    interval->setEditable(true);
    add(add(disks, QStringLiteral("modifying-directory"), EventTreeItem::Event), QStringLiteral(".auditd.key"), 3)->setEditable(true);

    for (int row = 0; row < root->childCount(); ++row) {
        for (int event = 0; event < root->child(row)->childCount(); ++event) {
            EventTreeItem *item = root->child(row)->child(event);
            for (int child = 0; child < item->childCount(); ++child) {
                item->child(child)->setCheckable(false);
            }
        }
        root->child(row)->updateGroupCheckState();
    }
    return root;
}

// Every field of every node, pre-order, one line per node; links by id.
QStringList describe(const EventTreeItem *item)
{
    QStringList ids;
    const auto idsOf = [](const QVector<EventTreeItem *> &items) {
        QStringList result;
        for (const EventTreeItem *linked : items) {
            result << linked->id();
        }
        return result.join(QLatin1Char(','));
    };
    QStringList columns;
    for (int column = 0; column < item->columnCount(); ++column) {
        columns << QStringLiteral("%1:%2").arg(QString::fromLatin1(item->data(column).typeName()), item->data(column).toString());
    }
    QStringList lines{QStringLiteral("%1|%2|%3|%4%5%6%7%8%9%10%11%12%13|%14|%15|%16|%17")
                          .arg(item->id(), item->name(), columns.join(QLatin1Char(';')))
                          .arg(item->isCheckable())
                          .arg(item->checkState())
                          .arg(item->isEditable())
                          .arg(item->childrenEditable())
                          .arg(item->isVisible())
                          .arg(item->isOverlaid())
                          .arg(item->isNotRedirected())
                          .arg(item->generatesLoad())
                          .arg(item->hasAuditRules())
                          .arg(item->hasAuditEvents())
                          .arg(item->notificationState())
                          .arg(item->kind())
                          .arg(idsOf(item->dependsOn()), idsOf(item->dependents()))};
    for (int row = 0; row < item->childCount(); ++row) {
        lines += describe(item->child(row));
    }
    return lines;
}

using Mutation = std::function<void(CheckableTreeModel &)>;

EventTreeItem *itemOf(CheckableTreeModel &model, const char *id)
{
    return model.root()->findById(QString::fromLatin1(id));
}

// Ticks the box of the item, as a click does.
void checkItem(CheckableTreeModel &model, const char *id)
{
    model.setData(model.indexFromItem(itemOf(model, id)), Qt::Checked, Qt::CheckStateRole);
}

// The items marked to be written, as "<parent id>/<id>", pre-order.
QStringList markedItems(const EventTreeItem *item)
{
    QStringList marked;
    for (int row = 0; row < item->childCount(); ++row) {
        const EventTreeItem *child = item->child(row);
        if (child->isOverlaid()) {
            marked << item->id() + QLatin1Char('/') + child->id();
        }
        marked += markedItems(child);
    }
    return marked;
}

class Models
{
public:
    // The saved tree is built on its own, or is a copy of the current one as
    // the page keeps it.
    enum class Saved { Built, Copied };

    explicit Models(Saved kept = Saved::Built)
    {
        EventTreeItem *tree = sampleTree();
        saved.setRoot(kept == Saved::Copied ? tree->clone().release() : sampleTree());
        current.setRoot(tree);
    }
    QModelIndex find(const QString &id, int column = 0) const
    {
        return current.indexFromItem(current.root()->findById(id), column);
    }
    CheckableTreeModel current;
    CheckableTreeModel saved;
    QAbstractItemModelTester tester{&current, QAbstractItemModelTester::FailureReportingMode::QtTest};
};
}

class CheckableTreeModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The marks are monochrome status icons of the desktop's theme, side by side.
    void marksAreStatusIcons_data()
    {
        QTest::addColumn<bool>("load");
        QTest::addColumn<QString>("icon"); // empty: the two marks drawn as one
        QTest::newRow("notifications") << false << QStringLiteral("notifications");
        QTest::newRow("load") << true << QString();
    }

    void marksAreStatusIcons()
    {
        QFETCH(bool, load);
        QFETCH(QString, icon);
        const BreezeIcons breeze;
        auto root = std::make_unique<EventTreeItem>(QVector<QVariant>{QStringLiteral("Parameter"), QStringLiteral("Value")});
        EventTreeItem *event =
            addTreeItem(addTreeItem(root.get(), QStringLiteral("Group"), EventTreeItem::Group), QStringLiteral("Event"), EventTreeItem::Event);
        event->setNotificationState(EventTreeItem::NotificationsEnabled);
        event->setGeneratesLoad(load);
        CheckableTreeModel model;
        model.setRoot(root.release());
        const QVariant mark = model.index(0, 0, model.index(0, 0)).data(Qt::DecorationRole);
        if (icon.isEmpty()) {
            QCOMPARE(mark.value<QPixmap>().width(), 2 * mark.value<QPixmap>().height());
        } else {
            QCOMPARE(mark.value<QIcon>().name(), icon);
        }
    }

    void editorRoles_data()
    {
        QTest::addColumn<QString>("path"); // ids from an event down, joined by "/"
        QTest::addColumn<QVector<int>>("roles258to262");
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("file-list") << QStringLiteral("modifying-file/filter-values/.auditd.key") << QVector<int>{1, 0, 260, 0, 0} << false;
        QTest::newRow("directory-list") << QStringLiteral("modifying-directory/.auditd.key") << QVector<int>{0, 0, 260, 0, 1} << false;
        QTest::newRow("key-elsewhere") << QStringLiteral("file-opened/filter-values/.auditd.key") << QVector<int>{1, 0, 260, 0, 0} << false;
        QTest::newRow("disk-limits") << QStringLiteral("disk-space/directories") << QVector<int>{0, 0, 260, 1, 0} << false;
        QTest::newRow("scalar") << QStringLiteral("disk-space/notification_repetition/interval") << QVector<int>{0, 1, 260, 0, 0} << true;
        QTest::newRow("object-with-enabled") << QStringLiteral("disk-space/notification_repetition") << QVector<int>{0, 1, 260, 0, 0} << false;
    }

    void editorRoles()
    {
        QFETCH(QString, path);
        QFETCH(QVector<int>, roles258to262);
        QFETCH(bool, inPlace);
        Models models;
        EventTreeItem *item = models.current.root();
        const auto ids = path.split(QLatin1Char('/'));
        for (const QString &id : ids) {
            item = item->findById(id);
        }
        const QModelIndex index = models.current.indexFromItem(item);
        for (int role = 258; role <= 262; ++role) {
            const int expected = roles258to262.at(role - 258);
            if (role == CheckableTreeModel::IdRole) {
                QCOMPARE(index.data(role).toString(), item->id());
            } else {
                QCOMPARE(index.data(role).toInt(), expected);
            }
        }
        QCOMPARE(bool(models.current.flags(index.siblingAtColumn(1)) & Qt::ItemIsEditable), inPlace);
    }

    void objectWithEnabledShowsOnOff()
    {
        Models models;
        const QModelIndex repetition = models.find(QStringLiteral("notification_repetition"), 1);
        QCOMPARE(repetition.data().toString(), QStringLiteral("On"));
        QCOMPARE(repetition.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QVERIFY(models.current.flags(repetition) & Qt::ItemIsUserCheckable);
        QVERIFY(models.current.setData(repetition, Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(repetition.data().toString(), QStringLiteral("Off"));
        QCOMPARE(repetition.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    }

    // A value drawn grey cannot be changed; a box that switches is never grey, also
    // on an object that only its children make editable (the dictionary's
    // "children_editable", as for the notification repetition).
    void greyOnlyWhatCannotChange_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("editable");
        QTest::addColumn<bool>("grey");
        QTest::newRow("switch-of-read-only-object") << QStringLiteral("notification_repetition") << false << false;
        QTest::newRow("switch-of-editable-object") << QStringLiteral("notification_repetition") << true << false;
        QTest::newRow("read-only-value") << QStringLiteral("interval") << false << true;
        QTest::newRow("editable-value") << QStringLiteral("interval") << true << false;
    }

    void greyOnlyWhatCannotChange()
    {
        QFETCH(QString, id);
        QFETCH(bool, editable);
        QFETCH(bool, grey);
        Models models;
        models.current.root()->findById(id)->setEditable(editable);
        const QModelIndex value = models.find(id, 1);
        QCOMPARE(value.data(Qt::ForegroundRole).isValid(), grey);
        if (value.data(Qt::CheckStateRole).isValid()) {
            QVERIFY(models.current.flags(value) & Qt::ItemIsEnabled);
            QVERIFY(models.current.setData(value, Qt::Unchecked, Qt::CheckStateRole));
            QCOMPARE(value.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        }
    }

    void marksAndToolTips()
    {
        Models models;
        const QModelIndex space = models.find(QStringLiteral("disk-space"));
        QCOMPARE(space.data(Qt::ToolTipRole).toString(), QStringLiteral("This event generates a large volume of records in the logs"));
        QCOMPARE(space.data(Qt::DecorationRole).userType(), qMetaTypeId<QIcon>());
        QVERIFY(models.current.setData(space, QVariant::fromValue(EventTreeItem::NotificationsEnabled), Qt::DecorationRole));
        QCOMPARE(space.data(Qt::DecorationRole).userType(), int(QMetaType::QPixmap));
        QCOMPARE(space.data(Qt::DecorationRole).value<QPixmap>().width(), 2 * space.data(Qt::DecorationRole).value<QPixmap>().height());

        const QModelIndex opened = models.find(QStringLiteral("file-opened"));
        QCOMPARE(opened.data(Qt::ToolTipRole).toString(), QString());
        QSignalSpy notified(&models.current, &CheckableTreeModel::notificationChanged);
        QVERIFY(models.current.setData(opened, 2, Qt::DecorationRole));
        QCOMPARE(notified.count(), 1);
        QCOMPARE(opened.data(Qt::ToolTipRole).toString(), QStringLiteral("Notifications are enabled for this event"));
        // A value that cannot be converted switches notifications off.
        QVERIFY(models.current.setData(opened, QStringLiteral("many"), Qt::DecorationRole));
        QCOMPARE(opened.data(Qt::ToolTipRole).toString(), QString());
    }

    void auditRulesIndex()
    {
        Models models;
        const QModelIndex key = models.find(QStringLiteral(".auditd.key"));
        const QModelIndex rules = key.data(CheckableTreeModel::AuditRulesIndexRole).toModelIndex();
        QCOMPARE(rules, models.find(QStringLiteral("message-audit-rules"), 1));
        QVERIFY(!models.find(QStringLiteral("interval")).data(CheckableTreeModel::AuditRulesIndexRole).toModelIndex().isValid());
    }

    void checkRules_data()
    {
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<QStringList>("checked"); // events checked afterwards
        QTest::addColumn<QVector<int>>("groups"); // files, disks
        // modifying-file starts checked, so "files" starts partially checked.
        QTest::newRow("check-pulls-dependency") << QStringLiteral("dependent")
                                                << QStringList{QStringLiteral("modifying-file"), QStringLiteral("file-opened"), QStringLiteral("dependent")}
                                                << QVector<int>{2, 0};
        QTest::newRow("uncheck-only-self") << QStringLiteral("modifying-file") << QStringList{} << QVector<int>{0, 0};
        QTest::newRow("group-checks-events") << QStringLiteral(
            "disks") << QStringList{QStringLiteral("modifying-file"), QStringLiteral("disk-space"), QStringLiteral("modifying-directory")}
                                             << QVector<int>{1, 2};
        QTest::newRow("partial-group-checks") << QStringLiteral("files")
                                              << QStringList{QStringLiteral("modifying-file"), QStringLiteral("file-opened"), QStringLiteral("dependent")}
                                              << QVector<int>{2, 0};
    }

    void checkRules()
    {
        QFETCH(QString, clicked);
        QFETCH(QStringList, checked);
        QFETCH(QVector<int>, groups);
        Models models;
        QSignalSpy changed(&models.current, &CheckableTreeModel::dataChanged);
        QVERIFY(models.current.setData(models.find(clicked), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(changed.count(), 1);
        QStringList result;
        for (const QString &event : {QStringLiteral("modifying-file"),
                                     QStringLiteral("file-opened"),
                                     QStringLiteral("dependent"),
                                     QStringLiteral("disk-space"),
                                     QStringLiteral("modifying-directory")}) {
            EventTreeItem *item = models.current.root()->findById(event);
            if (item->checkState() == Qt::Checked) {
                result << event;
            }
            // "enabled" follows the event's state.
            if (EventTreeItem *enabled = item->findChildById(QStringLiteral("enabled"))) {
                QCOMPARE(enabled->data(1).toInt(), item->checkState() == Qt::Checked ? 1 : 0);
            }
        }
        QCOMPARE(result, checked);
        QCOMPARE(models.find(QStringLiteral("files")).data(Qt::CheckStateRole).toInt(), groups.at(0));
        QCOMPARE(models.find(QStringLiteral("disks")).data(Qt::CheckStateRole).toInt(), groups.at(1));
    }

    void uncheckLeavesDependencies()
    {
        Models models;
        QVERIFY(models.current.setData(models.find(QStringLiteral("dependent")), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(models.current.setData(models.find(QStringLiteral("dependent")), Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(models.current.root()->findById(QStringLiteral("file-opened"))->checkState(), int(Qt::Checked));
        // Unchecking the dependency takes its dependents with it.
        QVERIFY(models.current.setData(models.find(QStringLiteral("dependent")), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(models.current.setData(models.find(QStringLiteral("file-opened")), Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(models.current.root()->findById(QStringLiteral("dependent"))->checkState(), int(Qt::Unchecked));
    }

    void optionTickKeepsEventState_data()
    {
        QTest::addColumn<int>("eventState");
        QTest::newRow("event-off") << int(Qt::Unchecked);
        QTest::newRow("event-on") << int(Qt::Checked);
    }

    void optionTickKeepsEventState()
    {
        QFETCH(int, eventState);
        Models models;
        EventTreeItem *space = models.current.root()->findById(QStringLiteral("disk-space"));
        EventTreeItem *enabled = add(space, QStringLiteral("enabled"), EventTreeItem::Parameter, QString::number(eventState / 2));
        enabled->setCheckable(false);
        space->setCheckState(eventState);
        const int groupState = models.find(QStringLiteral("disks")).data(Qt::CheckStateRole).toInt();

        // The option's check box in the value column, off and on again.
        const QModelIndex repetition = models.find(QStringLiteral("notification_repetition"), 1);
        for (const int expected : {Qt::Unchecked, Qt::Checked}) {
            QVERIFY(models.current.setData(repetition, expected, Qt::CheckStateRole));
            QCOMPARE(repetition.data(Qt::CheckStateRole).toInt(), expected);
            QCOMPARE(space->checkState(), eventState);
            QCOMPARE(enabled->data(1).toInt(), eventState / 2);
            QCOMPARE(models.find(QStringLiteral("disks")).data(Qt::CheckStateRole).toInt(), groupState);
        }
    }

    void dependencyMovesOtherGroup_data()
    {
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<QStringList>("linked"); // events in the other group
        QTest::addColumn<QVector<int>>("groups"); // files, disks afterwards
        // disk-space depends on the linked events: checking it checks them.
        QTest::newRow("check-pulls") << QStringLiteral("disk-space") << QStringList{QStringLiteral("file-opened"), QStringLiteral("dependent")}
                                     << QVector<int>{2, 1};
        // The linked events depend on modifying-file: unchecking it unchecks them.
        QTest::newRow("uncheck-pushes") << QStringLiteral("modifying-file") << QStringList{QStringLiteral("disk-space"), QStringLiteral("modifying-directory")}
                                        << QVector<int>{0, 0};
    }

    void dependencyMovesOtherGroup()
    {
        QFETCH(QString, clicked);
        QFETCH(QStringList, linked);
        QFETCH(QVector<int>, groups);
        Models models;
        EventTreeItem *root = models.current.root();
        EventTreeItem *event = root->findById(clicked);
        const bool checking = event->checkState() == Qt::Unchecked;
        for (const QString &id : linked) {
            EventTreeItem *other = root->findById(id);
            if (checking) {
                event->addDependsOn(other);
                other->addDependent(event);
            } else {
                // Checked, so that unchecking has something to switch off.
                other->setCheckState(Qt::Checked);
                other->addDependsOn(event);
                event->addDependent(other);
            }
        }
        root->findById(QStringLiteral("disks"))->updateGroupCheckState();
        QVERIFY(models.current.setData(models.find(clicked), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(models.find(QStringLiteral("files")).data(Qt::CheckStateRole).toInt(), groups.at(0));
        QCOMPARE(models.find(QStringLiteral("disks")).data(Qt::CheckStateRole).toInt(), groups.at(1));
    }

    // A group folder without events (nested, or with only empty folders in
    // it) has no box and cannot be ticked; the group around it is unmoved.
    void emptyGroupHasNoBox()
    {
        auto *root = sampleTree();
        EventTreeItem *disks = root->findById(QStringLiteral("disks"));
        const int disksState = disks->checkState();
        EventTreeItem *network = add(disks, QStringLiteral("network"), EventTreeItem::Group);
        add(network, QStringLiteral("interfaces"), EventTreeItem::Group);
        root->child(1)->updateGroupCheckState();
        CheckableTreeModel model;
        model.setRoot(root);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        for (const QString &id : {QStringLiteral("network"), QStringLiteral("interfaces")}) {
            const QModelIndex empty = model.indexFromItem(root->findById(id), 0);
            QVERIFY(!(model.flags(empty) & Qt::ItemIsUserCheckable));
            QVERIFY(!empty.data(Qt::CheckStateRole).isValid());
            QVERIFY(!model.setData(empty, Qt::Checked, Qt::CheckStateRole));
        }
        QCOMPARE(changed.count(), 0);
        QCOMPARE(disks->checkState(), disksState);
        QVERIFY(model.flags(model.indexFromItem(disks, 0)) & Qt::ItemIsUserCheckable);
    }

    void partiallyCheckedEventStays()
    {
        Models models;
        EventTreeItem *event = models.current.root()->findById(QStringLiteral("disk-space"));
        event->setCheckState(Qt::PartiallyChecked);
        QVERIFY(models.current.setData(models.find(QStringLiteral("disk-space")), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(event->checkState(), int(Qt::PartiallyChecked));
    }

    void auditRuleUpdate_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("files");
        QTest::addColumn<QString>("rules");
        QTest::newRow("watch-lines") << QStringLiteral("modifying-file") << QStringLiteral("/a, ,/b") << QStringLiteral("-w /a -p wa -k /a, -w /b -p wa -k /b");
        QTest::newRow("line-break-part") << QStringLiteral("modifying-file") << QStringLiteral("/a,\n") << QStringLiteral("-w /a -p wa -k /a");
        QTest::newRow("every-architecture") << QStringLiteral("file-opened") << QStringLiteral("/etc/shadow")
                                            << QStringLiteral(
                                                   "-a always,exit -F arch=x86_64 -F path=/etc/shadow -S open,openat -k /etc/shadow, "
                                                   "-a always,exit -F arch=armv7l -F path=/etc/shadow -S open,openat -k /etc/shadow, "
                                                   "-a always,exit -F arch=aarch64 -F path=/etc/shadow -S openat -k /etc/shadow");
        QTest::newRow("empty-list") << QStringLiteral("modifying-file") << QString() << QString();
    }

    void auditRuleUpdate()
    {
        QFETCH(QString, key);
        QFETCH(QString, files);
        QFETCH(QString, rules);
        Models models;
        EventTreeItem *event = models.current.root()->findById(key);
        const QModelIndex keyIndex = models.current.indexFromItem(event->findById(QStringLiteral(".auditd.key")), 1);
        const QModelIndex rulesIndex = keyIndex.data(CheckableTreeModel::AuditRulesIndexRole).toModelIndex();
        QVERIFY(models.current.updateAuditRules(rulesIndex, files));
        QCOMPARE(rulesIndex.data(Qt::EditRole).toString(), rules);
    }

    void changeTestMarksChangedItems()
    {
        Models models;
        QVERIFY(!models.current.differsFrom(models.saved));
        const QModelIndex opened = models.find(QStringLiteral("file-opened"));
        QVERIFY(models.current.setData(opened, Qt::Checked, Qt::CheckStateRole));
        QVERIFY(models.current.differsFrom(models.saved));
        EventTreeItem *item = models.current.root()->findById(QStringLiteral("file-opened"));
        QVERIFY(item->isOverlaid());
        QVERIFY(item->findChildById(QStringLiteral("enabled"))->isOverlaid());
        QVERIFY(!models.current.root()->findById(QStringLiteral("modifying-file"))->isOverlaid());

        QVERIFY(models.current.setData(opened, Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(!models.current.differsFrom(models.saved));

        // A changed value and a changed notification state both count.
        QVERIFY(models.current.setData(models.find(QStringLiteral("interval"), 1), QStringLiteral("60"), Qt::EditRole));
        QVERIFY(models.current.differsFrom(models.saved));
        QVERIFY(models.current.setData(models.find(QStringLiteral("interval"), 1), QStringLiteral("30"), Qt::EditRole));
        QVERIFY(!models.current.differsFrom(models.saved));
        QVERIFY(models.current.setData(opened, 1, Qt::DecorationRole));
        QVERIFY(models.current.differsFrom(models.saved));
    }

    // Each edit through the model marks what it changed as it happens, with no
    // change test run; a mark stays when the value is restored.
    void editsMarkWhatChanged_data()
    {
        QTest::addColumn<Mutation>("edit");
        QTest::addColumn<QStringList>("marked");
        const auto index = [](CheckableTreeModel &model, const char *id, int column = 0) {
            return model.indexFromItem(model.root()->findById(QString::fromLatin1(id)), column);
        };
        const auto toggle = [index](CheckableTreeModel &model, const char *id, int column = 0) {
            QVERIFY(model.setData(index(model, id, column), Qt::Checked, Qt::CheckStateRole));
        };
        const QStringList opened{QStringLiteral("files/file-opened"), QStringLiteral("file-opened/enabled")};
        QTest::newRow("nothing") << Mutation([](CheckableTreeModel &) {}) << QStringList();
        QTest::newRow("event-checked") << Mutation([toggle](CheckableTreeModel &model) {
            toggle(model, "file-opened");
        }) << opened;
        QTest::newRow("event-checked-and-back") << Mutation([toggle](CheckableTreeModel &model) {
            toggle(model, "file-opened");
            toggle(model, "file-opened");
        }) << opened;
        // The event it depends on is switched on with it, and the group is then all on.
        QTest::newRow("dependency-follows") << Mutation([toggle](CheckableTreeModel &model) {
            toggle(model, "dependent");
        })
                                            << QStringList{QStringLiteral("/files"),
                                                           QStringLiteral("files/file-opened"),
                                                           QStringLiteral("file-opened/enabled"),
                                                           QStringLiteral("files/dependent"),
                                                           QStringLiteral("dependent/enabled")};
        QTest::newRow("value-edited") << Mutation([index](CheckableTreeModel &model) {
            QVERIFY(model.setData(index(model, "interval", 1), QStringLiteral("60"), Qt::EditRole));
        }) << QStringList{QStringLiteral("notification_repetition/interval")};
        // The option shows its "enabled" child as its box and its text.
        QTest::newRow("option-unticked") << Mutation([toggle](CheckableTreeModel &model) {
            toggle(model, "notification_repetition", 1);
        }) << QStringList{QStringLiteral("disk-space/notification_repetition"), QStringLiteral("notification_repetition/enabled")};
        QTest::newRow("notification-state") << Mutation([index](CheckableTreeModel &model) {
            QVERIFY(model.setData(index(model, "disk-space"), 2, Qt::DecorationRole));
        }) << QStringList{QStringLiteral("disks/disk-space")};
        QTest::newRow("same-text-shown") << Mutation([](CheckableTreeModel &model) {
            const EventTreeItem *rules = model.root()->findById(QStringLiteral("file-opened"))->findChildById(QStringLiteral("message-audit-rules"));
            QVERIFY(model.setData(model.indexFromItem(const_cast<EventTreeItem *>(rules), 1), QString(QLatin1String("")), Qt::EditRole));
        }) << QStringList();
    }

    void editsMarkWhatChanged()
    {
        QFETCH(Mutation, edit);
        QFETCH(QStringList, marked);
        CheckableTreeModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setRoot(sampleTree());
        edit(model);
        QCOMPARE(markedItems(model.root()), marked);
    }

    // The kept copy shares the content of the tree the page edits until either
    // side changes: no edit through the model may reach the copy, and the
    // change test answers as against a tree built on its own.
    void editsNeverReachTheKeptCopy_data()
    {
        editsMarkWhatChanged_data();
        const auto toggle = [](CheckableTreeModel &model, const char *id) {
            QVERIFY(model.setData(model.indexFromItem(model.root()->findById(QString::fromLatin1(id))), Qt::Checked, Qt::CheckStateRole));
        };
        QTest::newRow("group-toggled") << Mutation([toggle](CheckableTreeModel &model) {
            toggle(model, "disks");
        }) << QStringList();
        QTest::newRow("group-toggled-and-back") << Mutation([toggle](CheckableTreeModel &model) {
            toggle(model, "disks");
            toggle(model, "disks");
        }) << QStringList();
        QTest::newRow("written-into-the-items") << Mutation([](CheckableTreeModel &model) {
            EventTreeItem *space = model.root()->findById(QStringLiteral("disk-space"));
            space->setOverlaid(true);
            space->setName(QStringLiteral("renamed"));
            space->setItemData({QStringLiteral("event"), QStringLiteral("other"), QVariant()});
            model.root()->findById(QStringLiteral("interval"))->setValueKind(ParameterValue::Kind::WholeNumber);
        }) << QStringList();
    }

    void editsNeverReachTheKeptCopy()
    {
        QFETCH(Mutation, edit);
        Models copied(Models::Saved::Copied);
        const Models built;
        const QStringList unedited = describe(built.saved.root());
        QCOMPARE(describe(copied.saved.root()), unedited);

        edit(copied.current);
        QCOMPARE(describe(copied.saved.root()), unedited);
        QCOMPARE(markedItems(copied.saved.root()), QStringList());
        QCOMPARE(copied.current.differsFrom(copied.saved), copied.current.differsFrom(built.saved));
        QCOMPARE(copied.saved.differsFrom(copied.current), built.saved.differsFrom(copied.current));
    }

    void copyIsEqualAndIndependent()
    {
        std::unique_ptr<EventTreeItem> tree(sampleTree());
        tree->findById(QStringLiteral("interval"))->setOverlaid(true);
        tree->findById(QStringLiteral("disk-space"))->setNotificationState(EventTreeItem::NotificationsEdited);
        const std::unique_ptr<EventTreeItem> copy = tree->clone();
        QCOMPARE(describe(copy.get()), describe(tree.get()));

        // Links lead into the copy, not back into the original.
        const EventTreeItem *dependent = copy->findById(QStringLiteral("dependent"));
        QCOMPARE(dependent->dependsOn(), QVector<EventTreeItem *>{copy->findById(QStringLiteral("file-opened"))});
        QCOMPARE(copy->findById(QStringLiteral("file-opened"))->dependents(), QVector<EventTreeItem *>{copy->findById(QStringLiteral("dependent"))});
        QCOMPARE(copy->child(0)->parentItem(), copy.get());

        const QStringList before = describe(tree.get());
        copy->findById(QStringLiteral("interval"))->setData(1, QStringLiteral("90"));
        copy->findById(QStringLiteral("file-opened"))->setCheckState(Qt::Checked);
        QCOMPARE(describe(tree.get()), before);
    }

    void copyOnAnyNumberOfThreads_data()
    {
        QTest::addColumn<int>("threads");
        QTest::newRow("one") << 1;
        QTest::newRow("two") << 2;
        QTest::newRow("more-than-groups") << 7;
    }

    // The groups are copied on several threads: links between events of
    // different groups must still lead into the copy, and the copy's shared
    // values must not take edits made to the original.
    void copyOnAnyNumberOfThreads()
    {
        QFETCH(int, threads);
        std::unique_ptr<EventTreeItem> tree(sampleTree());
        EventTreeItem *space = tree->findById(QStringLiteral("disk-space"));
        EventTreeItem *opened = tree->findById(QStringLiteral("file-opened"));
        space->addDependsOn(opened);
        opened->addDependent(space);
        tree->setCheckState(Qt::PartiallyChecked);

        const int savedThreads = QThreadPool::globalInstance()->maxThreadCount();
        QThreadPool::globalInstance()->setMaxThreadCount(threads);
        const std::unique_ptr<EventTreeItem> copy = tree->clone();
        QThreadPool::globalInstance()->setMaxThreadCount(savedThreads);

        QCOMPARE(describe(copy.get()), describe(tree.get()));
        QCOMPARE(copy->checkState(), int(Qt::PartiallyChecked));
        QCOMPARE(copy->columnCount(), 2);
        EventTreeItem *spaceCopy = copy->findById(QStringLiteral("disk-space"));
        EventTreeItem *openedCopy = copy->findById(QStringLiteral("file-opened"));
        QCOMPARE(spaceCopy->dependsOn(), QVector<EventTreeItem *>{openedCopy});
        QCOMPARE(openedCopy->dependents(), (QVector<EventTreeItem *>{copy->findById(QStringLiteral("dependent")), spaceCopy}));
        for (int row = 0; row < copy->childCount(); ++row) {
            QCOMPARE(copy->child(row)->parentItem(), copy.get());
        }

        const QStringList copied = describe(copy.get());
        tree->findById(QStringLiteral("interval"))->setData(1, QStringLiteral("90"));
        tree->findById(QStringLiteral("disk-space"))->setItemData({QStringLiteral("renamed"), QVariant(), QVariant()});
        QCOMPARE(describe(copy.get()), copied);
    }

    // The change test on a copied tree may skip what did not change; it must
    // give the answer and the marks of the full comparison of two separately
    // built trees, whichever way the change was made.
    void changeTestOnCopies_data()
    {
        QTest::addColumn<Mutation>("mutate");
        QTest::addColumn<bool>("differs");
        QTest::newRow("nothing") << Mutation([](CheckableTreeModel &) {}) << false;
        QTest::newRow("event-checked") << Mutation([](CheckableTreeModel &model) {
            checkItem(model, "file-opened");
        }) << true;
        QTest::newRow("event-checked-and-back") << Mutation([](CheckableTreeModel &model) {
            checkItem(model, "file-opened");
            checkItem(model, "file-opened");
        }) << false;
        QTest::newRow("group-toggled") << Mutation([](CheckableTreeModel &model) {
            checkItem(model, "disks");
        }) << true;
        QTest::newRow("edited-in-place") << Mutation([](CheckableTreeModel &model) {
            model.setData(model.indexFromItem(itemOf(model, "interval"), 1), QStringLiteral("60"), Qt::EditRole);
        }) << true;
        QTest::newRow("written-into-the-item") << Mutation([](CheckableTreeModel &model) {
            itemOf(model, "interval")->setData(1, QStringLiteral("45"));
        }) << true;
        QTest::newRow("written-and-restored") << Mutation([](CheckableTreeModel &model) {
            itemOf(model, "interval")->setData(1, QStringLiteral("45"));
            itemOf(model, "interval")->setData(1, QStringLiteral("30"));
        }) << false;
        QTest::newRow("same-text-as-number") << Mutation([](CheckableTreeModel &model) {
            itemOf(model, "modifying-file")->findChildById(QStringLiteral("enabled"))->setData(1, 1);
        }) << false;
        QTest::newRow("other-text-as-number") << Mutation([](CheckableTreeModel &model) {
            itemOf(model, "modifying-file")->findChildById(QStringLiteral("enabled"))->setData(1, 0);
        }) << true;
        QTest::newRow("notification-state") << Mutation([](CheckableTreeModel &model) {
            model.setData(model.indexFromItem(itemOf(model, "disk-space")), 2, Qt::DecorationRole);
        }) << true;
        QTest::newRow("child-removed") << Mutation([](CheckableTreeModel &model) {
            itemOf(model, "disk-space")->removeChild(0);
        }) << true;
        QTest::newRow("child-appended") << Mutation([](CheckableTreeModel &model) {
            EventTreeItem *space = itemOf(model, "disk-space");
            space->appendChild(std::make_unique<EventTreeItem>(QVector<QVariant>{QStringLiteral("extra"), QStringLiteral("1"), QVariant()}, space));
        }) << true;
        QTest::newRow("parameter-kind") << Mutation([](CheckableTreeModel &model) {
            itemOf(model, "notification_repetition")->setKind(EventTreeItem::ListParameter);
        }) << true;
    }

    void changeTestOnCopies()
    {
        QFETCH(Mutation, mutate);
        QFETCH(bool, differs);
        Models separate;
        mutate(separate.current);
        QCOMPARE(separate.current.differsFrom(separate.saved), differs);

        Models copied(Models::Saved::Copied);
        mutate(copied.current);
        QCOMPARE(copied.current.differsFrom(copied.saved), differs);
        QCOMPARE(describe(copied.current.root()), describe(separate.current.root()));
        // And in the other direction: a change to the saved tree counts too.
        QCOMPARE(copied.saved.differsFrom(copied.current), differs);
    }

    // After Apply the kept copy catches up with the edited tree instead of
    // being copied anew: it must then equal a new copy, links included, and
    // stay apart from the tree the page goes on editing.
    void caughtUpCopyEqualsNewCopy_data()
    {
        QTest::addColumn<Mutation>("mutate");
        QTest::addColumn<bool>("copiedWhole"); // rows with links came or went
        QTest::newRow("nothing") << Mutation([](CheckableTreeModel &) {}) << false;
        QTest::newRow("linked-event-checked") << Mutation([](CheckableTreeModel &model) {
            checkItem(model, "dependent");
        }) << false;
        QTest::newRow("group-toggled") << Mutation([](CheckableTreeModel &model) {
            checkItem(model, "disks");
        }) << false;
        QTest::newRow("value-and-type") << Mutation([](CheckableTreeModel &model) {
            model.setData(model.indexFromItem(itemOf(model, "interval"), 1), QStringLiteral("60"), Qt::EditRole);
            itemOf(model, "modifying-file")->findChildById(QStringLiteral("enabled"))->setData(1, 1);
        }) << false;
        QTest::newRow("marks-and-names") << Mutation([](CheckableTreeModel &model) {
            model.setData(model.indexFromItem(itemOf(model, "disk-space")), 2, Qt::DecorationRole);
            itemOf(model, "disk-space")->setGeneratesLoad(false);
            itemOf(model, "file-opened")->setName(QStringLiteral("renamed"));
            itemOf(model, "notification_repetition")->setKind(EventTreeItem::ListParameter);
        }) << false;
        QTest::newRow("row-removed") << Mutation([](CheckableTreeModel &model) {
            itemOf(model, "disk-space")->removeChild(0);
        }) << false;
        QTest::newRow("row-appended-below-a-new-row") << Mutation([](CheckableTreeModel &model) {
            EventTreeItem *space = itemOf(model, "disk-space");
            auto extra = std::make_unique<EventTreeItem>(QVector<QVariant>{QStringLiteral("extra"), QStringLiteral("1"), QVariant()}, space);
            extra->appendChild(std::make_unique<EventTreeItem>(QVector<QVariant>{QStringLiteral("inner"), QStringLiteral("2"), QVariant()}, extra.get()));
            space->appendChild(std::move(extra));
        }) << false;
        // A link between events that stay where they are: set at the same places.
        QTest::newRow("link-added") << Mutation([](CheckableTreeModel &model) {
            itemOf(model, "disk-space")->addDependsOn(itemOf(model, "file-opened"));
            itemOf(model, "file-opened")->addDependent(itemOf(model, "disk-space"));
        }) << false;
        QTest::newRow("linked-event-added") << Mutation([](CheckableTreeModel &model) {
            EventTreeItem *files = itemOf(model, "files");
            auto added = std::make_unique<EventTreeItem>(QVector<QVariant>{QStringLiteral("added"), QVariant(), QVariant()}, files);
            added->setId(QStringLiteral("added"));
            added->addDependsOn(itemOf(model, "file-opened"));
            itemOf(model, "file-opened")->addDependent(added.get());
            files->appendChild(std::move(added));
        }) << true;
    }

    void caughtUpCopyEqualsNewCopy()
    {
        QFETCH(Mutation, mutate);
        QFETCH(bool, copiedWhole);
        Models models(Models::Saved::Copied);
        mutate(models.current);
        QSignalSpy reset(&models.saved, &CheckableTreeModel::modelReset);
        const std::unique_ptr<EventTreeItem> replaced = models.saved.catchUp(models.current);
        QCOMPARE(replaced != nullptr, copiedWhole);
        QCOMPARE(reset.count(), 1);

        QVERIFY(!models.current.differsFrom(models.saved));
        QVERIFY(!models.saved.differsFrom(models.current));
        // Copies of one another again, node by node: the next change test skips them.
        std::function<void(const EventTreeItem *, const EventTreeItem *)> stampsShared = [&](const EventTreeItem *saved, const EventTreeItem *current) {
            QVERIFY(saved->copyStamp() != 0);
            QCOMPARE(saved->copyStamp(), current->copyStamp());
            for (int row = 0; row < saved->childCount(); ++row) {
                stampsShared(saved->child(row), current->child(row));
            }
        };
        stampsShared(models.saved.root(), models.current.root());
        // Equal to a new copy (which takes stamps of its own).
        const std::unique_ptr<EventTreeItem> newCopy = models.current.root()->clone();
        QCOMPARE(describe(models.saved.root()), describe(newCopy.get()));
        // Links lead to nodes of the caught-up tree itself.
        std::function<void(const EventTreeItem *)> linksStayInside = [&](const EventTreeItem *node) {
            for (const QVector<EventTreeItem *> &links : {node->dependsOn(), node->dependents()}) {
                for (const EventTreeItem *target : links) {
                    const EventTreeItem *top = target;
                    while (top && top->parentItem()) {
                        top = top->parentItem();
                    }
                    QCOMPARE(top, models.saved.root());
                }
            }
            for (int row = 0; row < node->childCount(); ++row) {
                linksStayInside(node->child(row));
            }
        };
        linksStayInside(models.saved.root());

        // Apart again: a later edit shows as a change and does not reach it.
        const QStringList caughtUp = describe(models.saved.root());
        QVERIFY(models.current.setData(models.find(QStringLiteral("file-opened")), Qt::Checked, Qt::CheckStateRole));
        models.current.root()->findById(QStringLiteral("modifying-file"))->findChildById(QStringLiteral("enabled"))->setData(1, QStringLiteral("0"));
        QCOMPARE(describe(models.saved.root()), caughtUp);
        QVERIFY(models.current.differsFrom(models.saved));
    }

    void emptyTextEqualsNoValue()
    {
        Models models;
        const QModelIndex rules =
            models.current.indexFromItem(models.current.root()->findById(QStringLiteral("file-opened"))->findChildById(QStringLiteral("message-audit-rules")),
                                         1);
        QVERIFY(models.current.setData(rules, QString(QLatin1String("")), Qt::EditRole));
        QVERIFY(!models.current.differsFrom(models.saved));
    }

    void headersAndReset()
    {
        CheckableTreeModel model;
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Type"));
        QCOMPARE(model.columnCount(), 3);
        QSignalSpy reset(&model, &CheckableTreeModel::modelReset);
        model.setRoot(sampleTree());
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Value"));
        QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
        QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
        QVERIFY(!model.setData(QModelIndex(), 1, Qt::EditRole));
        QVERIFY(!model.data(QModelIndex()).isValid());
    }
};

Q_DECLARE_METATYPE(Mutation)

QTEST_MAIN(CheckableTreeModelTest)
#include "checkabletreemodeltest.moc"
