#include "model/eventtreeitem.h"

#include <QTest>

#include <functional>
#include <vector>

namespace
{
std::unique_ptr<TreeItem> node(const QString &kind, const QVariant &name = QVariant(), const QVariant &value = QVariant())
{
    return std::make_unique<TreeItem>(QVector<QVariant>{kind, name, value});
}

// A syslog-ng tree of statements given as "kind:name" (or "log:dst1+dst2" for a
// log statement with destination options).
std::unique_ptr<TreeItem> syslogTree(const QStringList &statements)
{
    auto root = node(QStringLiteral("Parameter"), QStringLiteral("Name"), QStringLiteral("Value"));
    for (const QString &statement : statements) {
        const QString kind = statement.section(QLatin1Char(':'), 0, 0);
        const QString name = statement.section(QLatin1Char(':'), 1);
        if (kind == QLatin1String("log")) {
            auto log = node(kind);
            const auto destinations = name.split(QLatin1Char('+'), Qt::SkipEmptyParts);
            for (const QString &destination : destinations) {
                log->appendChild(node(QStringLiteral("destination"), QVariant(), destination));
            }
            root->appendChild(std::move(log));
        } else {
            root->appendChild(node(kind, name));
        }
    }
    return root;
}

QStringList statements(const TreeItem *root)
{
    QStringList result;
    for (int row = 0; row < root->childCount(); ++row) {
        const TreeItem *child = root->child(row);
        QString text = child->data(0).toString() + QLatin1Char(':') + child->data(1).toString();
        QStringList options;
        for (int option = 0; option < child->childCount(); ++option) {
            options << child->child(option)->data(2).toString();
        }
        result << text + options.join(QLatin1Char('+'));
    }
    return result;
}

std::unique_ptr<EventTreeItem> eventItem(const QString &id, int kind, bool checkable, int state)
{
    auto item = std::make_unique<EventTreeItem>(QVector<QVariant>{id, QVariant()});
    item->setId(id);
    item->setKind(kind);
    item->setCheckable(checkable);
    item->setCheckState(state);
    return item;
}

// Every small field of an event node with its largest value; all of them
// share one packed word of the node's content.
struct SmallField {
    const char *name;
    int largest;
    std::function<int(const EventTreeItem &)> get;
    std::function<void(EventTreeItem &, int)> set;
};

template<typename Getter, typename Setter>
SmallField flagField(const char *name, Getter get, Setter set)
{
    return {name,
            1,
            [get](const EventTreeItem &item) {
                return int((item.*get)());
            },
            [set](EventTreeItem &item, int value) {
                (item.*set)(value != 0);
            }};
}

const std::vector<SmallField> &smallFields()
{
    static const std::vector<SmallField> fields{
        {"checkState", Qt::Checked, &EventTreeItem::checkState, &EventTreeItem::setCheckState},
        {"notificationState",
         EventTreeItem::NotificationsEdited,
         [](const EventTreeItem &item) {
             return int(item.notificationState());
         },
         [](EventTreeItem &item, int value) {
             item.setNotificationState(EventTreeItem::NotificationState(value));
         }},
        {"kind", EventTreeItem::ObjectListParameter, &EventTreeItem::kind, &EventTreeItem::setKind},
        {"valueKind",
         int(ParameterValue::Kind::Boolean),
         [](const EventTreeItem &item) {
             return int(item.valueKind());
         },
         [](EventTreeItem &item, int value) {
             item.setValueKind(ParameterValue::Kind(value));
         }},
        flagField("checkable", &EventTreeItem::isCheckable, &EventTreeItem::setCheckable),
        flagField("editable", &EventTreeItem::isEditable, &EventTreeItem::setEditable),
        flagField("childrenEditable", &EventTreeItem::childrenEditable, &EventTreeItem::setChildrenEditable),
        flagField("visible", &EventTreeItem::isVisible, &EventTreeItem::setVisible),
        flagField("overlaid", &EventTreeItem::isOverlaid, &EventTreeItem::setOverlaid),
        flagField("notRedirected", &EventTreeItem::isNotRedirected, &EventTreeItem::setNotRedirected),
        flagField("generatesLoad", &EventTreeItem::generatesLoad, &EventTreeItem::setGeneratesLoad),
        flagField("hasAuditRules", &EventTreeItem::hasAuditRules, &EventTreeItem::setHasAuditRules),
        flagField("hasAuditEvents", &EventTreeItem::hasAuditEvents, &EventTreeItem::setHasAuditEvents),
    };
    return fields;
}
}

class TreeItemTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void boundsAreRespected()
    {
        auto root = node(QStringLiteral("a"), QStringLiteral("b"));
        root->appendChild(node(QStringLiteral("first")));
        root->appendChild(node(QStringLiteral("front")), true);
        QCOMPARE(root->child(0)->data(0).toString(), QStringLiteral("front"));
        QCOMPARE(root->child(-1), nullptr);
        QCOMPARE(root->child(root->childCount()), nullptr);
        QVERIFY(!root->data(root->columnCount()).isValid());
        QVERIFY(!root->setData(3, 1));
        QVERIFY(!root->setData(-1, 1));
        QCOMPARE(root->data(1).toString(), QStringLiteral("b"));
        QVERIFY(!root->removeChild(root->childCount()));
        QCOMPARE(root->childCount(), 2);
        QCOMPARE(root->row(), 0);
        QCOMPARE(root->child(1)->row(), 1);
        QVERIFY(root->removeChild(0));
        QCOMPARE(root->child(0)->row(), 0);
        QCOMPARE(root->child(0)->parentItem(), root.get());

        // A node whose parent does not list it.
        TreeItem orphan({QStringLiteral("x")}, root.get());
        QCOMPARE(orphan.row(), -1);
    }

    // The node keeps as many columns as it was last given.
    void columnsFollowTheLastValues()
    {
        TreeItem item({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        item.setItemData({QStringLiteral("x")});
        QCOMPARE(item.columnCount(), 1);
        QVERIFY(!item.data(1).isValid());
        QVERIFY(!item.setData(1, QStringLiteral("y")));
        item.setItemData({QStringLiteral("x"), QStringLiteral("y")});
        QCOMPARE(item.columnCount(), 2);
        QCOMPARE(item.data(1).toString(), QStringLiteral("y"));
        QVERIFY(!item.data(2).isValid());
    }

    void searchesArePreOrder()
    {
        auto root = node(QStringLiteral("root"));
        auto first = node(QStringLiteral("first"));
        first->appendChild(node(QStringLiteral("target"), QStringLiteral("deep")));
        root->appendChild(std::move(first));
        root->appendChild(node(QStringLiteral("target"), QStringLiteral("direct")));

        QCOMPARE(root->findItem(QStringLiteral("target"), 0)->data(1).toString(), QStringLiteral("deep"));
        QCOMPARE(root->findChildByText(QStringLiteral("target"))->data(1).toString(), QStringLiteral("direct"));
        // Direct children are not compared, only what lies below them.
        QCOMPARE(root->findItemBelowChildren(QStringLiteral("first"), 0), nullptr);
        QCOMPARE(root->findItemBelowChildren(QStringLiteral("target"), 0)->data(1).toString(), QStringLiteral("deep"));
        QCOMPARE(root->findItem(QStringLiteral("missing"), 0), nullptr);
    }

    void eventSearches()
    {
        auto root = eventItem(QStringLiteral("root"), EventTreeItem::Group, false, 0);
        auto group = eventItem(QStringLiteral("group"), EventTreeItem::Group, true, 0);
        auto event = eventItem(QStringLiteral("event"), EventTreeItem::Event, true, 0);
        event->appendChild(eventItem(QStringLiteral("param"), EventTreeItem::Parameter, false, 0));
        EventTreeItem *eventRaw = event.get();
        group->appendChild(std::move(event));
        root->appendChild(std::move(group));

        QCOMPARE(root->findById(QStringLiteral("param")), eventRaw->child(0));
        QCOMPARE(root->findChildById(QStringLiteral("event")), nullptr);
        QCOMPARE(eventRaw->child(0)->findInParent(QStringLiteral("event")), eventRaw);
        QCOMPARE(eventRaw->child(0)->findInParent(QStringLiteral("param")), eventRaw->child(0));
        QCOMPARE(root->findInParent(QStringLiteral("root")), nullptr);
    }

    void notificationState()
    {
        EventTreeItem item({QStringLiteral("x")});
        QVERIFY(!item.notificationsOn());
        item.setNotificationState(EventTreeItem::NotificationsEdited);
        QVERIFY(item.notificationsOn());
        registerNotificationStateType();
#if QT_VERSION_MAJOR >= 6
        QVERIFY(QMetaType::fromName("EventTreeItem::NotificationState").isValid());
#else
        QVERIFY(QMetaType::type("EventTreeItem::NotificationState") != QMetaType::UnknownType);
#endif
    }

    void smallFieldsKeepTheirOwnValues_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<bool>("othersLargest");
        for (int field = 0; field < int(smallFields().size()); ++field) {
            for (const bool othersLargest : {false, true}) {
                QTest::addRow("%s-others-%s", smallFields()[size_t(field)].name, othersLargest ? "largest" : "zero") << field << othersLargest;
            }
        }
    }

    // Each value of one field leaves every other field, the columns and a copy
    // sharing the content as they were.
    void smallFieldsKeepTheirOwnValues()
    {
        QFETCH(int, field);
        QFETCH(bool, othersLargest);
        const auto &fields = smallFields();
        EventTreeItem item({QStringLiteral("key"), QStringLiteral("value"), QStringLiteral("[1]")});
        for (const SmallField &other : fields) {
            other.set(item, othersLargest ? other.largest : 0);
        }
        const auto copy = item.clone();
        const SmallField &changed = fields[size_t(field)];
        for (int value = 0; value <= changed.largest; ++value) {
            changed.set(item, value);
            QCOMPARE(changed.get(item), value);
            for (const SmallField &other : fields) {
                if (&other != &changed) {
                    QCOMPARE(other.get(item), othersLargest ? other.largest : 0);
                }
                QCOMPARE(other.get(*copy), othersLargest ? other.largest : 0);
            }
            QCOMPARE(item.columnCount(), 3);
            QCOMPARE(item.data(2).toString(), QStringLiteral("[1]"));
        }
    }

    void addDestination_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("after-last-destination") << QStringList{QStringLiteral("source:src"),
                                                               QStringLiteral("destination:a"),
                                                               QStringLiteral("destination:b"),
                                                               QStringLiteral("log:a")}
                                                << QStringList{QStringLiteral("source:src"),
                                                               QStringLiteral("destination:a"),
                                                               QStringLiteral("destination:b"),
                                                               QStringLiteral("destination:new"),
                                                               QStringLiteral("log:a"),
                                                               QStringLiteral("log:velta_events_src+new")};
        QTest::newRow("before-first-log") << QStringList{QStringLiteral("source:src"), QStringLiteral("log:x")}
                                          << QStringList{QStringLiteral("source:src"),
                                                         QStringLiteral("destination:new"),
                                                         QStringLiteral("log:x"),
                                                         QStringLiteral("log:velta_events_src+new")};
        QTest::newRow("neither") << QStringList{QStringLiteral("source:src")}
                                 << QStringList{QStringLiteral("source:src"), QStringLiteral("destination:new"), QStringLiteral("log:velta_events_src+new")};
    }

    void addDestination()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        auto root = syslogTree(before);
        root->addDestination(node(QStringLiteral("destination"), QStringLiteral("new")));
        QCOMPARE(statements(root.get()), after);
        // The log statement's options: the event source, then the destination.
        const TreeItem *log = root->child(root->childCount() - 1);
        QCOMPARE(log->child(0)->data(0).toString(), QStringLiteral("source"));
        QVERIFY(!log->data(1).isValid());
    }

    void removeDestinationLogs_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<bool>("removed");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("unknown-name") << QStringList{QStringLiteral("destination:a"), QStringLiteral("log:a")} << false
                                      << QStringList{QStringLiteral("destination:a"), QStringLiteral("log:a")};
        QTest::newRow("adjacent-logs") << QStringList{QStringLiteral("log:x"), QStringLiteral("log:x"), QStringLiteral("log:a"), QStringLiteral("source:s")}
                                       << true << QStringList{QStringLiteral("log:a"), QStringLiteral("source:s")};
        // A statement shared with another destination keeps feeding that one.
        QTest::newRow("named-twice") << QStringList{QStringLiteral("log:x+x"), QStringLiteral("log:a+x"), QStringLiteral("destination:x")} << true
                                     << QStringList{QStringLiteral("log:a"), QStringLiteral("destination:x")};
        QTest::newRow("other-statement-without-destination-stays")
            << QStringList{QStringLiteral("log:"), QStringLiteral("log:x+b")} << true << QStringList{QStringLiteral("log:"), QStringLiteral("log:b")};
    }

    void removeDestinationLogs()
    {
        QFETCH(QStringList, before);
        QFETCH(bool, removed);
        QFETCH(QStringList, after);
        auto root = syslogTree(before);
        QCOMPARE(root->removeDestinationLogs(QStringLiteral("x")), removed);
        QCOMPARE(statements(root.get()), after);
    }

    void groupCheckState_data()
    {
        QTest::addColumn<QVector<int>>("children"); // -1: not checkable
        QTest::addColumn<int>("expected");
        QTest::newRow("all-checked") << QVector<int>{2, 2, -1} << 2;
        QTest::newRow("partial-child") << QVector<int>{2, 1, 2} << 1;
        QTest::newRow("some-checked") << QVector<int>{2, 0} << 1;
        QTest::newRow("none-checked") << QVector<int>{0, 0} << 0;
        QTest::newRow("no-checkable-child") << QVector<int>{-1, -1} << 0;
    }

    void groupCheckState()
    {
        QFETCH(QVector<int>, children);
        QFETCH(int, expected);
        auto group = eventItem(QStringLiteral("group"), EventTreeItem::Group, true, 2);
        for (int state : children) {
            group->appendChild(eventItem(QStringLiteral("e"), EventTreeItem::Event, state >= 0, qMax(state, 0)));
        }
        group->updateGroupCheckState();
        QCOMPARE(group->checkState(), expected);
        // Nothing below it to switch: no box.
        QCOMPARE(group->isCheckable(), children.contains(0) || children.contains(1) || children.contains(2));
    }

    void nestedGroupIsRecomputedFirst()
    {
        auto group = eventItem(QStringLiteral("group"), EventTreeItem::Group, true, 0);
        auto sub = eventItem(QStringLiteral("sub"), EventTreeItem::Group, true, 0);
        sub->appendChild(eventItem(QStringLiteral("a"), EventTreeItem::Event, true, 2));
        group->appendChild(std::move(sub));
        group->appendChild(eventItem(QStringLiteral("b"), EventTreeItem::Event, true, 2));
        group->updateGroupCheckState();
        QCOMPARE(group->child(0)->checkState(), 2);
        QCOMPARE(group->checkState(), 2);
    }

    void nestedFolderDoesNotCount()
    {
        // A nested group without events is unchecked, but its group follows its own events.
        auto group = eventItem(QStringLiteral("group"), EventTreeItem::Group, true, 0);
        auto sub = eventItem(QStringLiteral("sub"), EventTreeItem::Group, true, 2);
        sub->appendChild(eventItem(QStringLiteral("deeper"), EventTreeItem::Group, true, 0));
        group->appendChild(std::move(sub));
        group->appendChild(eventItem(QStringLiteral("a"), EventTreeItem::Event, true, 2));
        group->updateGroupCheckState();
        QCOMPARE(group->child(0)->checkState(), 0);
        QVERIFY(!group->child(0)->isCheckable());
        QVERIFY(!group->child(0)->child(0)->isCheckable());
        QCOMPARE(group->checkState(), 2);
        QCOMPARE(group->child(0)->checkStateOfChildren(), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TreeItemTest)
#include "treeitemtest.moc"
