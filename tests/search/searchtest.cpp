#include "eventtreebuilder.h"
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "plugin/eventfinder.h"
#include "plugin/eventsproxymodel.h"
#include "plugin/tooltipper.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>

namespace
{
const QString LongRules = QStringLiteral(
    "-w /etc/passwd -p wa -k /etc/passwd, -w /etc/shadow -p wa -k /etc/shadow, -w /etc/group -p wa -k /etc/group, "
    "-w /etc/gshadow -p wa -k /etc/gshadow, -w /etc/sudoers -p wa -k /etc/sudoers");

EventTreeItem *addEvent(EventTreeItem *group, const QString &name, const QString &messageId)
{
    EventTreeItem *event = addTreeItem(group, name, EventTreeItem::Event);
    addTreeItem(event, QStringLiteral("message_id"), EventTreeItem::Parameter, messageId);
    addTreeItem(event, QStringLiteral("overlay0"), EventTreeItem::Parameter, QStringLiteral("enabled"))->setVisible(false);
    return event;
}

// "USB connected" with a hidden parameter that has a child of its own.
EventTreeItem *addEventWithHiddenOverlay(EventTreeItem *group)
{
    EventTreeItem *connected = addEvent(group, QStringLiteral("USB connected"), QStringLiteral("usb_added"));
    EventTreeItem *hidden = addTreeItem(connected, QStringLiteral("overlay"), EventTreeItem::Parameter);
    hidden->setVisible(false);
    addTreeItem(hidden, QStringLiteral("enabled"), EventTreeItem::Parameter, 1);
    return connected;
}
}

class SearchTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void filter_data();
    void filter();
    void filterAtAnyDepth_data();
    void filterAtAnyDepth();
    void childrenAsRowsShow_data();
    void childrenAsRowsShow();
    void noMatchPaintsRed();
    void stepping_data();
    void stepping();
    void toolTips_data();
    void toolTips();
    void nextClosedAtLastMatch();
    void clearingKeepsExpansion();
    void untickedEventKeepsArrow();

private:
    // "Group(event,event);Group()" as the view shows it.
    QString shownTree() const;
    // Every row the view can show below parent: "Name(child,child)".
    QString shownRows(const QModelIndex &parent = QModelIndex()) const;
    QString selectedName() const;
    // The rows below parent whose children answer differs from the rows shown.
    QStringList wrongChildrenAnswers(const QModelIndex &parent = QModelIndex()) const;
    QModelIndex proxyIndexOf(const QString &name) const;

    std::unique_ptr<QTreeView> m_view;
    CheckableTreeModel *m_model = nullptr; // Owned by m_view.
    EventsProxyModel *m_proxy = nullptr; // Owned by m_view.
    EventFinder *m_finder = nullptr; // Owned by m_view.
};

void SearchTest::init()
{
    m_view = std::make_unique<QTreeView>();
    m_model = new CheckableTreeModel(m_view.get());
    auto root = std::make_unique<EventTreeItem>(QVector<QVariant>{QStringLiteral("Parameter"), QStringLiteral("Value")});
    EventTreeItem *auth = addTreeItem(root.get(), QStringLiteral("Authentication"), EventTreeItem::Group);
    EventTreeItem *login = addEvent(auth, QStringLiteral("User login"), QStringLiteral("user_login"));
    // Parameters shown by their names, as the dictionary gives them, for the
    // tests of what a row says; the others count the rows of this tree.
    const QByteArray test = QTest::currentTestFunction();
    if (test == "toolTips" || test == "untickedEventKeepsArrow") {
        EventTreeItem *interval = addTreeItem(login, QStringLiteral("Check interval"), EventTreeItem::Parameter, 60);
        interval->setId(QStringLiteral("check_interval"));
        login->setCheckable(true);
        addTreeItem(login, QStringLiteral("Audit rules"), EventTreeItem::Parameter, LongRules)->setId(QStringLiteral("message-audit-rules"));
    }
    addEvent(auth, QStringLiteral("Failed login"), QStringLiteral("user_login_failed"));
    EventTreeItem *devices = addTreeItem(root.get(), QStringLiteral("Devices"), EventTreeItem::Group);
    EventTreeItem *connected = addEvent(devices, QStringLiteral("USB connected"), QStringLiteral("usb_added"));
    connected->setGeneratesLoad(true);
    connected->setNotificationState(EventTreeItem::NotificationsEnabled);
    addEvent(devices, QStringLiteral("USB removed"), QStringLiteral("usb_removed"))->setNotificationState(EventTreeItem::NotificationsEdited);
    addTreeItem(root.get(), QStringLiteral("Storage"), EventTreeItem::Group);
    m_model->setRoot(root.release());

    m_proxy = new EventsProxyModel(m_view.get());
    m_proxy->setFilterRole(CheckableTreeModel::VisibleRole);
    m_proxy->setSourceModel(m_model);
    new QAbstractItemModelTester(m_proxy, QAbstractItemModelTester::FailureReportingMode::QtTest, m_proxy);
    m_view->setModel(m_proxy);
    m_view->viewport()->installEventFilter(new ToolTipper(m_view.get()));
    m_finder = new EventFinder(m_view.get(), m_model, m_proxy, m_view.get());
}

void SearchTest::cleanup()
{
    m_view.reset();
}

QString SearchTest::shownTree() const
{
    QStringList groups;
    for (int row = 0; row < m_proxy->rowCount(); ++row) {
        const QModelIndex group = m_proxy->index(row, 0);
        QStringList events;
        for (int child = 0; child < m_proxy->rowCount(group); ++child) {
            const QModelIndex event = m_proxy->index(child, 0, group);
            events << event.data().toString() + QLatin1Char('[') + QString::number(m_proxy->rowCount(event)) + QLatin1Char(']');
        }
        groups << group.data().toString() + QLatin1Char('(') + events.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    return groups.join(QLatin1Char(';'));
}

QString SearchTest::shownRows(const QModelIndex &parent) const
{
    QStringList rows;
    for (int row = 0; row < m_proxy->rowCount(parent); ++row) {
        const QModelIndex index = m_proxy->index(row, 0, parent);
        const QString below = shownRows(index);
        rows << index.data().toString() + (below.isEmpty() ? QString() : QLatin1Char('(') + below + QLatin1Char(')'));
    }
    return rows.join(QLatin1Char(','));
}

QStringList SearchTest::wrongChildrenAnswers(const QModelIndex &parent) const
{
    QStringList wrong;
    for (int row = 0; row < m_proxy->rowCount(parent); ++row) {
        for (int column = 0; column < m_proxy->columnCount(parent); ++column) {
            const QModelIndex index = m_proxy->index(row, column, parent);
            if (m_proxy->hasChildren(index) != (m_proxy->rowCount(index) > 0)) {
                wrong << index.siblingAtColumn(0).data().toString() + QLatin1Char('/') + QString::number(column);
            }
        }
        wrong << wrongChildrenAnswers(m_proxy->index(row, 0, parent));
    }
    return wrong;
}

QString SearchTest::selectedName() const
{
    const QModelIndexList selected = m_view->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QString() : selected.first().siblingAtColumn(0).data().toString();
}

QModelIndex SearchTest::proxyIndexOf(const QString &name) const
{
    const QModelIndexList found = m_proxy->match(m_proxy->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchRecursive | Qt::MatchExactly);
    return found.value(0);
}

void SearchTest::filter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    // Each event shows its one visible parameter; the hidden overlay entry stays out.
    QTest::newRow("empty") << QString() << "Authentication(User login[1],Failed login[1]);Devices(USB connected[1],USB removed[1]);Storage()";
    QTest::newRow("group-name-shows-all-its-events") << "auth"
                                                     << "Authentication(User login[1],Failed login[1])";
    QTest::newRow("event-name-shows-event-and-group") << "failed"
                                                      << "Authentication(Failed login[1])";
    QTest::newRow("case-insensitive") << "LOGIN"
                                      << "Authentication(User login[1],Failed login[1])";
    QTest::newRow("group-without-events") << "stor"
                                          << "Storage()";
    QTest::newRow("several-groups") << "t"
                                    << "Authentication(User login[1],Failed login[1]);Devices(USB connected[1]);Storage()";
}

void SearchTest::filter()
{
    QFETCH(QString, text);
    m_finder->findChild<QLineEdit *>(QStringLiteral("eventSearch"))->setText(text);
    QTEST(shownTree(), "shown");
}

void SearchTest::filterAtAnyDepth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("event-in-nested-group") << "attached"
                                           << "Devices(Hubs(Hub attached(message_id)))";
    QTest::newRow("nested-group-name") << "port g"
                                       << "Devices(Hubs(Port groups(Port reset(message_id))))";
    // Parameters show with their event only, and never below a hidden one.
    QTest::newRow("event-with-its-parameters") << "usb"
                                               << "Devices(USB connected(message_id))";
    QTest::newRow("group-name-shows-its-own-events") << "devices"
                                                     << "Devices(USB connected(message_id))";
    QTest::newRow("no-match") << "printer"
                              << "";
}

void SearchTest::filterAtAnyDepth()
{
    auto root = std::make_unique<EventTreeItem>(QVector<QVariant>{QStringLiteral("Parameter"), QStringLiteral("Value")});
    EventTreeItem *devices = addTreeItem(root.get(), QStringLiteral("Devices"), EventTreeItem::Group);
    addEventWithHiddenOverlay(devices);
    EventTreeItem *hubs = addTreeItem(devices, QStringLiteral("Hubs"), EventTreeItem::Group);
    addEvent(hubs, QStringLiteral("Hub attached"), QStringLiteral("hub_added"));
    addEvent(addTreeItem(hubs, QStringLiteral("Port groups"), EventTreeItem::Group), QStringLiteral("Port reset"), QStringLiteral("port_reset"));
    m_model->setRoot(root.release());

    QFETCH(QString, text);
    m_finder->findChild<QLineEdit *>(QStringLiteral("eventSearch"))->setText(text);
    QTEST(shownRows(), "shown");
}

void SearchTest::childrenAsRowsShow_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("no-text") << QString();
    QTest::newRow("event-name") << "usb";
    QTest::newRow("group-name") << "devices";
    QTest::newRow("nested-event") << "attached";
    QTest::newRow("no-match") << "printer";
}

// Whether a row has children is answered without filtering them; the answer
// must be what the filtered rows show, hidden parameters and all.
void SearchTest::childrenAsRowsShow()
{
    auto root = std::make_unique<EventTreeItem>(QVector<QVariant>{QStringLiteral("Parameter"), QStringLiteral("Value")});
    EventTreeItem *devices = addTreeItem(root.get(), QStringLiteral("Devices"), EventTreeItem::Group);
    EventTreeItem *connected = addEventWithHiddenOverlay(devices);
    EventTreeItem *repetition = addTreeItem(connected, QStringLiteral("repetition"), EventTreeItem::Parameter);
    addTreeItem(repetition, QStringLiteral("interval"), EventTreeItem::Parameter, 30)->setVisible(false);
    EventTreeItem *onlyHidden = addTreeItem(devices, QStringLiteral("USB hidden only"), EventTreeItem::Event);
    addTreeItem(onlyHidden, QStringLiteral("overlay0"), EventTreeItem::Parameter, QStringLiteral("enabled"))->setVisible(false);
    EventTreeItem *hubs = addTreeItem(devices, QStringLiteral("Hubs"), EventTreeItem::Group);
    addEvent(hubs, QStringLiteral("Hub attached"), QStringLiteral("hub_added"));
    addTreeItem(hubs, QStringLiteral("Empty hubs"), EventTreeItem::Group);
    m_model->setRoot(root.release());

    QFETCH(QString, text);
    m_finder->findChild<QLineEdit *>(QStringLiteral("eventSearch"))->setText(text);
    QCOMPARE(wrongChildrenAnswers(), QStringList());
    if (text.isEmpty()) {
        QVERIFY(!m_proxy->hasChildren(proxyIndexOf(QStringLiteral("USB hidden only"))));
        QVERIFY(!m_proxy->hasChildren(proxyIndexOf(QStringLiteral("repetition"))));
        QVERIFY(m_proxy->hasChildren(proxyIndexOf(QStringLiteral("USB connected"))));
    }
}

void SearchTest::noMatchPaintsRed()
{
    auto *search = m_finder->findChild<QLineEdit *>(QStringLiteral("eventSearch"));
    auto *prev = m_finder->findChild<QToolButton *>(QStringLiteral("searchPrev"));
    auto *next = m_finder->findChild<QToolButton *>(QStringLiteral("searchNext"));
    const QColor normal = search->palette().color(QPalette::WindowText);
    QVERIFY(!prev->isEnabled() && !next->isEnabled());
    QCOMPARE(prev->toolTip(), QStringLiteral("Previous match"));
    QCOMPARE(next->toolTip(), QStringLiteral("Next match"));

    search->setText(QStringLiteral("usb"));
    // At the first match: nothing before it.
    QVERIFY(!prev->isEnabled() && next->isEnabled());
    QCOMPARE(selectedName(), QStringLiteral("USB connected"));

    search->setText(QStringLiteral("no such event"));
    QVERIFY(!prev->isEnabled() && !next->isEnabled());
    QCOMPARE(search->palette().color(QPalette::Active, QPalette::Text), QColor(Qt::red));
    QCOMPARE(search->palette().color(QPalette::Inactive, QPalette::Text), QColor(Qt::red));

    search->clear();
    QVERIFY(!prev->isEnabled() && !next->isEnabled());
    QCOMPARE(search->palette().color(QPalette::Text), normal);
}

void SearchTest::stepping_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("steps"); // f forward, b back
    QTest::addColumn<QStringList>("selected"); // after the search, then after each step

    QTest::newRow("forward-across-groups") << "t"
                                           << "fff"
                                           << QStringList{QStringLiteral("User login"),
                                                          QStringLiteral("Failed login"),
                                                          QStringLiteral("USB connected"),
                                                          QStringLiteral("USB connected")}; // the last match: Next does nothing
    QTest::newRow("no-wrap-at-the-end") << "login"
                                        << "ff" << QStringList{QStringLiteral("User login"), QStringLiteral("Failed login"), QStringLiteral("Failed login")};
    QTest::newRow("no-wrap-at-the-start") << "login"
                                          << "b" << QStringList{QStringLiteral("User login"), QStringLiteral("User login")};
    QTest::newRow("back-across-groups") << "u"
                                        << "fffbbb"
                                        << QStringList{QStringLiteral("User login"),
                                                       QStringLiteral("Failed login"),
                                                       QStringLiteral("USB connected"),
                                                       QStringLiteral("USB removed"),
                                                       QStringLiteral("USB connected"),
                                                       QStringLiteral("Failed login"),
                                                       QStringLiteral("User login")};
}

void SearchTest::stepping()
{
    QFETCH(QString, text);
    QFETCH(QString, steps);
    QFETCH(QStringList, selected);
    m_finder->findChild<QLineEdit *>(QStringLiteral("eventSearch"))->setText(text);
    QStringList seen{selectedName()};
    for (const QChar step : steps) {
        m_finder->findChild<QToolButton *>(step == QLatin1Char('f') ? QStringLiteral("searchNext") : QStringLiteral("searchPrev"))->click();
        seen << selectedName();
    }
    QCOMPARE(seen, selected);
}

void SearchTest::toolTips_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("offset"); // from the left edge of the cell
    QTest::addColumn<QString>("expected");

    const QString load = QStringLiteral("This event generates a large volume of records in the logs");
    const QString notifications = QStringLiteral("Notifications are enabled for this event");
    QTest::newRow("both-marks-first") << "USB connected" << 0 << 40 << load;
    QTest::newRow("both-marks-second") << "USB connected" << 0 << 50 << notifications;
    QTest::newRow("both-marks-beyond-shows-identifier") << "USB connected" << 0 << 70 << "usb_added";
    QTest::newRow("notification-mark") << "USB removed" << 0 << 40 << notifications;
    QTest::newRow("notification-mark-beyond-shows-identifier") << "USB removed" << 0 << 50 << "usb_removed";
    QTest::newRow("no-mark-shows-identifier") << "User login" << 0 << 40 << "user_login";
    QTest::newRow("value-column-shows-identifier") << "USB connected" << 1 << 10 << "usb_added";
    QTest::newRow("group") << "Devices" << 0 << 40 << QString();
    QTest::newRow("named-parameter-shows-key") << "Check interval" << 0 << 10 << "check_interval";
    QTest::newRow("parameter-by-key-no-tip") << "message_id" << 0 << 10 << QString();
    QTest::newRow("value-cut-off-read-whole") << "Audit rules" << 1 << 10 << LongRules;
    QTest::newRow("value-fits-shows-key") << "Check interval" << 1 << 10 << "check_interval";
}

void SearchTest::toolTips()
{
    QFETCH(QString, row);
    QFETCH(int, column);
    QFETCH(int, offset);
    QFETCH(QString, expected);
    m_view->expandAll();
    m_view->resize(800, 400);
    m_view->header()->resizeSection(0, 300);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));

    const QModelIndex index = proxyIndexOf(row).siblingAtColumn(column);
    QVERIFY(index.isValid());
    const QRect rect = m_view->visualRect(index);
    const QPoint pos(rect.left() + offset, rect.center().y());
    QHelpEvent event(QEvent::ToolTip, pos, m_view->viewport()->mapToGlobal(pos));
    QCoreApplication::sendEvent(m_view->viewport(), &event);
    if (expected.isEmpty()) {
        QTRY_VERIFY(!QToolTip::isVisible());
    } else {
        QTRY_COMPARE(QToolTip::text(), expected);
        QVERIFY(QToolTip::isVisible());
    }
}

// Each way is open while there is a match that way, by button or by a match
// the administrator selected.
void SearchTest::nextClosedAtLastMatch()
{
    auto *prev = m_finder->findChild<QToolButton *>(QStringLiteral("searchPrev"));
    auto *next = m_finder->findChild<QToolButton *>(QStringLiteral("searchNext"));
    m_finder->findChild<QLineEdit *>(QStringLiteral("eventSearch"))->setText(QStringLiteral("login"));
    QCOMPARE(selectedName(), QStringLiteral("User login"));
    QVERIFY(!prev->isEnabled());
    QVERIFY(next->isEnabled());
    next->click();
    QCOMPARE(selectedName(), QStringLiteral("Failed login"));
    QVERIFY(prev->isEnabled());
    QVERIFY(!next->isEnabled());
    m_view->selectionModel()->select(proxyIndexOf(QStringLiteral("User login")), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(!prev->isEnabled());
    QVERIFY(next->isEnabled());

    // A single match: nowhere to step.
    m_finder->findChild<QLineEdit *>(QStringLiteral("eventSearch"))->setText(QStringLiteral("failed"));
    QCOMPARE(selectedName(), QStringLiteral("Failed login"));
    QVERIFY(!prev->isEnabled() && !next->isEnabled());
}

// The groups the administrator had open are open again once the search is
// cleared, and only those.
void SearchTest::clearingKeepsExpansion()
{
    m_view->collapseAll();
    m_view->expand(proxyIndexOf(QStringLiteral("Devices")));
    m_view->expand(proxyIndexOf(QStringLiteral("USB connected")));
    auto *search = m_finder->findChild<QLineEdit *>(QStringLiteral("eventSearch"));
    search->setText(QStringLiteral("l"));
    search->setText(QStringLiteral("login"));
    QVERIFY(m_view->isExpanded(proxyIndexOf(QStringLiteral("Authentication"))));
    search->clear();
    QVERIFY(m_view->isExpanded(proxyIndexOf(QStringLiteral("Devices"))));
    QVERIFY(m_view->isExpanded(proxyIndexOf(QStringLiteral("USB connected"))));
    QVERIFY(!m_view->isExpanded(proxyIndexOf(QStringLiteral("Authentication"))));
    QVERIFY(!m_view->isExpanded(proxyIndexOf(QStringLiteral("User login"))));
}

// Unticking an event changes its check box, not whether it can be opened.
void SearchTest::untickedEventKeepsArrow()
{
    m_view->expandAll();
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    const QPersistentModelIndex login = proxyIndexOf(QStringLiteral("User login"));
    m_view->collapse(login);
    for (const Qt::CheckState state : {Qt::Checked, Qt::Unchecked}) {
        QVERIFY(m_proxy->setData(login, state, Qt::CheckStateRole));
        QCOMPARE(login.data(Qt::CheckStateRole).toInt(), int(state));
        QVERIFY(m_proxy->hasChildren(login));
        QCOMPARE(shownRows(login), QStringLiteral("message_id,Check interval,Audit rules"));
        m_view->expand(login);
        QVERIFY(m_view->isExpanded(login));
        m_view->collapse(login);
    }
}

QTEST_MAIN(SearchTest)

#include "searchtest.moc"
