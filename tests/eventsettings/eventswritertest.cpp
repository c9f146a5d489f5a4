#include "model/eventswriter.h"
#include "eventtrees.h"
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "model/singleeventsparser.h"
#include "platform/paths.h"
#include "testroot.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

namespace
{
const QString Group = QStringLiteral("grp");
const QByteArray WithParams = R"({"message-params": {"user": "&User"}})";

QStringList fileLines(const TestRoot &root, const QString &path)
{
    return QString::fromUtf8(root.readFile(path)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A writer of the active root, whose audit rules directory exists as on a system with auditd.
EventsWriter placedWriter()
{
    QDir().mkpath(Paths::placed(QStringLiteral("/etc/audit/rules.d")));
    return EventsWriter(Paths::placed(Paths::EventsFile), Paths::placed(Paths::AuditRulesFile));
}
}

class EventsWriterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void eventLines_data();
    void eventLines();
    void editedItems();
    void editsThroughTheModel();
    void roundTrip_data();
    void roundTrip();
    void auditSwitches_data();
    void auditSwitches();
    void sampleAuditTypesInStep();
    void writeFailures_data();
    void writeFailures();
    void editSaveCycle();
    void applyWithoutEdits_data();
    void applyWithoutEdits();
    void onlyEditedLinesChange();
    void editedEventKeepsValuesAsRead_data();
    void editedEventKeepsValuesAsRead();
    void auditRulesFile_data();
    void auditRulesFile();
    void auditRuleOnOneLine();
    void linksRefused_data();
    void linksRefused();
};

void EventsWriterTest::initTestCase()
{
    // The first parser reads the dictionary for the whole process: none here.
    TestRoot root;
    SingleEventsParser parser(Paths::placed(Paths::EventsFile));
}

void EventsWriterTest::eventLines_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<QByteArray>("current");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("no-event") << QByteArray("{}") << QByteArray() << QStringList{QStringLiteral("{"), QStringLiteral("}")};
    QTest::newRow("package-state-recorded") << QByteArray(R"({"enabled": 1, "k": "v"})") << QByteArray()
                                            << QStringList{QStringLiteral("{"), QStringLiteral("\t\"ev\" : { \"enabled\" : \"1\" }"), QStringLiteral("}")};
    QTest::newRow("synthesised-enabled") << WithParams << QByteArray()
                                         << QStringList{QStringLiteral("{"), QStringLiteral("\t\"ev\" : { \"enabled\" : \"1\" }"), QStringLiteral("}")};
    QTest::newRow("nested-and-lists")
        << QByteArray(R"({"enabled": 1, "f": {"a": "1", "b": "2"}, "l": ["x"], "d": [{"path": "/"}]})")
        << QByteArray(R"({"ev": {"f": {"b": "3"}, "l": ["x", "y"], "d": [{"path": "/v", "limit_bytes": "1"}], "new": {"n": 5}}})")
        << QStringList{
               QStringLiteral("{"),
               QStringLiteral(
                   "\t\"ev\" : { \"d\" : [{\"limit_bytes\":\"1\",\"path\":\"/v\"}], \"enabled\" : \"1\", \"f\" : { \"b\" : \"3\" }, \"l\" : [ \"x\", \"y\" ], "
                   "\"new\" : { \"n\" : 5 } }"), // a number stays a number
               QStringLiteral("}")};
}

void EventsWriterTest::eventLines()
{
    QFETCH(QByteArray, package);
    QFETCH(QByteArray, current);
    QFETCH(QStringList, expected);
    TestRoot root;
    writeEvent(root, Group, QStringLiteral("ev"), package);
    root.writeFile(Paths::EventsFile, current);
    const auto tree = parseEvents();
    QCOMPARE(placedWriter().lines(tree.get()), expected);
}

void EventsWriterTest::editedItems()
{
    TestRoot root;
    writeEvent(root,
               Group,
               QStringLiteral("file-removal"),
               QByteArray(R"({"enabled": 0, "filter-values": {"t": "PATH"}, "message-audit-rules": "-w /a -p wa -k /a"})"));
    writeEvent(root, Group, QStringLiteral("lists"), QByteArray(R"({"enabled": 1, "l": ["a, b", 1]})"));
    const auto tree = parseEvents();
    // The derived audit keys are never written.
    itemAt(tree.get(), QStringLiteral("file-removal/filter-values/.auditd.key"))->setOverlaid(true);
    // An edited list is written from its shown text.
    EventTreeItem *list = itemAt(tree.get(), QStringLiteral("lists/l"));
    list->setData(1, QStringLiteral("/x,  /y , "));
    list->setOverlaid(true);
    QCOMPARE(placedWriter().lines(tree.get()),
             QStringList({QStringLiteral("{"),
                          QStringLiteral("\t\"file-removal\" : { \"enabled\" : \"0\" },"),
                          QStringLiteral("\t\"lists\" : { \"enabled\" : \"1\", \"l\" : [ \"/x\", \"/y\" ] }"),
                          QStringLiteral("}")}));
}

// The model records its edits as they happen: what Apply writes needs no
// change test before it.
void EventsWriterTest::editsThroughTheModel()
{
    TestRoot root;
    writeEvent(root, Group, QStringLiteral("ev"), QByteArray(R"({"enabled": 1, "k": "v", "notification_repetition": {"enabled": 0, "interval": 30}})"));
    writeEvent(root, Group, QStringLiteral("other"), QByteArray(R"({"enabled": 1, "k": "v"})"));
    writeEvent(root, Group, QStringLiteral("same"), QByteArray(R"({"enabled": 1, "k": "v"})"));
    CheckableTreeModel model;
    QAbstractItemModelTester tester(&model);
    model.setRoot(parseEvents().release());
    const auto index = [&model](const QString &path, int column) {
        return model.indexFromItem(itemAt(model.root(), path), column);
    };
    QVERIFY(model.setData(index(QStringLiteral("ev/notification_repetition/interval"), 1), QStringLiteral("60"), Qt::EditRole));
    QVERIFY(model.setData(index(QStringLiteral("other"), 0), Qt::Unchecked, Qt::CheckStateRole));
    // Edited and restored: written with its value, as it was shown when edited.
    QVERIFY(model.setData(index(QStringLiteral("same/k"), 1), QStringLiteral("w"), Qt::EditRole));
    QVERIFY(model.setData(index(QStringLiteral("same/k"), 1), QStringLiteral("v"), Qt::EditRole));
    QCOMPARE(placedWriter().lines(model.root()),
             QStringList({QStringLiteral("{"),
                          QStringLiteral("\t\"ev\" : { \"enabled\" : \"1\", \"notification_repetition\" : { \"interval\" : 60 } },"),
                          QStringLiteral("\t\"other\" : { \"enabled\" : \"0\" },"),
                          QStringLiteral("\t\"same\" : { \"enabled\" : \"1\", \"k\" : \"v\" }"),
                          QStringLiteral("}")}));
}

void EventsWriterTest::roundTrip_data()
{
    QTest::addColumn<QByteArray>("current");

    QTest::newRow("quotes-and-backslashes") << QByteArray(R"({"ev": {"say \"hi\"": "C:\\dir\\\"x\"", "k\\": "\\"}})");
    QTest::newRow("control-characters") << QByteArray(R"({"ev": {"k": "line1\nline2\ttab\u0001\r\b\f"}})");
    QTest::newRow("non-ascii") << QByteArray(R"({"ev": {"путь": "Журнал событий ✓", "n": {"ключ": "значение"}}})");
    QTest::newRow("list-elements") << QByteArray(R"({"ev": {"l": ["a, b", "c \"d\"", "  spaced  ", 1, 2.5, true]}})");
    QTest::newRow("objects-list") << QByteArray(R"({"ev": {"directories": [{"path": "/mnt/\"x\"", "limit_bytes": "1"}, {"path": "/y, z"}]}})");
    QTest::newRow("identifier-with-quote") << QByteArray(R"({"odd\"ev": {"enabled": "0", "k": "\\"}})");
    QTest::newRow("empty-values") << QByteArray(R"({"ev": {"k": "", "l": []}})");
    QTest::newRow("beyond-the-basic-plane") << QByteArray(R"({"ev": {"k": "😀 \ud83d\ude00", "l": ["😀", "x\u007f"]}})");
}

void EventsWriterTest::roundTrip()
{
    QFETCH(QByteArray, current);
    TestRoot root;
    writeEvent(root, Group, QStringLiteral("ev"), WithParams);
    writeEvent(root, Group, QStringLiteral("odd\"ev"), WithParams);
    root.writeFile(Paths::EventsFile, current);
    const auto first = parseEvents();
    EventsWriter writer = placedWriter();
    QVERIFY(writer.write(first.get()));
    const QStringList written = fileLines(root, Paths::EventsFile);
    const auto second = parseEvents();
    // The numbering of the hidden overlay entries follows key order and may change.
    const QRegularExpression notOverlayEntry(QStringLiteral("^(?! *overlay\\d+\\|)"));
    QCOMPARE(dump(second.get()).filter(notOverlayEntry), dump(first.get()).filter(notOverlayEntry));
    QCOMPARE(writer.lines(second.get()), written);
}

void EventsWriterTest::auditSwitches_data()
{
    QTest::addColumn<QString>("onTypes"); // of an enabled event
    QTest::addColumn<QString>("offTypes"); // of a disabled event
    QTest::addColumn<QByteArray>("store"); // "<dir>": the store path is a directory
    QTest::addColumn<QByteArray>("expectedStore");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<bool>("changed");

    QTest::newRow("switch-on-and-off") << QStringLiteral(R"("open")") << QStringLiteral(R"("exec")") << QByteArray("exec\nuid\n") << QByteArray("uid\nopen\n")
                                       << QStringList() << true;
    QTest::newRow("on-wins") << QStringLiteral(R"("open")") << QStringLiteral(R"("open", "net")") << QByteArray("net\n") << QByteArray("open\n")
                             << QStringList() << true;
    QTest::newRow("already-in-state") << QStringLiteral(R"("exec")") << QStringLiteral(R"("net")") << QByteArray("exec\n") << QByteArray("exec\n")
                                      << QStringList() << false;
    QTest::newRow("missing-store-created") << QStringLiteral(R"("mount", "mount")") << QString() << QByteArray() << QByteArray("mount\n") << QStringList()
                                           << true;
    QTest::newRow("unknown-name") << QStringLiteral(R"("bogus", "open")") << QString() << QByteArray() << QByteArray("open\n")
                                  << QStringList{QStringLiteral("Error enabling the audit event\"bogus\"")} << true;
    // Named once, with its reason: the store cannot be read, so it is not written either.
    QTest::newRow("store-unreadable") << QStringLiteral(R"("open")") << QStringLiteral(R"("exec")") << QByteArray("<dir>") << QByteArray()
                                      << QStringList{QStringLiteral("$STORE: not a regular file")} << false;
}

void EventsWriterTest::auditSwitches()
{
    QFETCH(QString, onTypes);
    QFETCH(QString, offTypes);
    QFETCH(QByteArray, store);
    QFETCH(QByteArray, expectedStore);
    QFETCH(QStringList, errors);
    QFETCH(bool, changed);
    TestRoot root;
    writeEvent(root, Group, QStringLiteral("on"), QStringLiteral(R"({"enabled": 1, "message-audit-events": [%1]})").arg(onTypes).toUtf8());
    writeEvent(root, Group, QStringLiteral("off"), QStringLiteral(R"({"enabled": 1, "message-audit-events": [%1]})").arg(offTypes).toUtf8());
    // Every event records its state, so an unchanged disabled event switches its types off too.
    writeEvent(root, Group, QStringLiteral("untouched"), QByteArray(R"({"enabled": 0, "message-audit-events": ["chroot"]})"));
    root.writeFile(Paths::EventsFile, QByteArray(R"({"on": {"enabled": "1"}, "off": {"enabled": "0"}})"));
    if (store == "<dir>") {
        QDir().mkpath(root.placed(Paths::AuditTypeStore));
    } else if (!store.isEmpty()) {
        root.writeFile(Paths::AuditTypeStore, store);
    }
    const auto tree = parseEvents();
    EventsWriter writer = placedWriter();
    QCOMPARE(writer.write(tree.get()), errors.isEmpty());
    QCOMPARE(writer.errors(), errors.replaceInStrings(QStringLiteral("$STORE"), root.placed(Paths::AuditTypeStore)));
    QCOMPARE(writer.auditChanged(), changed);
    QCOMPARE(root.readFile(Paths::AuditTypeStore), expectedStore);
}

// The sample system as shipped: writing it unchanged switches no audit type,
// so the first Apply of the demo asks for no reboot.
void EventsWriterTest::sampleAuditTypesInStep()
{
    TestRoot root;
    root.copySampleSystem();
    const QByteArray store = root.readFile(Paths::AuditTypeStore);
    const auto tree = parseEvents();
    EventsWriter writer = placedWriter();
    QVERIFY(writer.write(tree.get()));
    QCOMPARE(writer.errors(), QStringList());
    QVERIFY(!writer.auditChanged());
    QCOMPARE(root.readFile(Paths::AuditTypeStore), store);
}

void EventsWriterTest::writeFailures_data()
{
    QTest::addColumn<QString>("settingsPath");
    QTest::addColumn<QString>("rulesPath");
    QTest::addColumn<QString>("error");

    QTest::newRow("settings-directory-missing")
        << QStringLiteral("/missing/velta-syslog.conf") << QString(Paths::AuditRulesFile)
        << QStringLiteral("Could not write the file /missing/velta-syslog.conf: cannot create a temporary file: No such file or directory.");
    QTest::newRow("rules-path-is-directory") << QString(Paths::EventsFile) << QStringLiteral("/etc/audit")
                                             << QStringLiteral("Could not write the file /etc/audit: cannot replace the file: Is a directory.");
}

void EventsWriterTest::writeFailures()
{
    QFETCH(QString, settingsPath);
    QFETCH(QString, rulesPath);
    TestRoot root;
    writeEvent(root, Group, QStringLiteral("ev"), QByteArray(R"({"message-params": {}, "message-audit-rules": "-w /etc/passwd -p wa -k /etc/passwd"})"));
    root.writeFile(Paths::AuditRulesFile, QByteArray("old rules\n"));
    QDir().mkpath(root.placed(QStringLiteral("/etc/audit")));
    const auto tree = parseEvents();
    EventsWriter writer(Paths::placed(settingsPath), Paths::placed(rulesPath));
    QVERIFY(!writer.write(tree.get()));
    QFETCH(QString, error);
    QCOMPARE(writer.errors(), QStringList{error});
    // The other file is still written in full; the administrator's line stays before the module's block.
    if (rulesPath == Paths::AuditRulesFile) {
        QVERIFY(root.readFile(Paths::AuditRulesFile).startsWith("old rules\n"));
        QVERIFY(root.readFile(Paths::AuditRulesFile).contains("\n-w /etc/passwd -p wa -k /etc/passwd\n"));
    } else {
        QCOMPARE(fileLines(root, settingsPath).size(), 3);
    }
}

void EventsWriterTest::editSaveCycle()
{
    TestRoot root;
    root.copySampleSystem();
    CheckableTreeModel current;
    CheckableTreeModel saved;
    QAbstractItemModelTester currentTester(&current);
    QAbstractItemModelTester savedTester(&saved);
    current.setRoot(parseEvents().release());
    saved.setRoot(parseEvents().release());
    QVERIFY(!current.differsFrom(saved));

    for (const char *id : {"kernel-module-loaded", "service-stopped", "audit-config-changed"}) {
        const QModelIndex index = current.indexFromItem(current.root()->findById(QLatin1String(id)));
        QVERIFY(current.setData(index, Qt::Checked, Qt::CheckStateRole));
    }
    QVERIFY(current.differsFrom(saved));

    EventsWriter writer = placedWriter();
    QVERIFY(writer.write(current.root()));
    QVERIFY(writer.errors().isEmpty());
    QVERIFY(writer.auditChanged());

    const QStringList settings = fileLines(root, Paths::EventsFile);
    QCOMPARE(settings.first(), QStringLiteral("{"));
    QCOMPARE(settings.last(), QStringLiteral("}"));
    for (int row = 1; row < settings.size() - 1; ++row) {
        QVERIFY2(settings.at(row).startsWith(QLatin1Char('\t')) && settings.at(row).endsWith(QLatin1Char(',')) == (row < settings.size() - 2),
                 qPrintable(settings.at(row)));
    }
    QVERIFY(settings.contains(QStringLiteral("\t\"kernel-module-loaded\" : { \"enabled\" : \"1\" },")));
    QVERIFY(settings.contains(QStringLiteral("\t\"service-stopped\" : { \"enabled\" : \"0\" },")));
    QVERIFY(settings.contains(QStringLiteral("\t\"audit-config-changed\" : { \"enabled\" : \"0\" },")));
    QVERIFY(
        settings.contains(QStringLiteral("\t\"user-login-failed\" : { \"enabled\" : \"1\", \"notification_repetition\" : { \"enabled\" : \"1\", "
                                         "\"interval\" : \"60\" } },")));
    QVERIFY(settings.contains(QStringLiteral("\t\"usb-device-connected\" : { \"enabled\" : \"0\" },")));
    // An event nobody changed records its own state too.
    QVERIFY(settings.contains(QStringLiteral("\t\"system-boot\" : { \"enabled\" : \"1\" },")));

    const QStringList rules = fileLines(root, Paths::AuditRulesFile);
    QCOMPARE(rules.size(), 14);
    QCOMPARE(rules.count(QStringLiteral("-w /etc/passwd -p wa -k /etc/passwd")), 1);
    QVERIFY(rules.contains(QStringLiteral("-a always,exit -F arch=aarch64 -F path=/etc/gshadow -S openat -k /etc/gshadow")));
    QVERIFY(rules.contains(QStringLiteral("-w /sbin/modprobe -p x -k modules")));
    QVERIFY(!rules.contains(QStringLiteral("-w /etc/audit/ -p wa -k audit-config")));

    QStringList store = fileLines(root, Paths::AuditTypeStore);
    store.sort();
    QCOMPARE(store.join(QLatin1Char(' ')), QStringLiteral("cap chmod create delete exec gid module mount net open rename uid"));

    // What was written reads back as edited, and writes the same again.
    const auto reread = parseEvents();
    QCOMPARE(reread->findById(QStringLiteral("kernel-module-loaded"))->checkState(), int(Qt::Checked));
    QCOMPARE(reread->findById(QStringLiteral("service-stopped"))->checkState(), int(Qt::Unchecked));
    QCOMPARE(writer.lines(reread.get()), settings);
}

void EventsWriterTest::applyWithoutEdits_data()
{
    QTest::addColumn<QByteArray>("current");

    QTest::newRow("integers-beyond-a-double") << QByteArray("{\n\t\"ev\" : { \"a\" : 9007199254740993, \"b\" : 123456789012345678 }\n}\n");
    QTest::newRow("beyond-64-bits-as-enabled") << QByteArray("{\n\t\"ev\" : { \"enabled\" : 18446744073709551616, \"k\" : -18446744073709551617 }\n}\n");
    QTest::newRow("negative-zero-and-exponents") << QByteArray("{\n\t\"ev\" : { \"z\" : -0, \"e\" : 1e3, \"f\" : 1.50, \"g\" : 2E-7 }\n}\n");
    QTest::newRow("null-and-empty-object") << QByteArray("{\n\t\"ev\" : { \"n\" : null, \"o\" : {}, \"p\" : { } }\n}\n");
    QTest::newRow("numbers-in-lists") << QByteArray(
        "{\n\t\"ev\" : { \"l\" : [1, 9007199254740993], \"d\" : [{\"path\": \"/v\", \"limit_bytes\": 123456789012345678}] }\n}\n");
    QTest::newRow("own-spacing-and-order") << QByteArray("{\n    \"ev\":{\"z\":\"1\",\"a\":\"2\"}  ,  \n  \"odd\\\"ev\" : {\"enabled\":\"0\"}\n}\n");
    QTest::newRow("crlf-and-bom") << QByteArray("\xEF\xBB\xBF{\r\n\t\"ev\" : { \"enabled\" : \"0\" },\r\n\t\"odd\\\"ev\" : { \"k\" : 1.0 }\r\n}\r\n");
    QTest::newRow("no-final-line-feed") << QByteArray("{\n\t\"ev\" : { \"enabled\" : \"0\" }\n}");
    QTest::newRow("blank-lines-kept") << QByteArray("\n{\n\n\t\"ev\" : { \"enabled\" : \"0\" },\n\n\t\"gone\" : { \"x\" : 1e0 }\n}\n\n");
    QTest::newRow("event-the-package-lacks") << QByteArray("{\n\t\"gone\" : { \"x\" : 5E+2 }\n}\n");
    QTest::newRow("empty-object-file") << QByteArray("{\n}\n");
}

// What the file holds of events nobody edited stays byte for byte, and
// events it does not hold get no line.
void EventsWriterTest::applyWithoutEdits()
{
    QFETCH(QByteArray, current);
    TestRoot root;
    writeEvent(root, Group, QStringLiteral("ev"), WithParams);
    writeEvent(root, Group, QStringLiteral("odd\"ev"), WithParams);
    writeEvent(root, Group, QStringLiteral("untouched"), QByteArray(R"({"enabled": 1, "k": "v"})"));
    root.writeFile(Paths::EventsFile, current);
    const auto read = parseEvents();
    const auto edited = read->clone();
    EventsWriter writer = placedWriter();
    writer.prepare(edited.get(), read.get());
    QCOMPARE(writer.preparedSettings(), current);
    QVERIFY(writer.commit());
    QCOMPARE(root.readFile(Paths::EventsFile), current);
}

// The sample with three edits: only the lines of the three events change.
void EventsWriterTest::onlyEditedLinesChange()
{
    TestRoot root;
    root.copySampleSystem();
    const QByteArray before = root.readFile(Paths::EventsFile);
    CheckableTreeModel current;
    QAbstractItemModelTester tester(&current);
    current.setRoot(parseEvents().release());
    const auto read = current.root()->clone();
    const auto index = [&current](const QString &path, int column) {
        return current.indexFromItem(itemAt(current.root(), path), column);
    };
    QVERIFY(current.setData(index(QStringLiteral("usb-device-connected"), 0), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(current.setData(index(QStringLiteral("user-login-failed/notification_repetition/interval"), 1), QStringLiteral("90"), Qt::EditRole));
    QVERIFY(current.setData(index(QStringLiteral("kernel-module-loaded"), 0), Qt::Checked, Qt::CheckStateRole));
    EventsWriter writer = placedWriter();
    writer.prepare(current.root(), read.get());
    QStringList expected = QString::fromUtf8(before).split(QLatin1Char('\n'));
    expected[2] =
        QStringLiteral("\t\"user-login-failed\" : { \"enabled\" : \"1\", \"notification_repetition\" : { \"enabled\" : \"1\", \"interval\" : \"90\" } },");
    expected[3] = QStringLiteral("\t\"usb-device-connected\" : { \"enabled\" : \"1\" },");
    expected[4] += QLatin1Char(',');
    expected.insert(5, QStringLiteral("\t\"kernel-module-loaded\" : { \"enabled\" : \"1\" }"));
    QCOMPARE(QString::fromUtf8(writer.preparedSettings()).split(QLatin1Char('\n')), expected);
    // Read back, the file gives the edited tree, and writes the same again.
    QVERIFY(writer.commit());
    const auto reread = parseEvents();
    EventsWriter again = placedWriter();
    again.prepare(reread.get(), reread.get());
    QCOMPARE(again.preparedSettings(), writer.preparedSettings());
}

void EventsWriterTest::editedEventKeepsValuesAsRead_data()
{
    QTest::addColumn<QByteArray>("current");
    QTest::addColumn<QString>("expected");

    QTest::newRow("numbers") << QByteArray(R"({"ev": {"k": "v", "a": 9007199254740993, "z": -0, "e": 1e3}})")
                             << QStringLiteral("\t\"ev\" : { \"a\" : 9007199254740993, \"e\" : 1e3, \"enabled\" : \"1\", \"k\" : \"w\", \"z\" : -0 }");
    QTest::newRow("null-and-empty-object") << QByteArray(R"({"ev": {"k": "v", "n": null, "o": {}}})")
                                           << QStringLiteral("\t\"ev\" : { \"enabled\" : \"1\", \"k\" : \"w\", \"n\" : null, \"o\" : {} }");
    QTest::newRow("list-with-a-large-number") << QByteArray(R"({"ev": {"k": "v", "l": ["x", 18446744073709551616]}})")
                                              << QStringLiteral("\t\"ev\" : { \"enabled\" : \"1\", \"k\" : \"w\", \"l\" : [\"x\", 18446744073709551616] }");
}

// An edited event's line is built anew; the values nobody edited keep their text.
void EventsWriterTest::editedEventKeepsValuesAsRead()
{
    QFETCH(QByteArray, current);
    QFETCH(QString, expected);
    TestRoot root;
    writeEvent(root, Group, QStringLiteral("ev"), WithParams);
    root.writeFile(Paths::EventsFile, current);
    CheckableTreeModel model;
    model.setRoot(parseEvents().release());
    QVERIFY(model.setData(model.indexFromItem(itemAt(model.root(), QStringLiteral("ev/k")), 1), QStringLiteral("w"), Qt::EditRole));
    QCOMPARE(placedWriter().lines(model.root()), QStringList({QStringLiteral("{"), expected, QStringLiteral("}")}));
}

void EventsWriterTest::auditRulesFile_data()
{
    QTest::addColumn<QByteArray>("present");
    QTest::addColumn<bool>("enabled"); // the event with the rule "-w /a -p wa -k a"
    QTest::addColumn<QByteArray>("expected");

    const QByteArray begin = "## begin: the rules of the enabled events; Apply replaces the lines up to the end mark\n";
    const QByteArray end = "## end of the rules of the enabled events\n";
    QTest::newRow("module-lines-only") << QByteArray("-w /old -p wa -k old\n") << true << QByteArray("-w /a -p wa -k a\n");
    QTest::newRow("administrator-line-and-comment-kept")
        << QByteArray("# site rules \xff\xfe\n-w /etc/sudoers -p wa -k site_sudoers\n-w /a -p wa -k a\n") << true
        << QByteArray("# site rules \xff\xfe\n-w /etc/sudoers -p wa -k site_sudoers\n" + begin + "-w /a -p wa -k a\n" + end);
    QTest::newRow("marked-block-replaced") << QByteArray("-D\n" + begin + "-w /a -p wa -k a\n" + end + "-e 1\n") << false
                                           << QByteArray("-D\n" + begin + end + "-e 1\n");
    QTest::newRow("marked-file-unchanged") << QByteArray("-D\r\n" + begin + "-w /a -p wa -k a\n" + end + "-e 1") << true
                                           << QByteArray("-D\r\n" + begin + "-w /a -p wa -k a\n" + end + "-e 1\n");
    QTest::newRow("rule-of-an-event-switched-off") << QByteArray("-w /a -p wa -k a\n") << false << QByteArray();
}

void EventsWriterTest::auditRulesFile()
{
    QFETCH(QByteArray, present);
    QFETCH(bool, enabled);
    QFETCH(QByteArray, expected);
    TestRoot root;
    writeEvent(root, Group, QStringLiteral("ev"), QByteArray(R"({"enabled": ")") + (enabled ? "1" : "0") + R"(", "message-audit-rules": "-w /a -p wa -k a"})");
    // The rule the package gave before: the module's own line as well.
    writeEvent(root, Group, QStringLiteral("old"), QByteArray(R"({"enabled": "0", "message-audit-rules": "-w /old -p wa -k old"})"));
    root.writeFile(Paths::AuditRulesFile, present);
    const auto tree = parseEvents();
    EventsWriter writer = placedWriter();
    QVERIFY(writer.write(tree.get()));
    QCOMPARE(root.readFile(Paths::AuditRulesFile), expected);
}

// A line break in a rule would make a second rule (a "-D" deletes them all):
// the model refuses it, and the writer writes neither file.
void EventsWriterTest::auditRuleOnOneLine()
{
    TestRoot root;
    writeEvent(root, Group, QStringLiteral("ev"), QByteArray(R"({"enabled": "1", "message-audit-rules": "-w /a -p wa -k a"})"));
    CheckableTreeModel model;
    model.setRoot(parseEvents().release());
    const QModelIndex rules = model.indexFromItem(itemAt(model.root(), QStringLiteral("ev/message-audit-rules")), 1);
    for (const QString &text : {QStringLiteral("-w /a -k a\n-D"), QStringLiteral("-w /a -k a\r-D"), QStringLiteral("-w /a\u2028-D")}) {
        QVERIFY2(!model.setData(rules, text, Qt::EditRole), qPrintable(text));
    }
    QVERIFY(model.setData(rules, QStringLiteral("-w /b\t-p wa -k b"), Qt::EditRole));

    root.writeFile(Paths::EventsFile, QByteArray(R"({"ev": {"message-audit-rules": "-w /a -k a\n-D"}})"));
    root.writeFile(Paths::AuditRulesFile, "-w /a -p wa -k a\n");
    const QByteArray settings = root.readFile(Paths::EventsFile);
    const auto tree = parseEvents();
    EventsWriter writer = placedWriter();
    QVERIFY(!writer.write(tree.get()));
    QCOMPARE(writer.errors().size(), 1);
    QVERIFY2(writer.errors().constFirst().contains(QLatin1String("\"ev\"")), qPrintable(writer.errors().constFirst()));
    QCOMPARE(root.readFile(Paths::AuditRulesFile), QByteArray("-w /a -p wa -k a\n"));
    QCOMPARE(root.readFile(Paths::EventsFile), settings);
}

void EventsWriterTest::linksRefused_data()
{
    QTest::addColumn<QString>("link");
    QTest::newRow("settings-file") << QString(Paths::EventsFile);
    QTest::newRow("audit-rules-file") << QString(Paths::AuditRulesFile);
}

// A link is neither replaced by a file nor written through: both files stay.
void EventsWriterTest::linksRefused()
{
    QFETCH(QString, link);
    TestRoot root;
    writeEvent(root, Group, QStringLiteral("ev"), QByteArray(R"({"enabled": "1", "message-audit-rules": "-w /a -p wa -k a"})"));
    root.writeFile(Paths::EventsFile, "{\n}\n");
    root.writeFile(Paths::AuditRulesFile, "");
    root.writeFile(QStringLiteral("/etc/target"), "kept\n");
    QVERIFY(QFile::remove(root.placed(link)));
    QVERIFY(QFile::link(root.placed(QStringLiteral("/etc/target")), root.placed(link)));
    const auto tree = parseEvents();
    EventsWriter writer = placedWriter();
    QVERIFY(!writer.write(tree.get()));
    QCOMPARE(writer.errors().size(), 1);
    QVERIFY2(writer.errors().constFirst().startsWith(link + QLatin1String(" is a symbolic link")), qPrintable(writer.errors().constFirst()));
    QVERIFY(QFileInfo(root.placed(link)).isSymLink());
    QCOMPARE(root.readFile(QStringLiteral("/etc/target")), QByteArray("kept\n"));
    const QString other = link == Paths::EventsFile ? QString(Paths::AuditRulesFile) : QString(Paths::EventsFile);
    QCOMPARE(root.readFile(other), other == Paths::EventsFile ? QByteArray("{\n}\n") : QByteArray());
}

QTEST_GUILESS_MAIN(EventsWriterTest)
#include "eventswritertest.moc"
