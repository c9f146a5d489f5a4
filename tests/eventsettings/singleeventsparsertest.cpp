#include "model/singleeventsparser.h"
#include "eventtrees.h"
#include "model/eventtreeitem.h"
#include "model/notifiedevents.h"
#include "platform/paths.h"
#include "testroot.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QThreadPool>

#include <algorithm>

namespace
{
QString ids(const QVector<EventTreeItem *> &items)
{
    QStringList result;
    for (const EventTreeItem *item : items) {
        result.append(item->id());
    }
    return result.join(QLatin1Char(','));
}

// Group directory:event id of every event, in tree order.
QStringList eventPlaces(const EventTreeItem *item)
{
    QStringList places;
    for (int row = 0; row < item->childCount(); ++row) {
        const EventTreeItem *child = item->child(row);
        if (child->kind() == EventTreeItem::Event) {
            places.append(item->id().section(QLatin1Char('/'), -1) + QLatin1Char(':') + child->id());
        } else if (child->kind() == EventTreeItem::Group) {
            places += eventPlaces(child);
        }
    }
    return places;
}

// The settings parsed on the given number of threads, compared with a parse on
// one thread: tree, problems and check states must be the same.
std::unique_ptr<EventTreeItem> parsedOnThreads(int threads, QString *errors)
{
    const int savedThreads = QThreadPool::globalInstance()->maxThreadCount();
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    SingleEventsParser reference(Paths::placed(Paths::EventsFile));
    const std::unique_ptr<EventTreeItem> expected(reference.parse());
    QThreadPool::globalInstance()->setMaxThreadCount(threads);
    SingleEventsParser parser(Paths::placed(Paths::EventsFile));
    std::unique_ptr<EventTreeItem> tree(parser.parse());
    QThreadPool::globalInstance()->setMaxThreadCount(savedThreads);
    *errors = parser.errorString();

    [&] {
        QCOMPARE(dump(tree.get()), dump(expected.get()));
        QCOMPARE(*errors, reference.errorString());
        QCOMPARE(checkStates(tree.get()), checkStates(expected.get()));
    }();
    return tree;
}
}

class SingleEventsParserTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void sampleTree();
    void sampleItems_data();
    void sampleItems();
    void merge_data();
    void merge();
    void eventFiles_data();
    void eventFiles();
    void groupNames_data();
    void groupNames();
    void dependencies_data();
    void dependencies();
    void sharedTextsStayApart();
    void sameTreeOnAnyNumberOfThreads_data();
    void sameTreeOnAnyNumberOfThreads();
    void sameGroupsOnAnyNumberOfThreads_data();
    void sameGroupsOnAnyNumberOfThreads();
    void marksFollowValues_data();
    void marksFollowValues();
    void namesLikeBookkeeping();
    void duplicateKeys_data();
    void duplicateKeys();

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

void SingleEventsParserTest::sampleTree()
{
    QCOMPARE(m_tree->data(0).toString(), QStringLiteral("Parameter"));
    QStringList groups;
    for (int row = 0; row < m_tree->childCount(); ++row) {
        groups.append(m_tree->child(row)->name());
    }
    QCOMPARE(groups.join(QLatin1Char(',')), QStringLiteral("Authentication,Devices,File system,Software packages,Privilege use,Services,System"));
    QCOMPARE(itemAt(m_tree.get(), Paths::EventSettingsDir + QStringLiteral("/devices/network"))->name(), QStringLiteral("Network interfaces"));
    const QStringList places = eventPlaces(m_tree.get());
    QCOMPARE(places.size(), 35);
    QCOMPARE(places.mid(0, 3).join(QLatin1Char(' ')),
             QStringLiteral("authentication:password-changed authentication:session-locked authentication:user-login"));
    QVERIFY(places.contains(QStringLiteral("devices:network-interface-up")));
    // The nested folder is a group by name only; the sample's events all lie
    // where events are read.
    QCOMPARE(itemAt(m_tree.get(), Paths::EventSettingsDir + QStringLiteral("/devices/network"))->childCount(), 0);
    QVERIFY(places.contains(QStringLiteral("devices:network-interface-renamed")));

    auto event = [this](const char *id) {
        return itemAt(m_tree.get(), QLatin1String(id));
    };
    QCOMPARE(event("user-login-failed")->data(0).toString(), QStringLiteral("Failed user login"));
    QCOMPARE(m_tree->child(0)->checkState(), int(Qt::PartiallyChecked));
    QCOMPARE(itemAt(m_tree.get(), Paths::EventSettingsDir + QStringLiteral("/services"))->checkState(), int(Qt::Checked));
    QCOMPARE(event("usb-device-connected")->checkState(), int(Qt::Unchecked));
    QCOMPARE(event("file-opened")->checkState(), int(Qt::Checked));

    QCOMPARE(ids(event("user-login-failed")->dependsOn()), QStringLiteral("user-login"));
    QCOMPARE(ids(event("usb-device-connected")->dependents()), QStringLiteral("storage-mounted,usb-device-disconnected"));
    QVERIFY(event("kernel-module-loaded")->generatesLoad() && !event("user-login")->generatesLoad());
    QVERIFY(event("system-shutdown")->isNotRedirected() && !event("service-failed")->isNotRedirected());
    QVERIFY(event("sudo-command")->hasAuditEvents());
    QCOMPARE(event("user-login-failed")->notificationState(), EventTreeItem::NotificationsEnabled);
    QCOMPARE(event("user-login")->notificationState(), EventTreeItem::NotificationsOff);
    const EventTreeItem *filterValues = itemAt(m_tree.get(), QStringLiteral("file-removal/filter-values"));
    QCOMPARE(filterValues->child(filterValues->childCount() - 1)->id(), QStringLiteral(".auditd.key"));
}

void SingleEventsParserTest::sampleItems_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("flags"); // shown, editable, overlaid, has audit rules: "seoa" or "-"

    auto row = [](const char *name, const char *path, int kind, const char *value, const char *flags) {
        QTest::newRow(name) << QString::fromUtf8(path) << kind << QString::fromUtf8(value) << QString::fromLatin1(flags);
    };
    row("synthesised-enabled", "user-login/enabled", 2, "1", "--o-");
    row("package-enabled-kept", "session-locked/enabled", 2, "0", "--o-");
    row("enabled-from-settings", "file-opened/enabled", 2, "1", "--o-");
    row("overlay-entry-hidden", "user-login/overlay0", 2, "enabled", "-e--");
    row("list-from-settings", "file-opened/filter-values/.auditd.key", 3, "/etc/shadow, /etc/gshadow", "seoa");
    row("children-editable-reaches-children", "file-opened/filter-values/.auditd.type", 2, "PATH", "se--");
    row("labels-not-editable", "user-login/message-params/user", 2, "&User", "s---");
    row("named-label-not-editable", "disk-space-low/message-params/free", 2, "&Free space", "s---");
    row("list-of-objects", "disk-space-low/directories", 4, "/, /var/log", "se--");
    row("number", "disk-space-low/check_interval", 2, "60", "se--");
    row("nested-from-settings", "user-login-failed/notification_repetition/interval", 2, "60", "seo-");
    row("list-of-strings", "sudo-command/message-audit-events", 3, "exec, uid", "s---");
    row("audit-key-of-event-with-rules", "modifying-file/filter-values/.auditd.key", 3, "/etc/passwd, /etc/sudoers", "se-a");
    row("synthesised-audit-keys", "file-removal/filter-values/.auditd.key", 3, "/etc/passwd, /etc/group", "se-a");
}

void SingleEventsParserTest::sampleItems()
{
    QFETCH(QString, path);
    QFETCH(int, kind);
    QFETCH(QString, value);
    QFETCH(QString, flags);
    const EventTreeItem *item = itemAt(m_tree.get(), path);
    QVERIFY(item);
    QCOMPARE(item->kind(), kind);
    QCOMPARE(item->data(1).toString(), value);
    const QString actual = QLatin1String(item->isVisible() ? "s" : "-") + QLatin1String(item->isEditable() ? "e" : "-")
        + QLatin1String(item->isOverlaid() ? "o" : "-") + QLatin1String(item->hasAuditRules() ? "a" : "-");
    QCOMPARE(actual, flags);
    QVERIFY(!item->isCheckable());
}

void SingleEventsParserTest::merge_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<QByteArray>("current"); // the settings of the event "ev"
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("overlaid");
    QTest::addColumn<int>("eventState");

    const QByteArray params = R"({"message-params": {"user": "&User"}})";
    const QByteArray nested = R"({"enabled": 1, "f": {"a": "1", "b": "2"}})";
    QTest::newRow("enabled-synthesised") << params << QByteArray() << QStringLiteral("ev/enabled") << QStringLiteral("1") << true << 2;
    QTest::newRow("own-enabled-kept") << QByteArray(R"({"enabled": 0, "message-params": {}})") << QByteArray() << QStringLiteral("ev/enabled")
                                      << QStringLiteral("0") << true << 0;
    QTest::newRow("settings-disable") << params << QByteArray(R"({"enabled": "0"})") << QStringLiteral("ev/enabled") << QStringLiteral("0") << true << 0;
    QTest::newRow("settings-add-key") << nested << QByteArray(R"({"extra": "x"})") << QStringLiteral("ev/extra") << QStringLiteral("x") << true << 2;
    QTest::newRow("overlay-entry-names-key") << nested << QByteArray(R"({"extra": "x"})") << QStringLiteral("ev/overlay1") << QStringLiteral("extra") << false
                                             << 2;
    QTest::newRow("nested-merge-changed") << nested << QByteArray(R"({"f": {"b": "3"}})") << QStringLiteral("ev/f/b") << QStringLiteral("3") << true << 2;
    QTest::newRow("nested-merge-kept") << nested << QByteArray(R"({"f": {"b": "3"}})") << QStringLiteral("ev/f/a") << QStringLiteral("1") << false << 2;
    QTest::newRow("whole-object-from-settings") << nested << QByteArray(R"({"r": {"interval": "5"}})") << QStringLiteral("ev/r/interval") << QStringLiteral("5")
                                                << true << 2;
    QTest::newRow("number-keeps-its-text") << nested << QByteArray(R"({"n": 9007199254740993})") << QStringLiteral("ev/n") << QStringLiteral("9007199254740993")
                                           << true << 2;
    QTest::newRow("exponent-keeps-its-text") << nested << QByteArray(R"({"f": {"a": 1E3}})") << QStringLiteral("ev/f/a") << QStringLiteral("1E3") << true << 2;
    QTest::newRow("key-named-like-bookkeeping") << nested << QByteArray(R"({"overlayfs": "1"})") << QStringLiteral("ev/overlayfs") << QStringLiteral("1")
                                                << true << 2;
    QTest::newRow("malformed-settings-ignored") << nested << QByteArray(R"({"f": )") << QStringLiteral("ev/f/b") << QStringLiteral("2") << false << 2;
}

void SingleEventsParserTest::merge()
{
    QFETCH(QByteArray, package);
    QFETCH(QByteArray, current);
    QFETCH(QString, path);
    QFETCH(QString, value);
    QFETCH(bool, overlaid);
    QFETCH(int, eventState);
    TestRoot root;
    writeEvent(root, QStringLiteral("grp"), QStringLiteral("ev"), package);
    root.writeFile(Paths::EventsFile, "{\"ev\": " + (current.isEmpty() ? QByteArray("{}") : current) + '}');
    const auto tree = parseEvents();
    const EventTreeItem *item = itemAt(tree.get(), path);
    QVERIFY(item);
    QCOMPARE(item->data(1).toString(), value);
    QCOMPARE(item->isOverlaid(), overlaid);
    QCOMPARE(tree->findById(QStringLiteral("ev"))->checkState(), eventState);
}

// What the merge and the dictionary keep apart: bookkeeping is known by its
// place, and an entry for a parameter does not hide an event of its name.
void SingleEventsParserTest::namesLikeBookkeeping()
{
    TestRoot root;
    writeEvent(root, QStringLiteral("overlay-mounts"), QStringLiteral("overlayfs-mounted"), QByteArray(R"({"enabled": 1, "overlay-dir": "/o"})"));
    writeEvent(root, QStringLiteral("grp"), QStringLiteral("enabled"), QByteArray(R"({"enabled": 1})"));
    const auto tree = parseEvents();
    const EventTreeItem *group = itemAt(tree.get(), Paths::EventSettingsDir + QStringLiteral("/overlay-mounts"));
    QVERIFY(group && group->isVisible());
    const EventTreeItem *event = itemAt(tree.get(), QStringLiteral("overlayfs-mounted"));
    QVERIFY(event && event->isVisible());
    const EventTreeItem *parameter = itemAt(tree.get(), QStringLiteral("overlayfs-mounted/overlay-dir"));
    QVERIFY(parameter && parameter->isVisible() && !parameter->isOverlaid());
    QCOMPARE(parameter->data(1).toString(), QStringLiteral("/o"));
    // The sample's dictionary hides parameters named "enabled".
    const EventTreeItem *named = tree->findById(Paths::EventSettingsDir + QStringLiteral("/grp"))->child(0);
    QCOMPARE(named->id(), QStringLiteral("enabled"));
    QVERIFY(named->isVisible());
    QVERIFY(!named->findChildById(QStringLiteral("enabled"))->isVisible());
}

void SingleEventsParserTest::duplicateKeys_data()
{
    QTest::addColumn<QString>("file"); // a system path
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("damaged"); // the settings file was not read whole

    const QString event = Paths::EventSettingsDir + QStringLiteral("/grp/ev");
    QTest::newRow("event-twice-in-settings") << QString(Paths::EventsFile) << QByteArray(R"({"ev": {"enabled": "0"}, "ev": {"enabled": "1"}})")
                                             << QStringLiteral("ev") << true;
    QTest::newRow("key-twice-in-settings") << QString(Paths::EventsFile) << QByteArray(R"({"ev": {"f": {"a": "1", "a": "2"}}})") << QStringLiteral("ev/f/a")
                                           << true;
    QTest::newRow("key-twice-in-event-file") << event << QByteArray(R"({"enabled": 1, "k": "a", "k": "b"})") << QStringLiteral("k") << false;
    QTest::newRow("key-twice-in-group-file") << Paths::EventSettingsDir + QStringLiteral("/grp/grp")
                                             << QByteArray(R"({"group-params": {"name_en": "A", "name_en": "B"}})") << QStringLiteral("group-params/name_en")
                                             << false;
}

// A key given twice is named with its file: only one of its values is read,
// and the settings file, written back, would lose the other.
void SingleEventsParserTest::duplicateKeys()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(bool, damaged);
    TestRoot root;
    writeEvent(root, QStringLiteral("grp"), QStringLiteral("ev"), QByteArray(R"({"enabled": 1, "f": {"a": "0"}})"));
    root.writeFile(file, content);
    SingleEventsParser parser(Paths::placed(Paths::EventsFile));
    const std::unique_ptr<EventTreeItem> tree(parser.parse());
    const QString problem = root.placed(file) + QStringLiteral(": key \"%1\" is given more than once; only one of its values is read").arg(key);
    QVERIFY2(parser.errorString().split(QLatin1Char('\n')).contains(problem), qPrintable(parser.errorString()));
    QCOMPARE(parser.damaged(), damaged);
}

void SingleEventsParserTest::eventFiles_data()
{
    QTest::addColumn<QStringList>("files"); // relative to the package directory
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("group-file-not-event") << QStringList{QStringLiteral("grp/grp"), QStringLiteral("grp/ev")} << QStringList{QStringLiteral("grp:ev")};
    QTest::newRow("top-level-file-ignored") << QStringList{QStringLiteral("ev"), QStringLiteral("grp/other")} << QStringList{QStringLiteral("grp:other")};
    QTest::newRow("nested-folder-holds-no-events") << QStringList{QStringLiteral("grp/sub/ev"), QStringLiteral("grp/other")}
                                                   << QStringList{QStringLiteral("grp:other")};
    QTest::newRow("nested-file-does-not-take-a-name") << QStringList{QStringLiteral("grp/sub/ev"), QStringLiteral("other/ev")}
                                                      << QStringList{QStringLiteral("other:ev")};
    QTest::newRow("first-of-a-name-kept") << QStringList{QStringLiteral("b/ev"), QStringLiteral("a/ev")} << QStringList{QStringLiteral("a:ev")};
    QTest::newRow("name-order") << QStringList{QStringLiteral("grp/zeta"), QStringLiteral("grp/alpha"), QStringLiteral("grp/Mid")}
                                << QStringList{QStringLiteral("grp:Mid"), QStringLiteral("grp:alpha"), QStringLiteral("grp:zeta")};
    // QString's order, by UTF-16 units: a character beyond the first plane
    // comes before U+FF5A here, though its code point and its UTF-8 are greater.
    QTest::newRow("name-order-beyond-ascii") << QStringList{QStringLiteral("grp/ｚ"),
                                                            QStringLiteral("grp/😀"),
                                                            QStringLiteral("grp/é"),
                                                            QStringLiteral("grp/ä"),
                                                            QStringLiteral("grp/z"),
                                                            QStringLiteral("grp/_a"),
                                                            QStringLiteral("grp/Z")}
                                             << QStringList{QStringLiteral("grp:Z"),
                                                            QStringLiteral("grp:_a"),
                                                            QStringLiteral("grp:z"),
                                                            QStringLiteral("grp:ä"),
                                                            QStringLiteral("grp:é"),
                                                            QStringLiteral("grp:😀"),
                                                            QStringLiteral("grp:ｚ")};
}

void SingleEventsParserTest::eventFiles()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, expected);
    TestRoot root;
    for (const QString &file : files) {
        root.writeFile(Paths::EventSettingsDir + QLatin1Char('/') + file, QByteArray(R"({"enabled": 1})"));
    }
    // Files that hold no event object are skipped.
    writeEvent(root, QStringLiteral("grp"), QStringLiteral("broken"), QByteArray("{"));
    writeEvent(root, QStringLiteral("grp"), QStringLiteral("empty"), QByteArray("{}"));
    writeEvent(root, QStringLiteral("grp"), QStringLiteral("blank"), QByteArray());
    QCOMPARE(eventPlaces(parseEvents().get()), expected);
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
    QFETCH(QString, name);
    const QString dir = Paths::EventSettingsDir + QStringLiteral("/ my  group ");
    TestRoot root;
    root.writeFile(dir + QStringLiteral("/ev"), QByteArray(R"({"enabled": 1})"));
    if (!groupFile.isEmpty()) {
        root.writeFile(dir + QStringLiteral("/ my  group "), groupFile);
    }
    const auto tree = parseEvents();
    QCOMPARE(tree->childCount(), 1);
    QCOMPARE(tree->child(0)->data(0).toString(), name);
    QCOMPARE(tree->child(0)->id(), dir);
}

// Items share the texts of equal keys and short values; an edit of one item
// changes nothing in another, in the same event or in another one.
void SingleEventsParserTest::sharedTextsStayApart()
{
    TestRoot root;
    const QByteArray event = R"({"enabled": 1, "k": "v", "o": {"k": "v"}})";
    writeEvent(root, QStringLiteral("grp"), QStringLiteral("a"), event);
    writeEvent(root, QStringLiteral("grp"), QStringLiteral("b"), event);
    const auto tree = parseEvents();
    EventTreeItem *edited = itemAt(tree.get(), QStringLiteral("a/k"));
    const EventTreeItem *inner = itemAt(tree.get(), QStringLiteral("a/o/k"));
    // (Events may be built on different threads, each with its own table.)
    QVERIFY(edited->id().isSharedWith(inner->id()));
    QVERIFY(edited->data(1).toString().isSharedWith(inner->data(1).toString()));

    edited->setData(1, QStringLiteral("w"));
    edited->setData(0, QStringLiteral("renamed"));
    edited->setId(QStringLiteral("renamed"));
    for (const QString &path : {QStringLiteral("a/o/k"), QStringLiteral("b/k"), QStringLiteral("b/o/k")}) {
        const EventTreeItem *other = itemAt(tree.get(), path);
        QVERIFY2(other, qPrintable(path));
        QCOMPARE(other->data(0).toString(), QStringLiteral("k"));
        QCOMPARE(other->data(1).toString(), QStringLiteral("v"));
    }
    QCOMPARE(edited->data(1).toString(), QStringLiteral("w"));
}

void SingleEventsParserTest::dependencies_data()
{
    QTest::addColumn<QString>("dependsOfA");
    QTest::addColumn<QString>("dependsOfB");
    QTest::addColumn<QString>("dependsOnA");
    QTest::addColumn<QString>("dependentsOfA");

    QTest::newRow("mutual") << QStringLiteral("b") << QStringLiteral("a") << QStringLiteral("b") << QStringLiteral("b");
    QTest::newRow("unknown-event-ignored") << QStringLiteral("nope") << QStringLiteral("") << QStringLiteral("") << QStringLiteral("");
    QTest::newRow("list-with-spaces") << QStringLiteral(" b , c,") << QStringLiteral("") << QStringLiteral("b,c") << QStringLiteral("");
    QTest::newRow("self-and-repeats") << QStringLiteral("a,b,b") << QStringLiteral("a") << QStringLiteral("b") << QStringLiteral("b");
}

void SingleEventsParserTest::dependencies()
{
    QFETCH(QString, dependsOfA);
    QFETCH(QString, dependsOfB);
    QFETCH(QString, dependsOnA);
    QFETCH(QString, dependentsOfA);
    TestRoot root;
    for (const auto &[id, depends] : {std::pair{"a", dependsOfA}, {"b", dependsOfB}, {"c", QString()}}) {
        writeEvent(root, QStringLiteral("grp"), QLatin1String(id), QStringLiteral(R"({"enabled": 1, "message-depends": "%1"})").arg(depends).toUtf8());
    }
    const auto tree = parseEvents();
    const EventTreeItem *a = tree->findById(QStringLiteral("a"));
    QCOMPARE(ids(a->dependsOn()), dependsOnA);
    QCOMPARE(ids(a->dependents()), dependentsOfA);
    QCOMPARE(ids(tree->findById(QStringLiteral("b"))->dependents()).contains(QLatin1Char('a')), dependsOnA.contains(QLatin1Char('b')));
}

void SingleEventsParserTest::sameTreeOnAnyNumberOfThreads_data()
{
    QTest::addColumn<int>("threads");
    QTest::newRow("one") << 1;
    QTest::newRow("two") << 2;
    QTest::newRow("more-than-cores") << 7;
}

// The events are read on several threads: their order in the groups, their
// links and the order of the problems reported must not depend on it.
void SingleEventsParserTest::sameTreeOnAnyNumberOfThreads()
{
    QFETCH(int, threads);
    TestRoot root;
    QByteArray current = "{";
    // Written in an order unlike the name order; some files broken, some overridden.
    for (int n = 239; n >= 0; --n) {
        const QString id = QStringLiteral("ev%1").arg(n, 3, 10, QLatin1Char('0'));
        const QString group = QStringLiteral("group%1").arg(n % 6);
        QByteArray json = R"({"enabled": 1, "message-params": {"n": )" + QByteArray::number(n) + "}";
        if (n % 10 == 3) {
            json += R"(, "message-depends": "ev)" + QByteArray::number(n + 1).rightJustified(3, '0') + '"';
        }
        writeEvent(root, group, id, n % 37 == 5 ? QByteArray("{ broken") : json + '}');
        if (n % 4 == 0) {
            current += (current.size() > 1 ? "," : "") + QByteArray("\"") + id.toUtf8() + R"(": {"enabled": "0"})";
        }
    }
    root.writeFile(Paths::EventsFile, current + '}');

    QString errors;
    const std::unique_ptr<EventTreeItem> tree = parsedOnThreads(threads, &errors);
    if (QTest::currentTestFailed()) {
        return;
    }
    // Name order within each group, whatever finished first.
    QStringList places = eventPlaces(tree.get());
    QCOMPARE(places.size(), 240 - 7);
    QStringList sorted = places;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(places, sorted);
    // Problems in name order too: ev005, ev042, ev079, ...
    const QStringList problems = errors.split(QLatin1Char('\n'));
    QCOMPARE(problems.size(), 7);
    QVERIFY2(problems.first().contains(QLatin1String("/ev005: ")) && problems.last().contains(QLatin1String("/ev227: ")),
             qPrintable(problems.join(QLatin1Char('\n'))));
    QCOMPARE(ids(tree->findById(QStringLiteral("ev014"))->dependents()), QStringLiteral("ev013"));
}

void SingleEventsParserTest::sameGroupsOnAnyNumberOfThreads_data()
{
    sameTreeOnAnyNumberOfThreads_data();
}

// The group folders are listed and named on several threads: group order,
// names, nesting, the event that a name given twice resolves to and the order
// of the problems must not depend on it.
void SingleEventsParserTest::sameGroupsOnAnyNumberOfThreads()
{
    QFETCH(int, threads);
    TestRoot root;
    for (int n = 11; n >= 0; --n) {
        const QString group = QStringLiteral("g%1").arg(n, 2, 10, QLatin1Char('0'));
        const QByteArray groupFile = n % 4 == 1 ? QByteArray("{ broken") : R"({"group-params": {"name_en": "Group )" + QByteArray::number(n) + R"("}})";
        writeEvent(root, group, group, groupFile);
        writeEvent(root, group, QStringLiteral("only-in-%1").arg(group), R"({"enabled": 1})");
        // The same name in every group: the first group's file wins.
        writeEvent(root, group, QStringLiteral("shared"), R"({"enabled": 1, "from": ")" + group.toUtf8() + R"("})");
        if (n % 3 == 0) {
            const QString inner = group + QStringLiteral("/inner");
            writeEvent(root, inner, QStringLiteral("inner"), n == 6 ? QByteArray("[]") : QByteArray(R"({"group-params": {"name_en": "Inner"}})"));
            writeEvent(root, inner + QStringLiteral("/deeper"), QStringLiteral("not-an-event"), R"({"enabled": 1})");
        }
    }

    QString errors;
    const std::unique_ptr<EventTreeItem> tree = parsedOnThreads(threads, &errors);
    if (QTest::currentTestFailed()) {
        return;
    }
    QCOMPARE(tree->childCount(), 12);
    QCOMPARE(tree->child(0)->name(), QStringLiteral("Group 0"));
    QCOMPARE(tree->child(1)->name(), QStringLiteral("g01"));
    QCOMPARE(itemAt(tree.get(), QStringLiteral("shared/from"))->data(1).toString(), QStringLiteral("g00"));
    QCOMPARE(itemAt(tree.get(), Paths::EventSettingsDir + QStringLiteral("/g03/inner"))->name(), QStringLiteral("Inner"));
    QCOMPARE(itemAt(tree.get(), Paths::EventSettingsDir + QStringLiteral("/g03/inner/deeper"))->childCount(), 0);
    // In folder order, a nested folder's right after its parent's: g01, g05, g06/inner, g09.
    QStringList problems = errors.split(QLatin1Char('\n'));
    // The name given twice is named in each later group, in folder order too.
    const QRegularExpression later(QStringLiteral("/g(\\d\\d)/shared: an event of this name is read from .*/g00 already; not read$"));
    QStringList laterGroups;
    for (const QString &problem : problems) {
        if (const QRegularExpressionMatch match = later.match(problem); match.hasMatch()) {
            laterGroups << match.captured(1);
        }
    }
    QCOMPARE(laterGroups.join(QLatin1Char(' ')), QStringLiteral("01 02 03 04 05 06 07 08 09 10 11"));
    problems.erase(std::remove_if(problems.begin(),
                                  problems.end(),
                                  [&later](const QString &problem) {
                                      return later.match(problem).hasMatch();
                                  }),
                   problems.end());
    QCOMPARE(problems.size(), 4);
    QVERIFY2(problems.at(0).contains(QLatin1String("/g01/g01: ")) && problems.at(1).contains(QLatin1String("/g05/g05: "))
                 && problems.at(2).contains(QLatin1String("/g06/inner/inner: ")) && problems.at(3).contains(QLatin1String("/g09/g09: ")),
             qPrintable(problems.join(QLatin1Char('\n'))));
}

void SingleEventsParserTest::marksFollowValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("generatesLoad");
    QTest::addColumn<bool>("notRedirected");

    QTest::newRow("load-on") << QStringLiteral("generates-load") << QStringLiteral("1") << true << false;
    QTest::newRow("load-off") << QStringLiteral("generates-load") << QStringLiteral("0") << false << false;
    QTest::newRow("not-redirected-on") << QStringLiteral("is-not-redirected") << QStringLiteral("2") << false << true;
    QTest::newRow("not-redirected-off") << QStringLiteral("is-not-redirected") << QStringLiteral("0") << false << false;
}

// Marking again a tree whose values changed gives the marks of a new parse,
// switched off as well as on.
void SingleEventsParserTest::marksFollowValues()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(bool, generatesLoad);
    QFETCH(bool, notRedirected);
    TestRoot root;
    writeEvent(root,
               QStringLiteral("grp"),
               QStringLiteral("ev"),
               R"({"enabled": 1, "message_id": "ev_seen", "generates-load": "1", "is-not-redirected": "1"})");
    root.writeFile(Paths::PerEventFilePrefix + QStringLiteral("ev-seen.conf"), QByteArray("# notify\n"));
    NotifiedEvents::rebuild();
    const auto tree = parseEvents();
    EventTreeItem *event = tree->findById(QStringLiteral("ev"));
    QVERIFY(event->generatesLoad() && event->isNotRedirected());
    QCOMPARE(event->notificationState(), EventTreeItem::NotificationsEnabled);

    for (const QString &mark : {QStringLiteral("generates-load"), QStringLiteral("is-not-redirected")}) {
        event->findChildById(mark)->setData(1, mark == key ? value : QStringLiteral("0"));
    }
    QFile::remove(root.placed(Paths::PerEventFilePrefix + QStringLiteral("ev-seen.conf")));
    NotifiedEvents::rebuild();
    SingleEventsParser::markEvents(tree.get());
    QCOMPARE(event->generatesLoad(), generatesLoad);
    QCOMPARE(event->isNotRedirected(), notRedirected);
    QCOMPARE(event->notificationState(), EventTreeItem::NotificationsOff);
}

QTEST_GUILESS_MAIN(SingleEventsParserTest)
#include "singleeventsparsertest.moc"
