#include "childprocess.h"
#include "editors/fileeditor.h"
#include "editors/problemsmessage.h"
#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "model/singleeventsparser.h"
#include "notifications/notificationcatalogue.h"
#include "platform/fileread.h"
#include "platform/paths.h"
#include "plugin/quoradminevents.h"
#include "rotation/logrotateparser.h"
#include "rotation/logrotationsettings.h"
#include "syslogng/commonsettingsparser.h"
#include "syslogng/destinationsmodel.h"
#include "syslogng/destinationssettings.h"
#include "testroot.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QTextStream>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
// Far above what any of these inputs needs when read in linear time, also in
// a sanitizer build on a busy machine, and below the two minutes and more the
// quadratic readers took over 100,000 keys (hangs never end).
constexpr qint64 TimeLimitMs = 60000;

const QString Fifo = QStringLiteral("fifo");
const QString Oversize = QStringLiteral("oversize");
const QString Directory = QStringLiteral("directory");
const QString LinkLoop = QStringLiteral("link-loop");

// Puts the hostile thing at a system path: a FIFO, a sparse file one byte over
// limit, a directory, a link to itself, or the given bytes.
void placeHostile(const TestRoot &root, const QString &systemPath, const QString &kind, const QByteArray &content, qint64 limit)
{
    const QString placed = root.placed(systemPath);
    QDir().mkpath(QFileInfo(placed).path());
    QFile::remove(placed);
    if (kind == Fifo) {
        QCOMPARE(::mkfifo(QFile::encodeName(placed).constData(), 0600), 0);
    } else if (kind == Oversize) {
        QFile file(placed);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(limit + 1));
    } else if (kind == Directory) {
        QVERIFY(QDir().mkpath(placed));
    } else if (kind == LinkLoop) {
        QVERIFY(QFile::link(placed, placed));
    } else {
        root.writeFile(systemPath, content);
    }
}

// What stands at a path: its kind and, for a regular file, its bytes.
QByteArray snapshot(const QString &placed)
{
    struct stat status;
    if (::lstat(QFile::encodeName(placed).constData(), &status) != 0) {
        return "missing";
    }
    if (!S_ISREG(status.st_mode)) {
        return "mode " + QByteArray::number(status.st_mode & S_IFMT);
    }
    QFile file(placed);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// count pieces made by piece(n), joined at once: appending one by one grows
// the text by exact reallocations, which the address sanitizer makes quadratic.
template<typename Piece>
QByteArray joined(int count, Piece piece)
{
    QByteArrayList pieces;
    pieces.reserve(count);
    for (int n = 0; n < count; ++n) {
        pieces << piece(QByteArray::number(n));
    }
    return pieces.join();
}

QByteArray manyKeys(int count, const QByteArray &keyPrefix)
{
    return "{ \"enabled\": \"1\""
        + joined(count,
                 [&](const QByteArray &n) {
                     return QByteArray(", \"" + keyPrefix + n + "\": \"v" + n + '"');
                 })
        + " }";
}

// The common file's form with count options in one destination.
QByteArray manyOptions(int count)
{
    return "destination velta_many_dst {\n"
        + joined(count,
                 [](const QByteArray &n) {
                     return QByteArray("    file(\"/var/log/many" + n + "\");\n");
                 })
        + "};\n\n";
}

QByteArray unclosedParenthesis()
{
    return "destination d {\n    file(\"/var/log/a\"\n"
        + joined(60000,
                 [](const QByteArray &n) {
                     return QByteArray("    x" + n + "\n");
                 })
        + "};\n\n";
}

// Kilobytes by which the process's peak memory rose since the last call.
qint64 peakGrowthKb()
{
    static qint64 last = 0;
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    qint64 peak = 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            peak = line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    return peak - std::exchange(last, peak);
}

// Peak memory stays within a small multiple of the input (not measured under
// the address sanitizer, whose own bookkeeping dominates).
void verifyMemory(qint64 inputBytes, int factor = 20)
{
#ifndef __SANITIZE_ADDRESS__
    const qint64 growth = peakGrowthKb();
    QVERIFY2(growth < 64 * 1024 + factor * inputBytes / 1024, qPrintable(QStringLiteral("peak memory rose by %1 kB").arg(growth)));
#else
    Q_UNUSED(inputBytes)
    Q_UNUSED(factor)
#endif
}

void verifyTime(const QElapsedTimer &timer)
{
    QVERIFY2(timer.elapsed() < TimeLimitMs, qPrintable(QStringLiteral("took %1 ms").arg(timer.elapsed())));
}

// The classes every reader meets, with what it says of each: text files and
// JSON files differ in what they say of a NUL byte and of garbage.
void commonRows(bool json)
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("fifo") << Fifo << QByteArray() << QStringLiteral(": not a regular file");
    QTest::newRow("oversize") << Oversize << QByteArray() << QStringLiteral(": larger than");
    QTest::newRow("nul") << QString() << QByteArray("{ \"a\": 1 }\0{ \"b\": 2 }\n", 22)
                         << (json ? QStringLiteral(": not valid JSON: garbage at the end of the document at offset 10")
                                  : QStringLiteral(": a NUL byte at offset 10"));
    QTest::newRow("garbage") << QString() << QByteArray("\xff\xfe\x80 {{ \x01\x02", 9)
                             << (json ? QStringLiteral(": not valid JSON: illegal value at offset 1") : QStringLiteral(": not UTF-8 text"));
}

EventTreeItem *child(EventTreeItem *root, const QString &id)
{
    return root->findById(id);
}

const char DictionaryChild[] = "--dictionary-child";

// Run in a child, since the dictionary is read once per process: parses the
// package and prints "<id> <visible> <editable>" for the parameters of the
// event "good", then the error text.
int printDictionaryUse()
{
    SingleEventsParser parser(Paths::placed(Paths::EventsFile));
    std::unique_ptr<EventTreeItem> tree(parser.parse());
    QTextStream out(stdout);
    for (const QString &id : {QStringLiteral("message-type"), QStringLiteral("name_en")}) {
        const EventTreeItem *item = child(tree.get(), id);
        out << id << ' ' << item->isVisible() << ' ' << item->isEditable() << '\n';
    }
    out << parser.errorString() << '\n';
    return 0;
}
}

class BadInputTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        peakGrowthKb();
    }

    // Package files: an event file or a group file that cannot be read is
    // named and the rest of the package still reads.
    void eventPackage_data()
    {
        commonRows(true);
        QTest::newRow("wrong-types") << QString() << QByteArray(R"({ "enabled": true, "name_en": 7, "message-params": [ 1 ] })")
                                     << QStringLiteral(": event \"bad\", key \"enabled\": a boolean where a number or a string is expected; read as \"1\"\n");
        QTest::newRow("keys-100000") << QString() << manyKeys(100000, "key") << QString();
    }

    void eventPackage()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        TestRoot root;
        const QString group = Paths::EventSettingsDir + QLatin1String("/g");
        root.writeFile(group + QLatin1String("/good"), R"({ "enabled": 1, "name_en": "Good" })");
        placeHostile(root, group + QLatin1String("/bad"), kind, content, FileRead::SmallFileLimit);

        QElapsedTimer timer;
        timer.start();
        SingleEventsParser parser(root.placed(Paths::EventsFile));
        std::unique_ptr<EventTreeItem> tree(parser.parse());
        verifyTime(timer);
        verifyMemory(content.size());

        QVERIFY(child(tree.get(), QStringLiteral("good")));
        QVERIFY(!parser.damaged());
        if (kind == Fifo) {
            // Only regular files are events: it is passed over unopened.
            QVERIFY(!child(tree.get(), QStringLiteral("bad")));
            QCOMPARE(parser.errorString(), QString());
            return;
        }
        if (message.isEmpty()) {
            QCOMPARE(parser.errorString(), QString());
            QCOMPARE(child(tree.get(), QStringLiteral("bad"))->childCount(), 100000 + 2); // and the two bookkeeping entries
            return;
        }
        QVERIFY2(parser.errorString().startsWith(root.placed(group + QLatin1String("/bad")) + message), qPrintable(parser.errorString()));
        if (qstrcmp(QTest::currentDataTag(), "wrong-types") == 0) {
            EventTreeItem *bad = child(tree.get(), QStringLiteral("bad"));
            QCOMPARE(bad->checkState(), int(Qt::Checked));
            QCOMPARE(bad->name(), QStringLiteral("7"));
            QVERIFY(!bad->findChildById(QStringLiteral("message-params")));
            QVERIFY(parser.errorString().contains(QStringLiteral("key \"message-params\": an array where an object is expected; ignored")));
        }
    }

    void groupFile()
    {
        TestRoot root;
        const QString group = Paths::EventSettingsDir + QLatin1String("/g");
        root.writeFile(group + QLatin1String("/good"), R"({ "enabled": 1 })");
        placeHostile(root, group + QLatin1String("/g"), Fifo, QByteArray(), 0);
        QElapsedTimer timer;
        timer.start();
        SingleEventsParser parser(root.placed(Paths::EventsFile));
        std::unique_ptr<EventTreeItem> tree(parser.parse());
        verifyTime(timer);
        QCOMPARE(tree->child(0)->name(), QStringLiteral("g"));
        QCOMPARE(parser.errorString(), root.placed(group + QLatin1String("/g")) + QStringLiteral(": not a regular file"));
    }

    // The administrator's settings file: named in the page; Apply replaces it
    // only when asked, and keeps what was there beside it.
    void settingsFile_data()
    {
        commonRows(false);
        QTest::newRow("directory") << Directory << QByteArray() << QStringLiteral(": not a regular file");
        QTest::newRow("link-loop") << LinkLoop << QByteArray() << QStringLiteral(": ");
        QTest::newRow("not-json") << QString() << QByteArray("{ \"package-updated\": ") << QStringLiteral(": not valid JSON");
        QTest::newRow("wrong-types") << QString() << QByteArray(R"({ "package-updated": { "enabled": true }, "user-login-failed": 5 })")
                                     << QStringLiteral(
                                            ": event \"package-updated\", key \"enabled\": a boolean where a number or a string is expected; read as \"1\"");
        QTest::newRow("keys-100000") << QString() << "{ \"package-updated\": " + manyKeys(100000, "key") + " }" << QString();
    }

    void settingsFile()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        TestRoot root;
        root.copySampleSystem();
        QDir().mkpath(root.placed(QStringLiteral("/etc/audit/rules.d")));
        QDir().mkpath(root.placed(Paths::SyslogNgConfDir));
        root.installFake(QStringLiteral("quor-wmfunc"), Paths::WmFuncTool);
        placeHostile(root, Paths::EventsFile, kind, content, FileRead::ConfigLimit);
        const QString placed = root.placed(Paths::EventsFile);
        const QByteArray before = snapshot(placed);

        MessageBoxWatcher watcher;
        QElapsedTimer timer;
        timer.start();
        QuorAdminEvents module(nullptr, {});
        module.load();
        verifyTime(timer);
        // The page holds two trees of the events (shown and saved), a node per key each.
        verifyMemory(content.size(), 60);
        const auto *problems = module.findChild<ProblemsMessage *>(QStringLiteral("problemsMessage"));
        QVERIFY(problems);
        if (message.isEmpty()) {
            QVERIFY(problems->isHidden());
            // Each key and its overlay entry.
            QVERIFY(module.currentModel()->root()->findById(QStringLiteral("package-updated"))->childCount() > 200000);
            return;
        }
        QVERIFY(!problems->isHidden());
        QVERIFY2(problems->problems().startsWith(placed + message), qPrintable(problems->problems()));
        if (kind == QString() && qstrcmp(QTest::currentDataTag(), "wrong-types") == 0) {
            QCOMPARE(module.currentModel()->root()->findById(QStringLiteral("package-updated"))->checkState(), int(Qt::Checked));
            QVERIFY(problems->problems().contains(QStringLiteral("event \"user-login-failed\": a number where an object is expected; ignored")));
        }

        // Refused: nothing is written.
        module.save();
        QCOMPARE(watcher.titles().filter(QStringLiteral("Warning!")).size(), 1);
        QCOMPARE(snapshot(placed), before);
        QVERIFY(!QFileInfo::exists(placed + QLatin1String(".unreadable")));

        // Confirmed: the old one is kept beside the new one.
        watcher.clear();
        watcher.queueAnswer(QMessageBox::Yes);
        module.save();
        QCOMPARE(watcher.titles().filter(QStringLiteral("Warning!")).size(), 1);
        QCOMPARE(snapshot(placed + QLatin1String(".unreadable")), kind == Directory ? "mode " + QByteArray::number(S_IFDIR) : before);
        QVERIFY(QFileInfo(placed).isFile());
        QVERIFY(problems->isHidden());
    }

    // The common syslog-ng file: what the reader cannot read whole is named,
    // and the destinations tab never writes it back.
    void commonFile_data()
    {
        commonRows(false);
        QTest::newRow("unclosed-block-at-end") << QString() << QByteArray("destination a {\n    file(\"/var/log/a\");\n};\n\ndestination x {\n")
                                               << QStringLiteral(": the text from line 5 to the end is not read");
        QTest::newRow("extra-close-at-top") << QString() << QByteArray("};\ndestination a {\n    file(\"/var/log/a\");\n};\n\n")
                                            << QStringLiteral(": the \"}\" on line 1 closes no \"{\"");
        QTest::newRow("unclosed-parenthesis-60000-lines")
            << QString() << unclosedParenthesis() << QStringLiteral(": the parentheses or braces inside a block do not balance");
        QTest::newRow("options-100000") << QString() << manyOptions(100000) << QString();
        // Parts of a block the page does not edit (a braced filter, two words, text
        // after an option) and any directive are no damage: they are kept as
        // written (tests/syslogng, editRoundTrip).
        QTest::newRow("parenthesis-closed-in-a-later-block")
            << QString() << QByteArray("destination a {\n    file(\"/a\";\n};\n\ndestination b {\n    file(\"/b\"));\n};\n\n")
            << QStringLiteral(": the parentheses or braces inside a block do not balance");
        QTest::newRow("unclosed-quote") << QString() << QByteArray("destination d {\n    file(\"/var/log/a);\n};\n\n")
                                        << QStringLiteral(": the text from line 2 to the end is not read: a quoted text is not closed");
        QTest::newRow("junk-between-statements") << QString() << QByteArray("log {\n    source(s);\n};\nsource s;\n\n")
                                                 << QStringLiteral(": the text on line 4 is not understood");
        QTest::newRow("extra-close-parenthesis-at-top")
            << QString() << QByteArray("log {\n    source(s);\n};\n)\n") << QStringLiteral(": the \")\" on line 4 closes no \"(\"");
        QTest::newRow("brace-closing-a-parenthesis") << QString() << QByteArray("log {\n    source(s};\n};\n\n")
                                                     << QStringLiteral(": the parentheses or braces inside a block do not balance");
        QTest::newRow("statement-kind-not-in-lowercase")
            << QString() << QByteArray("Log {\n    source(s);\n};\n\n") << QStringLiteral(": the text on line 1 is not understood");
        QTest::newRow("option-ended-inside-its-parentheses") << QString() << QByteArray("log {\n    source(s);\n    parser(p(q);\n  t);\n};\n\n")
                                                             << QStringLiteral(": the parentheses or braces inside a block do not balance");
    }

    void commonFile()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        TestRoot root;
        placeHostile(root, Paths::CommonSyslogNgFile, kind, content, FileRead::ConfigLimit);
        const QString placed = root.placed(Paths::CommonSyslogNgFile);
        const QByteArray before = snapshot(placed);

        QElapsedTimer timer;
        timer.start();
        CommonSettingsParser parser(placed);
        std::unique_ptr<TreeItem> tree(parser.parse());
        verifyTime(timer);
        verifyMemory(content.size());
        QCOMPARE(parser.damaged(), !message.isEmpty());
        if (message.isEmpty()) {
            QCOMPARE(parser.errorString(), QString());
            QCOMPARE(tree->childCount(), 1);
            QCOMPARE(tree->child(0)->childCount(), 100000);
            return;
        }
        QVERIFY2(parser.errorString().startsWith(placed + message), qPrintable(parser.errorString()));

        // The tab names the problem; adding a destination and OK write nothing.
        MessageBoxWatcher watcher;
        timer.restart();
        DestinationsSettings settings;
        verifyTime(timer);
        const auto *problems = settings.findChild<ProblemsMessage *>(QStringLiteral("problemsMessage"));
        QVERIFY(!problems->isHidden());
        QVERIFY(problems->problems().startsWith(placed + message));
        auto *model = qobject_cast<DestinationsModel *>(settings.findChild<QTableView *>(QStringLiteral("destinationsView"))->model());
        auto statement = std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("destination"), QStringLiteral("added"), QVariant()});
        statement->appendChild(std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("file"), QVariant(), QStringLiteral("\"/x\"")}));
        model->addStatement(std::move(statement));
        settings.save();
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Error")});
        QCOMPARE(snapshot(placed), before);

        // Its editor reads only when opened; text it could not show whole it
        // refuses to save over. Readable text is what the editor is there to mend.
        auto *editor = settings.findChild<FileEditor *>();
        editor->show();
        verifyTime(timer);
        const bool unreadable = !kind.isEmpty() || message.startsWith(QLatin1String(": a NUL")) || message.startsWith(QLatin1String(": not UTF-8"));
        QCOMPARE(editor->findChild<ProblemsMessage *>()->isHidden(), !unreadable);
        QCOMPARE(editor->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled(), !unreadable);
        if (unreadable) {
            editor->accept();
            QCOMPARE(snapshot(placed), before);
        }
    }

    // The logrotate file: an include of a FIFO must not hold the check.
    void logrotateFile_data()
    {
        commonRows(false);
        QTest::newRow("include-fifo") << QStringLiteral("include-fifo") << QByteArray() << QStringLiteral(": include ");
        const QByteArray many = "/dorvex/log/velta/events\n{\n" + QByteArray("\tmissingok\n").repeated(100000) + "}\n";
        QTest::newRow("directives-100000") << QString() << many << QString();
    }

    void logrotateFile()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        TestRoot root;
        const QString placed = root.placed(Paths::LogRotateFile);
        if (kind == QLatin1String("include-fifo")) {
            const QString fifo = root.placed(QStringLiteral("/etc/logrotate.d/fifo"));
            QDir().mkpath(QFileInfo(fifo).path());
            QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
            content = "/dorvex/log/velta/events\n{\n\trotate 5\n\tinclude " + QFile::encodeName(fifo) + "\n}\n";
            kind.clear();
        }
        placeHostile(root, Paths::LogRotateFile, kind, content, FileRead::ConfigLimit);
        const QByteArray before = snapshot(placed);

        QElapsedTimer timer;
        timer.start();
        LogRotationSettings settings;
        settings.load();
        verifyTime(timer);
        verifyMemory(content.size());
        const auto *problems = settings.findChild<ProblemsMessage *>(QStringLiteral("problemsMessage"));
        if (message.isEmpty()) {
            LogRotateParser parser(placed);
            std::unique_ptr<TreeItem> tree(parser.parse());
            QCOMPARE(tree->child(0)->childCount(), 100000);
            return;
        }
        QVERIFY2(problems->problems().startsWith(placed + message), qPrintable(problems->problems()));
        if (before.startsWith("mode") || before.size() > FileRead::ConfigLimit || !problems->problems().contains(QLatin1String("include"))) {
            // Not read whole: nothing to save.
            QVERIFY(settings.save());
            QCOMPARE(snapshot(placed), before);
        }
    }

    // The event dictionary: JSON booleans mean what they say; a dictionary
    // that cannot be read is named and then nothing is offered for editing.
    void dictionary_data()
    {
        commonRows(true);
        QTest::newRow("json-booleans") << QString() << QByteArray(R"({ "message-type": { "visible": false }, "name_en": { "editable": true } })") << QString();
        QTest::newRow("wrong-types") << QString() << QByteArray(R"({ "message-type": { "visible": 0 }, "name_en": 5 })")
                                     << QStringLiteral(": entry \"message-type\", key \"visible\": a number where \"true\" or \"false\" is expected; ignored");
    }

    void dictionary()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        TestRoot root;
        root.writeFile(Paths::EventSettingsDir + QLatin1String("/g/good"), R"({ "enabled": 1, "message-type": "info", "name_en": "Good" })");
        placeHostile(root, Paths::EventsDictionary, kind, content, FileRead::SmallFileLimit);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUOR_ADMIN_EVENTS_ROOT"), root.path());
        const ChildRun run = runChild(QCoreApplication::applicationFilePath(), {QLatin1String(DictionaryChild)}, environment, TimeLimitMs);
        QVERIFY2(!run.crashed && run.exitCode == 0, qPrintable(run.output));
        const QStringList lines = run.output.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^(message-type|name_en) ")));
        if (message.isEmpty()) {
            QCOMPARE(lines.mid(0, 2), (QStringList{QStringLiteral("message-type 0 0"), QStringLiteral("name_en 1 1")}));
            return;
        }
        QVERIFY2(run.output.contains(root.placed(Paths::EventsDictionary) + message), qPrintable(run.output));
        if (kind.isEmpty() && qstrcmp(QTest::currentDataTag(), "wrong-types") == 0) {
            // What is plain is still read: a number is no "false", so the item stays visible.
            QCOMPARE(lines.mid(0, 2), (QStringList{QStringLiteral("message-type 1 0"), QStringLiteral("name_en 1 1")}));
        } else {
            QCOMPARE(lines.mid(0, 2), (QStringList{QStringLiteral("message-type 1 0"), QStringLiteral("name_en 1 0")}));
        }
    }

    // The notification catalogue: one bad file is named, the others still count.
    void catalogue_data()
    {
        commonRows(false);
    }

    void catalogue()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        TestRoot root;
        root.writeFile(Paths::NotificationCatalogueDir + QLatin1String("velta-event-watcher_a.notifyrc"),
                       "[Event/usbAdded]\nName[ru]=Подключено USB-устройство\n");
        const QString bad = Paths::NotificationCatalogueDir + QLatin1String("velta-event-watcher_b.notifyrc");
        placeHostile(root, bad, kind, content, FileRead::SmallFileLimit);
        NotificationCatalogue &catalogue = NotificationCatalogue::instance();
        catalogue.reset();
        QElapsedTimer timer;
        timer.start();
        QVERIFY(catalogue.load());
        verifyTime(timer);
        QCOMPARE(catalogue.appName(QStringLiteral("usbAdded")), QStringLiteral("velta-event-watcher_a"));
        if (kind == Fifo) {
            // Only regular files are listed: it is passed over unopened.
            QCOMPARE(catalogue.problems(), QStringList());
            catalogue.reset();
            return;
        }
        QCOMPARE(catalogue.problems().size(), 1);
        QVERIFY2(catalogue.problems().constFirst().startsWith(root.placed(bad) + message), qPrintable(catalogue.problems().join(QLatin1Char('\n'))));
        catalogue.reset();
    }
};

int main(int argc, char **argv)
{
    if (argc == 2 && qstrcmp(argv[1], DictionaryChild) == 0) {
        QCoreApplication app(argc, argv);
        return printDictionaryUse();
    }
    QApplication app(argc, argv);
    BadInputTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "badinputtest.moc"
