#include "model/singleeventsparser.h"
#include "eventtrees.h"
#include "model/eventtreeitem.h"
#include "model/notifiedevents.h"
#include "platform/paths.h"
#include "testroot.h"

#include <QTest>

namespace
{
const QString Group = QStringLiteral("grp");
const QString NoValue = QStringLiteral("<none>");

QStringList ids(const QVector<EventTreeItem *> &items)
{
    QStringList result;
    for (const EventTreeItem *item : items) {
        result.append(item->id());
    }
    return result;
}
}

class SingleEventsParserTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void sampleGroups();
    void sampleParameters_data();
    void sampleParameters();
    void sampleEventMarks();
    void merge_data();
    void merge();
    void eventFiles_data();
    void eventFiles();
    void groupNames_data();
    void groupNames();
    void dependencies_data();
    void dependencies();

private:
    // The dictionary is read once per process: the sample's, from this root.
    std::unique_ptr<TestRoot> m_sample;
    std::unique_ptr<EventTreeItem> m_tree;
};

void SingleEventsParserTest::initTestCase()
{
    m_sample = std::make_unique<TestRoot>();
    m_sample->copySampleSystem();
    m_sample->writeFile(Paths::PerEventFilePrefix + QStringLiteral("user-login-failed.conf"), QByteArray("# notify\n"));
    NotifiedEvents::rebuild();
    m_tree = parseEvents();
}

void SingleEventsParserTest::sampleGroups()
{
    QCOMPARE(m_tree->columnCount(), 2);
    QCOMPARE(m_tree->data(0).toString(), QStringLiteral("Parameter"));
    QStringList groups;
    for (int row = 0; row < m_tree->childCount(); ++row) {
        groups.append(m_tree->child(row)->name());
        QCOMPARE(m_tree->child(row)->kind(), int(EventTreeItem::Group));
    }
    QCOMPARE(groups,
             QStringList({QStringLiteral("Authentication"),
                          QStringLiteral("Devices"),
                          QStringLiteral("File system"),
                          QStringLiteral("Software packages"),
                          QStringLiteral("Privilege use"),
                          QStringLiteral("Services"),
                          QStringLiteral("System")}));

    const EventTreeItem *network = m_tree->findById(Paths::EventSettingsDir + QStringLiteral("/devices/network"));
    QVERIFY(network);
    QCOMPARE(network->data(0).toString(), QStringLiteral("Network interfaces"));
    QCOMPARE(network->childCount(), 2);
    QCOMPARE(network->child(0)->id(), QStringLiteral("network-interface-down"));

    // Events of a group follow in name order; the group file is not an event.
    const EventTreeItem *authentication = m_tree->child(0);
    QCOMPARE(ids({authentication->child(0), authentication->child(1), authentication->child(4)}),
             QStringList({QStringLiteral("password-changed"), QStringLiteral("session-locked"), QStringLiteral("user-logout")}));
    QCOMPARE(authentication->childCount(), 5);

    int events = 0;
    // The root is not an event.
    for (const QString &line : dump(m_tree.get()).mid(1)) {
        events += line.contains(QLatin1String("|kind 1|"));
    }
    QCOMPARE(events, 34);

    // One unchecked event makes its group partly checked; the settings file unchecks a USB event.
    QCOMPARE(authentication->checkState(), int(Qt::PartiallyChecked));
    QCOMPARE(m_tree->findById(Paths::EventSettingsDir + QStringLiteral("/services"))->checkState(), int(Qt::Checked));
    QCOMPARE(itemAt(m_tree.get(), {QStringLiteral("usb-device-connected")})->checkState(), int(Qt::Unchecked));
    QCOMPARE(itemAt(m_tree.get(), {QStringLiteral("file-opened")})->checkState(), int(Qt::Checked));
}

void SingleEventsParserTest::sampleParameters_data()
{
    QTest::addColumn<QStringList>("path");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("editable");
    QTest::addColumn<bool>("overlaid");

    QTest::newRow("synthesised-enabled") << QStringList{QStringLiteral("user-login"), QStringLiteral("enabled")} << 2 << QStringLiteral("1") << false << false
                                         << true;
    QTest::newRow("package-enabled-kept") << QStringList{QStringLiteral("session-locked"), QStringLiteral("enabled")} << 2 << QStringLiteral("0") << false
                                          << false << false;
    QTest::newRow("enabled-from-settings") << QStringList{QStringLiteral("file-opened"), QStringLiteral("enabled")} << 2 << QStringLiteral("1") << false
                                           << false << true;
    QTest::newRow("overlay-entry-hidden") << QStringList{QStringLiteral("user-login"), QStringLiteral("overlay0")} << 2 << QStringLiteral("enabled") << false
                                          << true << false;
    QTest::newRow("list-from-settings") << QStringList{QStringLiteral("file-opened"), QStringLiteral("filter-values"), QStringLiteral(".auditd.key")} << 3
                                        << QStringLiteral("/etc/shadow, /etc/gshadow") << true << true << true;
    QTest::newRow("children-editable-reaches-children")
        << QStringList{QStringLiteral("file-opened"), QStringLiteral("filter-values"), QStringLiteral(".auditd.type")} << 2 << QStringLiteral("PATH") << true
        << true << false;
    QTest::newRow("labels-not-editable") << QStringList{QStringLiteral("user-login"), QStringLiteral("message-params"), QStringLiteral("user")} << 2
                                         << QStringLiteral("&User") << true << false << false;
    QTest::newRow("no-dictionary-entry-editable") << QStringList{QStringLiteral("disk-space-low"), QStringLiteral("message-params"), QStringLiteral("free")}
                                                  << 2 << QStringLiteral("&Free space") << true << true << false;
    QTest::newRow("list-of-objects") << QStringList{QStringLiteral("disk-space-low"), QStringLiteral("directories")} << 4 << QStringLiteral("/, /var/log")
                                     << true << true << false;
    QTest::newRow("number") << QStringList{QStringLiteral("disk-space-low"), QStringLiteral("check_interval")} << 2 << QStringLiteral("60") << true << true
                            << false;
    QTest::newRow("nested-from-settings") << QStringList{QStringLiteral("user-login-failed"),
                                                         QStringLiteral("notification_repetition"),
                                                         QStringLiteral("interval")}
                                          << 2 << QStringLiteral("60") << true << true << true;
    QTest::newRow("list-of-strings") << QStringList{QStringLiteral("sudo-command"), QStringLiteral("message-audit-events")} << 3 << QStringLiteral("exec, uid")
                                     << true << false << false;
    QTest::newRow("synthesised-audit-keys") << QStringList{QStringLiteral("file-removal"), QStringLiteral("filter-values"), QStringLiteral(".auditd.key")} << 3
                                            << QStringLiteral("/etc/passwd, /etc/group") << true << true << false;
}

void SingleEventsParserTest::sampleParameters()
{
    QFETCH(QStringList, path);
    const EventTreeItem *item = itemAt(m_tree.get(), path);
    QVERIFY(item);
    QFETCH(int, kind);
    QCOMPARE(item->kind(), kind);
    QFETCH(QString, value);
    QCOMPARE(item->data(1).toString(), value);
    QFETCH(bool, visible);
    QCOMPARE(item->isVisible(), visible);
    QFETCH(bool, editable);
    QCOMPARE(item->isEditable(), editable);
    QFETCH(bool, overlaid);
    QCOMPARE(item->isOverlaid(), overlaid);
    QVERIFY(!item->isCheckable());
}

void SingleEventsParserTest::sampleEventMarks()
{
    auto event = [this](const char *id) {
        return itemAt(m_tree.get(), {QLatin1String(id)});
    };
    QCOMPARE(event("user-login-failed")->data(0).toString(), QStringLiteral("Failed user login"));
    QCOMPARE(event("user-login-failed")->columnCount(), 3);
    QVERIFY(event("user-login-failed")->isCheckable());

    QCOMPARE(ids(event("user-login-failed")->dependsOn()), QStringList{QStringLiteral("user-login")});
    QCOMPARE(ids(event("usb-device-connected")->dependsOn()), QStringList{QStringLiteral("usb-device-disconnected")});
    QCOMPARE(ids(event("usb-device-connected")->dependents()), QStringList({QStringLiteral("storage-mounted"), QStringLiteral("usb-device-disconnected")}));

    QVERIFY(event("file-opened")->generatesLoad());
    QVERIFY(event("kernel-module-loaded")->generatesLoad());
    QVERIFY(!event("user-login")->generatesLoad());
    QVERIFY(event("system-shutdown")->isNotRedirected());
    QVERIFY(!event("service-failed")->isNotRedirected());

    QVERIFY(event("modifying-file")->hasAuditRules());
    QVERIFY(itemAt(m_tree.get(), {QStringLiteral("modifying-file"), QStringLiteral("filter-values"), QStringLiteral(".auditd.key")})->hasAuditRules());
    QVERIFY(event("sudo-command")->hasAuditEvents());
    const EventTreeItem *filterValues = itemAt(m_tree.get(), {QStringLiteral("file-removal"), QStringLiteral("filter-values")});
    QCOMPARE(filterValues->child(filterValues->childCount() - 1)->id(), QStringLiteral(".auditd.key"));
    QVERIFY(filterValues->child(filterValues->childCount() - 1)->hasAuditRules());

    QCOMPARE(event("user-login-failed")->notificationState(), EventTreeItem::NotificationsEnabled);
    QCOMPARE(event("user-login")->notificationState(), EventTreeItem::NotificationsOff);
}

void SingleEventsParserTest::merge_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<QByteArray>("current");
    QTest::addColumn<QStringList>("path");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("overlaid");
    QTest::addColumn<int>("eventState");

    const QByteArray withParams = R"({"message-params": {"user": "&User"}})";
    QTest::newRow("enabled-synthesised") << withParams << QByteArray() << QStringList{QStringLiteral("enabled")} << QStringLiteral("1") << true << 2;
    QTest::newRow("own-enabled-kept") << QByteArray(R"({"enabled": 0, "message-params": {}})") << QByteArray() << QStringList{QStringLiteral("enabled")}
                                      << QStringLiteral("0") << false << 0;
    QTest::newRow("settings-disable") << withParams << QByteArray(R"({"ev": {"enabled": "0"}})") << QStringList{QStringLiteral("enabled")}
                                      << QStringLiteral("0") << true << 0;
    QTest::newRow("settings-add-key") << QByteArray(R"({"enabled": 1})") << QByteArray(R"({"ev": {"extra": "x"}})") << QStringList{QStringLiteral("extra")}
                                      << QStringLiteral("x") << true << 2;
    QTest::newRow("overlay-entry-names-key") << QByteArray(R"({"enabled": 1})") << QByteArray(R"({"ev": {"extra": "x"}})")
                                             << QStringList{QStringLiteral("overlay1")} << QStringLiteral("extra") << false << 2;
    QTest::newRow("nested-merge-changed") << QByteArray(R"({"enabled": 1, "f": {"a": "1", "b": "2"}})") << QByteArray(R"({"ev": {"f": {"b": "3"}}})")
                                          << QStringList{QStringLiteral("f"), QStringLiteral("b")} << QStringLiteral("3") << true << 2;
    QTest::newRow("nested-merge-kept") << QByteArray(R"({"enabled": 1, "f": {"a": "1", "b": "2"}})") << QByteArray(R"({"ev": {"f": {"b": "3"}}})")
                                       << QStringList{QStringLiteral("f"), QStringLiteral("a")} << QStringLiteral("1") << false << 2;
    QTest::newRow("whole-object-from-settings") << QByteArray(R"({"enabled": 1})") << QByteArray(R"({"ev": {"r": {"enabled": "1", "interval": "5"}}})")
                                                << QStringList{QStringLiteral("r"), QStringLiteral("interval")} << QStringLiteral("5") << true << 2;
    QTest::newRow("malformed-settings-ignored") << QByteArray(R"({"enabled": 1, "k": "v"})") << QByteArray(R"({"ev": {"k": "w")")
                                                << QStringList{QStringLiteral("k")} << QStringLiteral("v") << false << 2;
}

void SingleEventsParserTest::merge()
{
    QFETCH(QByteArray, current);
    TestRoot root;
    QFETCH(QByteArray, package);
    writeEvent(root, Group, QStringLiteral("ev"), package);
    if (!current.isEmpty()) {
        root.writeFile(Paths::EventsFile, current);
    }
    const auto tree = parseEvents();
    const EventTreeItem *event = tree->findById(QStringLiteral("ev"));
    QVERIFY(event);
    QFETCH(QStringList, path);
    const EventTreeItem *item = itemAt(event, path);
    QVERIFY(item);
    QFETCH(QString, value);
    QCOMPARE(item->data(1).toString(), value);
    QFETCH(bool, overlaid);
    QCOMPARE(item->isOverlaid(), overlaid);
    QFETCH(int, eventState);
    QCOMPARE(event->checkState(), eventState);
}

void SingleEventsParserTest::eventFiles_data()
{
    QTest::addColumn<QStringList>("files"); // directory/file, relative to the package
    QTest::addColumn<QStringList>("expected"); // group directory name:event id, in tree order

    QTest::newRow("group-file-not-event") << QStringList{QStringLiteral("grp/grp"), QStringLiteral("grp/ev")} << QStringList{QStringLiteral("grp:ev")};
    QTest::newRow("top-level-file-ignored") << QStringList{QStringLiteral("ev"), QStringLiteral("grp/other")} << QStringList{QStringLiteral("grp:other")};
    QTest::newRow("nested-group-holds-events") << QStringList{QStringLiteral("grp/sub/ev")} << QStringList{QStringLiteral("sub:ev")};
    QTest::newRow("first-of-a-name-kept") << QStringList{QStringLiteral("b/ev"), QStringLiteral("a/ev")} << QStringList{QStringLiteral("a:ev")};
    QTest::newRow("name-order") << QStringList{QStringLiteral("grp/zeta"), QStringLiteral("grp/alpha"), QStringLiteral("grp/Mid")}
                                << QStringList{QStringLiteral("grp:Mid"), QStringLiteral("grp:alpha"), QStringLiteral("grp:zeta")};
}

void SingleEventsParserTest::eventFiles()
{
    QFETCH(QStringList, files);
    TestRoot root;
    for (const QString &file : files) {
        root.writeFile(Paths::EventSettingsDir + QLatin1Char('/') + file, QByteArray(R"({"enabled": 1})"));
    }
    // Files that hold no event object are skipped.
    root.writeFile(Paths::EventSettingsDir + QStringLiteral("/grp/broken"), QByteArray("{"));
    root.writeFile(Paths::EventSettingsDir + QStringLiteral("/grp/empty"), QByteArray("{}"));
    root.writeFile(Paths::EventSettingsDir + QStringLiteral("/grp/blank"), QByteArray());

    const auto tree = parseEvents();
    QStringList found;
    for (const QString &line : dump(tree.get()).mid(1)) {
        if (line.contains(QLatin1String("|kind 1|"))) {
            const EventTreeItem *event = tree->findById(line.trimmed().section(QLatin1Char('|'), 0, 0));
            found.append(event->parentItem()->id().section(QLatin1Char('/'), -1) + QLatin1Char(':') + event->id());
        }
    }
    QFETCH(QStringList, expected);
    QCOMPARE(found, expected);
}

void SingleEventsParserTest::groupNames_data()
{
    QTest::addColumn<QByteArray>("groupFile"); // empty: none
    QTest::addColumn<QString>("name");

    QTest::newRow("no-group-file") << QByteArray() << QStringLiteral("my group");
    QTest::newRow("malformed") << QByteArray("{ \"group-params\": ") << QStringLiteral("my group");
    QTest::newRow("no-group-params") << QByteArray(R"({"name_en": "Other"})") << QStringLiteral("my group");
    QTest::newRow("english-name") << QByteArray(R"({"group-params": {"name_en": "Logins", "name_ru": "Входы"}})") << QStringLiteral("Logins");
    QTest::newRow("only-russian-name") << QByteArray(R"({"group-params": {"name_ru": "Входы"}})") << QStringLiteral("my group");
}

void SingleEventsParserTest::groupNames()
{
    QFETCH(QByteArray, groupFile);
    const QString dir = Paths::EventSettingsDir + QStringLiteral("/ my  group ");
    TestRoot root;
    root.writeFile(dir + QStringLiteral("/ev"), QByteArray(R"({"enabled": 1})"));
    if (!groupFile.isEmpty()) {
        root.writeFile(dir + QStringLiteral("/ my  group "), groupFile);
    }
    const auto tree = parseEvents();
    QCOMPARE(tree->childCount(), 1);
    QFETCH(QString, name);
    QCOMPARE(tree->child(0)->data(0).toString(), name);
    QCOMPARE(tree->child(0)->id(), dir);
    QCOMPARE(tree->child(0)->childCount(), 1);
}

void SingleEventsParserTest::dependencies_data()
{
    QTest::addColumn<QString>("dependsOfA");
    QTest::addColumn<QString>("dependsOfB");
    QTest::addColumn<QStringList>("dependsOnA");
    QTest::addColumn<QStringList>("dependentsOfA");

    QTest::newRow("mutual") << QStringLiteral("b") << QStringLiteral("a") << QStringList{QStringLiteral("b")} << QStringList{QStringLiteral("b")};
    QTest::newRow("unknown-event-ignored") << QStringLiteral("nope") << QString() << QStringList() << QStringList();
    QTest::newRow("list-with-spaces") << QStringLiteral(" b , c,") << QString() << QStringList({QStringLiteral("b"), QStringLiteral("c")}) << QStringList();
    QTest::newRow("self-and-repeats") << QStringLiteral("a,b,b") << QStringLiteral("a") << QStringList{QStringLiteral("b")} << QStringList{QStringLiteral("b")};
}

void SingleEventsParserTest::dependencies()
{
    TestRoot root;
    auto event = [&root](const char *id, const QString &depends) {
        QByteArray json = R"({"enabled": 1)";
        if (!depends.isEmpty()) {
            json += R"(, "message-depends": ")" + depends.toUtf8() + '"';
        }
        writeEvent(root, Group, QLatin1String(id), json + '}');
    };
    QFETCH(QString, dependsOfA);
    event("a", dependsOfA);
    QFETCH(QString, dependsOfB);
    event("b", dependsOfB);
    event("c", QString());
    const auto tree = parseEvents();
    const EventTreeItem *a = tree->findById(QStringLiteral("a"));
    QFETCH(QStringList, dependsOnA);
    QCOMPARE(ids(a->dependsOn()), dependsOnA);
    QFETCH(QStringList, dependentsOfA);
    QCOMPARE(ids(a->dependents()), dependentsOfA);
    for (const EventTreeItem *target : a->dependsOn()) {
        QVERIFY(target->dependents().contains(const_cast<EventTreeItem *>(a)));
    }
}

QTEST_GUILESS_MAIN(SingleEventsParserTest)
#include "singleeventsparsertest.moc"
