#include "childprocess.h"
#include "editors/fileeditor.h"
#include "editors/problemsmessage.h"
#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "model/singleeventsparser.h"
#include "notifications/notificationcatalogue.h"
#include "notifications/notifyrcfile.h"
#include "pageapply.h"
#include "platform/auditdatabase.h"
#include "platform/checkedwrite.h"
#include "platform/configcheck.h"
#include "platform/fileread.h"
#include "platform/paths.h"
#include "plugin/quoradminevents.h"
#include "rotation/logrotateparser.h"
#include "rotation/logrotationsettings.h"
#include "syslogng/commonsettingsparser.h"
#include "syslogng/destinationsmodel.h"
#include "syslogng/destinationssettings.h"
#include "testroot.h"
#include "waited.h"

#include <KConfig>
#include <KConfigGroup>

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QTextStream>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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
const QString DevZeroLink = QStringLiteral("link-to-dev-zero");
// A UTF-16 text with its byte order mark, as an editor on another system saves it.
const QByteArray Utf16(
    "\xff\xfe"
    "e\0x\0e\0c\0\n\0",
    12);

// Puts the hostile thing at a system path: a FIFO, a sparse file one byte over
// limit, a directory, a link to itself, a link to /dev/zero, or the given bytes.
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
    } else if (kind == DevZeroLink) {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), placed));
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

// The bytes of a literal, NUL bytes and all.
template<int N>
QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
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
    const ParameterValue::Range range = SingleEventsParser::valueRange(QStringLiteral("name_en"));
    out << "limits " << range.minimum.has_value() << ' ' << range.maximum.has_value() << '\n';
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
            // Only regular files are events: it is passed over unopened, and named.
            QVERIFY(!child(tree.get(), QStringLiteral("bad")));
            QCOMPARE(parser.errorString(), root.placed(group + QLatin1String("/bad")) + QStringLiteral(": not a regular file; no event is read from it"));
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
        PageApply::run(module);
        QCOMPARE(watcher.titles().filter(QStringLiteral("Warning!")).size(), 1);
        QCOMPARE(snapshot(placed), before);
        QVERIFY(!QFileInfo::exists(placed + QLatin1String(".unreadable")));

        // Confirmed: the old one is kept beside the new one.
        watcher.clear();
        watcher.queueAnswer(QMessageBox::Yes);
        if (kind == Oversize) {
            // Too large for a snapshot too: going on without one is asked as well.
            watcher.queueAnswer(QMessageBox::Yes);
        }
        PageApply::run(module);
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
        Waited::saveTab(settings);
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
        QVERIFY(Waited::loadTab(settings));
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
            QVERIFY(Waited::saveTab(settings));
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
        // No value fits between them: neither is applied.
        QTest::newRow("minimum-above-maximum")
            << QString() << QByteArray(R"({ "message-type": { "visible": false }, "name_en": { "editable": true, "minimum": 10, "maximum": "5" } })")
            << QStringLiteral(": entry \"name_en\", key \"minimum\": 10 is above the \"maximum\" 5; neither limit is applied");
        // The JSON reader took it as a character.
        QTest::newRow("nul-in-a-string") << QString() << raw("{ \"name_en\": { \"ru\": \"a\0b\" } }") << QStringLiteral(": a NUL byte at offset 23");
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
        if (qstrcmp(QTest::currentDataTag(), "minimum-above-maximum") == 0) {
            // The rest of the entry still holds.
            QCOMPARE(lines.mid(0, 2), (QStringList{QStringLiteral("message-type 0 0"), QStringLiteral("name_en 1 1")}));
            QVERIFY2(run.output.contains(QLatin1String("\nlimits 0 0\n")), qPrintable(run.output));
            return;
        }
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

    // A second catalogue file that lists an event again is named on the page,
    // with the file that keeps it.
    void catalogueSecondClaimShown()
    {
        TestRoot root;
        root.copySampleSystem();
        root.installFake(QStringLiteral("quor-wmfunc"), Paths::WmFuncTool);
        const QString second = Paths::NotificationCatalogueDir + QLatin1String("velta-event-watcher_extra.notifyrc");
        root.writeFile(second, "[Event/usbAdded]\nName[ru]=Ещё раз\n");
        NotificationCatalogue::instance().reset();
        MessageBoxWatcher watcher;
        QuorAdminEvents module(nullptr, {});
        module.load();
        const auto *problems = module.findChild<ProblemsMessage *>(QStringLiteral("problemsMessage"));
        QVERIFY(problems && !problems->isHidden());
        const QString kept = root.placed(Paths::NotificationCatalogueDir + QLatin1String("velta-event-watcher_devices.notifyrc"));
        QVERIFY2(problems->problems().contains(root.placed(second) + QLatin1String(": the event \"usbAdded\" is listed by ") + kept),
                 qPrintable(problems->problems()));
        QCOMPARE(NotificationCatalogue::instance().appName(QStringLiteral("usbAdded")), QStringLiteral("velta-event-watcher_devices"));
        NotificationCatalogue::instance().reset();
    }

    // The audit types store: read through the guard, named with its reason,
    // never written over when it could not be read whole; its names are made
    // unique in linear time.
    void auditStore_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("fifo") << Fifo << QByteArray() << QStringLiteral(": not a regular file");
        QTest::newRow("link-to-dev-zero") << DevZeroLink << QByteArray() << QStringLiteral(": not a regular file");
        QTest::newRow("directory") << Directory << QByteArray() << QStringLiteral(": not a regular file");
        QTest::newRow("link-loop") << LinkLoop << QByteArray() << QStringLiteral(": ");
        QTest::newRow("oversize") << Oversize << QByteArray() << QStringLiteral(": larger than");
        QTest::newRow("nul") << QString() << raw("exec\nuid\0open\n") << QStringLiteral(": a NUL byte at offset 8");
        QTest::newRow("utf-16") << QString() << Utf16 << QStringLiteral(": UTF-16 text, not UTF-8");
        QTest::newRow("not-utf-8") << QString() << QByteArray("exec\n\xff\xfe\x80\n") << QStringLiteral(": not UTF-8 text");
        QTest::newRow("names-100000") << QString() << joined(100000, [](const QByteArray &n) {
            return QByteArray("name" + QByteArray::number(n.toInt() % 50000) + '\n');
        }) << QString();
    }

    void auditStore()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        TestRoot root;
        placeHostile(root, Paths::AuditTypeStore, kind, content, FileRead::SmallFileLimit);
        const QString placed = root.placed(Paths::AuditTypeStore);
        const QByteArray before = snapshot(placed);

        QElapsedTimer timer;
        timer.start();
        QString error;
        const bool switched = AuditDatabase::switchOn(QStringLiteral("open"), &error);
        verifyTime(timer);
        verifyMemory(content.size());
        if (message.isEmpty()) {
            QVERIFY2(switched, qPrintable(error));
            const QList<QByteArray> names = root.readFile(Paths::AuditTypeStore).split('\n');
            // Each name once in the order first met, "open", and the end of the last line.
            QCOMPARE(names.size(), 50000 + 2);
            QCOMPARE(names.at(0), QByteArray("name0"));
            QCOMPARE(names.at(49999), QByteArray("name49999"));
            QCOMPARE(names.at(50000), QByteArray("open"));
            return;
        }
        QVERIFY(!switched);
        QVERIFY2(error.startsWith(placed + message), qPrintable(error));
        QCOMPARE(snapshot(placed), before);
        bool known = true;
        QVERIFY(!AuditDatabase::isOn(QStringLiteral("exec"), &known));
        QVERIFY(!known);
    }

    // Apply with a FIFO for the store: it ends, names the store, and leaves
    // the FIFO where it was.
    void auditStoreOnApply()
    {
        TestRoot root;
        root.copySampleSystem();
        QDir().mkpath(root.placed(QStringLiteral("/etc/audit/rules.d")));
        root.installFake(QStringLiteral("quor-wmfunc"), Paths::WmFuncTool);
        placeHostile(root, Paths::AuditTypeStore, Fifo, QByteArray(), 0);
        MessageBoxWatcher watcher;
        QuorAdminEvents module(nullptr, {});
        module.load();
        QElapsedTimer timer;
        timer.start();
        PageApply::run(module);
        verifyTime(timer);
        QVERIFY2(watcher.texts().join(QLatin1Char('\n')).contains(root.placed(Paths::AuditTypeStore) + QStringLiteral(": not a regular file")),
                 qPrintable(watcher.texts().join(QLatin1Char('\n'))));
        QCOMPARE(snapshot(root.placed(Paths::AuditTypeStore)), "mode " + QByteArray::number(S_IFIFO));
    }

    // A user's notification file: read through the user's folder and the
    // text checks; what cannot be read whole is named and never written over.
    void userNotifyrc_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("fifo") << Fifo << QByteArray() << QStringLiteral(": not a regular file");
        QTest::newRow("link-to-dev-zero") << DevZeroLink << QByteArray() << QStringLiteral(": a symbolic link");
        QTest::newRow("oversize") << Oversize << QByteArray() << QStringLiteral(": larger than");
        // Read, the group ended at the NUL; saved, everything after it was lost.
        QTest::newRow("nul") << QString() << raw("[Event/usbAdded]\nExecute=\0\nAction=Popup|Sound\n\n[Event/other]\nAction=Popup\n")
                             << QStringLiteral(": a NUL byte at offset 25");
        QTest::newRow("utf-16") << QString() << Utf16 << QStringLiteral(": UTF-16 text, not UTF-8");
        QTest::newRow("not-utf-8") << QString() << QByteArray("[Event/usbAdded]\nSound=/a\xff.ogg\n") << QStringLiteral(": not UTF-8 text");
    }

    void userNotifyrc()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        TestRoot root;
        const NotifyrcFile file(UserAccount::byUid(geteuid()), QStringLiteral("velta-event-watcher_test"));
        placeHostile(root, file.path(), kind, content, FileRead::SmallFileLimit);
        const QString placed = root.placed(file.path());
        const QByteArray before = snapshot(placed);

        QElapsedTimer timer;
        timer.start();
        NotificationMethods methods;
        QString error;
        QVERIFY(!file.readSection(QStringLiteral("usbAdded"), &methods, &error));
        QVERIFY2(error.startsWith(file.path() + message), qPrintable(error));
        methods.actions = QStringLiteral("Popup");
        error.clear();
        QVERIFY(!file.writeSection(QStringLiteral("usbAdded"), methods, &error));
        QVERIFY2(error.startsWith(file.path() + message), qPrintable(error));
        verifyTime(timer);
        QCOMPARE(snapshot(placed), before);
    }

    // Two groups of one event: read as the watcher reads them (merged, the last
    // value wins), and saved as one group, so that the change takes effect.
    void userNotifyrcDuplicateGroups()
    {
        TestRoot root;
        const NotifyrcFile file(UserAccount::byUid(geteuid()), QStringLiteral("velta-event-watcher_test"));
        root.writeFile(file.path(),
                       "[Event/usbAdded]\nAction=Popup\nSound=/a.ogg\n\n[Global]\nIconName=quor\n\n"
                       "# the user's own note\n[Event/usbAdded]\nAction=Sound\n");
        const QString placed = root.placed(file.path());
        NotificationMethods methods;
        QString error;
        QVERIFY(file.readSection(QStringLiteral("usbAdded"), &methods, &error));
        {
            KConfig config(placed, KConfig::SimpleConfig);
            const KConfigGroup group = config.group(QStringLiteral("Event/usbAdded"));
            QCOMPARE(methods.actions, group.readEntry("Action", QString()));
            QCOMPARE(methods.sound, group.readEntry("Sound", QString()));
            QCOMPARE(methods.actions, QStringLiteral("Sound"));
            QCOMPARE(methods.sound, QStringLiteral("/a.ogg"));
        }

        methods.actions = QStringLiteral("Popup|Logfile");
        methods.logFile = QStringLiteral("/var/log/usb.log");
        QVERIFY2(file.writeSection(QStringLiteral("usbAdded"), methods, &error), qPrintable(error));
        const QString written = QString::fromUtf8(root.readFile(file.path()));
        QCOMPARE(written.count(QStringLiteral("[Event/usbAdded]")), 1);
        QVERIFY(written.contains(QStringLiteral("[Global]\nIconName=quor\n")));
        QVERIFY(written.contains(QStringLiteral("# the user's own note\n")));
        KConfig config(placed, KConfig::SimpleConfig);
        const KConfigGroup group = config.group(QStringLiteral("Event/usbAdded"));
        QCOMPARE(group.readEntry("Action", QString()), methods.actions);
        QCOMPARE(group.readEntry("Logfile", QString()), QStringLiteral("file:///var/log/usb.log"));
        NotificationMethods again;
        QVERIFY(file.readSection(QStringLiteral("usbAdded"), &again, &error));
        QCOMPARE(again.actions, methods.actions);
        QCOMPARE(again.sound, methods.sound);
    }

    // Per-event syslog-ng files: one that cannot be read is named in the page;
    // Apply refuses while anything in the folder is not a regular file, before
    // syslog-ng ever sees it.
    void perEventFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("applyMessage"); // empty: Apply goes on
        const QString folderRefusal = QStringLiteral("; syslog-ng would read it with the folder, so nothing is changed until it is removed");
        QTest::newRow("fifo") << Fifo << QByteArray() << QStringLiteral(": not a regular file") << QStringLiteral(": not a regular file") + folderRefusal;
        QTest::newRow("directory") << Directory << QByteArray() << QStringLiteral(": not a regular file") << QStringLiteral(": a folder") + folderRefusal;
        QTest::newRow("link-to-dev-zero") << DevZeroLink << QByteArray() << QStringLiteral(": not a regular file")
                                          << QStringLiteral(": not a regular file") + folderRefusal;
        QTest::newRow("link-loop") << LinkLoop << QByteArray() << QStringLiteral(": ") << QStringLiteral(": ");
        // Over the limit of what Apply stages for the check, too.
        QTest::newRow("oversize") << Oversize << QByteArray() << QStringLiteral(": larger than") << QStringLiteral(": larger than");
        QTest::newRow("nul") << QString() << raw("filter f_x { program(\"x\"); };\0\n") << QStringLiteral(": a NUL byte at offset 29") << QString();
        QTest::newRow("utf-16") << QString() << Utf16 << QStringLiteral(": UTF-16 text, not UTF-8") << QString();
    }

    void perEventFile()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QFETCH(QString, applyMessage);
        TestRoot root;
        root.copySampleSystem();
        QDir().mkpath(root.placed(QStringLiteral("/etc/audit/rules.d")));
        root.installFake(QStringLiteral("quor-wmfunc"), Paths::WmFuncTool);
        const QString hostile = Paths::PerEventFilePrefix + QStringLiteral("hostile.conf");
        placeHostile(root, hostile, kind, content, FileRead::ConfigLimit);
        const QByteArray before = snapshot(root.placed(hostile));
        const QByteArray settingsBefore = snapshot(root.placed(Paths::EventsFile));

        MessageBoxWatcher watcher;
        QElapsedTimer timer;
        timer.start();
        QuorAdminEvents module(nullptr, {});
        module.load();
        verifyTime(timer);
        const auto *problems = module.findChild<ProblemsMessage *>(QStringLiteral("problemsMessage"));
        QVERIFY(!problems->isHidden());
        QVERIFY2(problems->problems().contains(hostile + message), qPrintable(problems->problems()));

        timer.restart();
        PageApply::run(module);
        verifyTime(timer);
        QCOMPARE(snapshot(root.placed(hostile)), before);
        if (applyMessage.isEmpty()) {
            return;
        }
        QVERIFY2(watcher.texts().join(QLatin1Char('\n')).contains(hostile + applyMessage), qPrintable(watcher.texts().join(QLatin1Char('\n'))));
        QCOMPARE(snapshot(root.placed(Paths::EventsFile)), settingsBefore);
    }

    // Anything in the include folder that is not a regular file, whatever its
    // name, refuses every change of the folder (the destinations tab's too).
    void includeFolder_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("fifo") << Fifo << QStringLiteral("not a regular file");
        QTest::newRow("directory") << Directory << QStringLiteral("a folder");
        QTest::newRow("link-to-dev-zero") << DevZeroLink << QStringLiteral("not a regular file");
        QTest::newRow("link-loop") << LinkLoop << QString::fromLocal8Bit(std::strerror(ELOOP));
        QTest::newRow("link-to-nothing") << QStringLiteral("link-to-nothing") << QStringLiteral("a link to nothing");
        // The check's copy of the folder could not hold it, syslog-ng would read it.
        QTest::newRow("name-not-utf-8") << QStringLiteral("name-not-utf-8") << QStringLiteral("a name that is not UTF-8");
    }

    void includeFolder()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        TestRoot root;
        root.copySampleSystem();
        QString entry = Paths::SyslogNgConfDir + QStringLiteral("/zz-local.conf");
        const QByteArray undecodable = QFile::encodeName(root.placed(Paths::SyslogNgConfDir)) + "/zz-\xff.conf";
        const auto removeUndecodable = qScopeGuard([&undecodable] {
            ::unlink(undecodable.constData()); // the test folder's removal cannot name it
        });
        if (kind == QLatin1String("link-to-nothing")) {
            QVERIFY(QFile::link(root.placed(QStringLiteral("/nowhere")), root.placed(entry)));
        } else if (kind == QLatin1String("name-not-utf-8")) {
            const int fd = ::open(undecodable.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, "# local\n", 8), ssize_t(8));
            ::close(fd);
            entry = Paths::SyslogNgConfDir + QStringLiteral("/zz-\uFFFD.conf");
        } else {
            placeHostile(root, entry, kind, QByteArray(), 0);
        }
        const QString expected = entry + QLatin1String(": ") + reason;
        const QStringList problems = ConfigCheck::includeFolderProblems(root.placed(Paths::SyslogNgConfDir));
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems.constFirst().startsWith(expected), qPrintable(problems.constFirst()));

        const QString common = root.placed(Paths::CommonSyslogNgFile);
        const QByteArray before = snapshot(common);
        QElapsedTimer timer;
        timer.start();
        const ConfigCheck::Result written = Waited::syslogNg({CheckedWrite::Change{Paths::CommonSyslogNgFile, "# changed\n"}});
        verifyTime(timer);
        QVERIFY(!written.accepted);
        QVERIFY2(written.message.startsWith(expected), qPrintable(written.message));
        QCOMPARE(snapshot(common), before);
        // The check alone says the same.
        QVERIFY(ConfigCheck::syslogNg(root.placed(Paths::SyslogNgConfDir)).message.startsWith(expected));
    }

    // The system's main syslog-ng file: read through the guard; anything but a
    // missing file is refused with its reason, never replaced by a made-up one.
    void mainSyslogNgFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("fifo") << Fifo << QByteArray() << QStringLiteral(": not a regular file");
        QTest::newRow("link-to-dev-zero") << DevZeroLink << QByteArray() << QStringLiteral(": not a regular file");
        QTest::newRow("directory") << Directory << QByteArray() << QStringLiteral(": not a regular file");
        QTest::newRow("link-loop") << LinkLoop << QByteArray() << QStringLiteral(": ");
        QTest::newRow("oversize") << Oversize << QByteArray() << QStringLiteral(": larger than");
        QTest::newRow("nul") << QString() << raw("@version: 4.3\n\0\n") << QStringLiteral(": a NUL byte at offset 14");
        QTest::newRow("utf-16") << QString() << Utf16 << QStringLiteral(": UTF-16 text, not UTF-8");
    }

    void mainSyslogNgFile()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        TestRoot root;
        root.copySampleSystem();
        const QString main = QStringLiteral("/etc/syslog-ng/syslog-ng.conf");
        placeHostile(root, main, kind, content, FileRead::ConfigLimit);
        QElapsedTimer timer;
        timer.start();
        const ConfigCheck::Result check = ConfigCheck::syslogNg(root.placed(Paths::SyslogNgConfDir));
        verifyTime(timer);
        verifyMemory(0);
        QVERIFY(!check.accepted);
        QVERIFY2(check.message.contains(main + message), qPrintable(check.message));

        // The destinations tab's save is refused and writes nothing.
        const QString common = root.placed(Paths::CommonSyslogNgFile);
        const QByteArray before = snapshot(common);
        const ConfigCheck::Result written = Waited::syslogNg({CheckedWrite::Change{Paths::CommonSyslogNgFile, "# changed\n"}});
        QVERIFY(!written.accepted);
        QVERIFY2(written.message.contains(main + message), qPrintable(written.message));
        QCOMPARE(snapshot(common), before);
    }

    // Time linear in the input where its size drives a loop: the events
    // reader's merge of many current settings, the common file's line numbers
    // for many problems, logrotate's includes of one folder many times.
    void settingsMerge_data()
    {
        QTest::addColumn<QByteArray>("package"); // the event file
        QTest::addColumn<QByteArray>("settings"); // the settings file
        QTest::addColumn<QString>("problem"); // the first, after the file's path
        // An event file holds at most 4 MiB: 150,000 keys.
        const QByteArray many = manyKeys(150000, "key");
        const QByteArray event = R"({ "enabled": 1, "name_en": "Good" })";
        const auto settingsOf = [](const QByteArray &current) -> QByteArray {
            return "{ \"good\": " + current + " }";
        };
        QTest::newRow("current-200000") << event << settingsOf(manyKeys(200000, "key")) << QString();
        QTest::newRow("package-150000") << many << settingsOf(R"({ "enabled": "0" })") << QString();
        QTest::newRow("both-150000") << many << settingsOf(many) << QString();
        QTest::newRow("current-200000-one-of-wrong-type")
            << event << settingsOf(manyKeys(200000, "key").replace("\"enabled\": \"1\"", "\"enabled\": true"))
            << QStringLiteral(": event \"good\", key \"enabled\": a boolean where a number or a string is expected; read as \"1\"");
        QTest::newRow("events-200000-not-objects") << event
                                                   << QByteArray("{ \"good\": { \"enabled\": \"0\" }"
                                                                 + joined(200000,
                                                                          [](const QByteArray &n) {
                                                                              return QByteArray(", \"e" + n + "\": " + n);
                                                                          })
                                                                 + " }")
                                                   << QStringLiteral(": event \"e0\": a number where an object is expected; ignored");
    }

    void settingsMerge()
    {
        QFETCH(QByteArray, package);
        QFETCH(QByteArray, settings);
        QFETCH(QString, problem);
        TestRoot root;
        root.writeFile(Paths::EventSettingsDir + QLatin1String("/g/good"), package);
        root.writeFile(Paths::EventsFile, settings);
        QElapsedTimer timer;
        timer.start();
        SingleEventsParser parser(root.placed(Paths::EventsFile));
        std::unique_ptr<EventTreeItem> tree(parser.parse());
        verifyTime(timer);
        verifyMemory(package.size() + settings.size(), 60);
        QVERIFY(child(tree.get(), QStringLiteral("good")));
        if (!problem.isEmpty()) {
            QVERIFY2(parser.errorString().startsWith(root.placed(Paths::EventsFile) + problem), qPrintable(parser.errorString().left(1000)));
            return;
        }
        QCOMPARE(parser.errorString(), QString());
        // Each key (with its overlay entry when it is a current setting).
        QVERIFY(child(tree.get(), QStringLiteral("good"))->childCount() > 150000);
    }

    void commonFileDirectives()
    {
        TestRoot root;
        const QByteArray content = QByteArray("@x\n").repeated(100000);
        root.writeFile(Paths::CommonSyslogNgFile, content);
        QElapsedTimer timer;
        timer.start();
        CommonSettingsParser parser(root.placed(Paths::CommonSyslogNgFile));
        std::unique_ptr<TreeItem> tree(parser.parse());
        verifyTime(timer);
        verifyMemory(content.size());
        // Directives are kept as written, for syslog-ng to judge.
        QCOMPARE(parser.errorString(), QString());
        QVERIFY(tree);
    }

    void logrotateIncludes()
    {
        TestRoot root;
        const QString folder = root.placed(QStringLiteral("/etc/logrotate.d"));
        root.writeFile(QStringLiteral("/etc/logrotate.d/other"), "/var/log/other {\n\tmissingok\n}\n");
        const QByteArray content = "/dorvex/log/velta/events\n{\n\tmissingok\n}\n" + QByteArray("include " + QFile::encodeName(folder) + '\n').repeated(100000);
        root.writeFile(Paths::LogRotateFile, content);
        // Only the reader's own scan counts here, not logrotate's.
        root.removeProgram(QStringLiteral("logrotate"));
        QElapsedTimer timer;
        timer.start();
        LogRotateParser parser(root.placed(Paths::LogRotateFile));
        std::unique_ptr<TreeItem> tree(parser.parse());
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed < TimeLimitMs, qPrintable(QStringLiteral("took %1 ms").arg(elapsed)));
        QVERIFY(tree);
        QCOMPARE(parser.errorString(), QString());
        // A FIFO in the folder is found all the same.
        QCOMPARE(::mkfifo(QFile::encodeName(folder + QStringLiteral("/fifo")).constData(), 0600), 0);
        LogRotateParser again(root.placed(Paths::LogRotateFile));
        tree.reset(again.parse());
        QVERIFY2(again.errorString().contains(QStringLiteral("is not a regular file; the file was not checked")), qPrintable(again.errorString()));
    }

    // Very many problems: the message shows the first few and how many more;
    // the whole list is behind Details.
    void manyProblems()
    {
        TestRoot root;
        root.copySampleSystem();
        QDir().mkpath(root.placed(QStringLiteral("/etc/audit/rules.d")));
        root.installFake(QStringLiteral("quor-wmfunc"), Paths::WmFuncTool);
        const QString group = Paths::EventSettingsDir + QLatin1String("/many");
        QVERIFY(QDir().mkpath(root.placed(group)));
        const QString longName = QString(200, QLatin1Char('x'));
        for (int n = 0; n < 1200; ++n) {
            const QString path = root.placed(group + QLatin1Char('/') + longName + QString::number(n));
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        QElapsedTimer timer;
        timer.start();
        QuorAdminEvents module(nullptr, {});
        module.load();
        module.show();
        QCoreApplication::processEvents();
        verifyTime(timer);
        auto *problems = module.findChild<ProblemsMessage *>(QStringLiteral("problemsMessage"));
        QCOMPARE(problems->problems().split(QLatin1Char('\n')).size(), 1200);
        const QStringList shown = problems->shownText().split(QLatin1Char('\n'));
        QCOMPARE(shown.size(), ProblemsMessage::ShownProblems + 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^and 1\\D?195 more problems \\(see Details\\)$")).match(shown.constLast()).hasMatch(),
                 qPrintable(shown.constLast()));
        for (const QString &line : shown) {
            QVERIFY(line.size() <= ProblemsMessage::ShownLineLength);
        }
        QVERIFY(!problems->detailsShown());
        problems->setDetailsShown(true);
        QCoreApplication::processEvents();
        verifyTime(timer);
        const auto *details = problems->findChild<QPlainTextEdit *>(QStringLiteral("problemsDetailsText"));
        QVERIFY(details->isVisible());
        QCOMPARE(details->toPlainText(), problems->problems());
    }

    // What the events reader passes over is named, with the event or group.
    void packageEntries_data()
    {
        QTest::addColumn<QString>("entry"); // below the package folder
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        const QByteArray event = R"({ "enabled": 1, "name_en": "Other" })";
        QTest::newRow("event-fifo") << "g/bad" << Fifo << QByteArray() << "not a regular file; no event is read from it";
        QTest::newRow("event-folder") << "g/bad" << Directory << QByteArray() << "an empty folder; no event or group is read from it";
        QTest::newRow("event-link-to-dev-zero") << "g/bad" << DevZeroLink << QByteArray()
                                                << "a link to something that is not a regular file; no event is read from it";
        QTest::newRow("event-link-loop") << "g/bad" << LinkLoop << QByteArray() << "a link to nothing or a link loop; no event is read from it";
        QTest::newRow("event-name-with-a-dot") << "g/.bad" << QString() << event << "a name that starts with a dot; no event is read from it";
        QTest::newRow("event-name-not-utf-8") << "g/bad\xff" << QStringLiteral("raw-name") << event << "a name that is not UTF-8; no event is read from it";
        QTest::newRow("event-name-twice") << "h/good" << QString() << event
                                          << QStringLiteral("an event of this name is read from %1/g already; not read").arg(QString(Paths::EventSettingsDir));
        QTest::newRow("group-is-a-file") << "h" << QString() << event << "a file where a group folder is expected; not read";
        QTest::newRow("group-is-a-link") << "h" << QStringLiteral("link-to-group") << QByteArray() << "a symbolic link to a folder; no group is read from it";
        QTest::newRow("nul-in-an-event-string") << "g/bad" << QString() << raw("{ \"name_en\": \"a\0b\" }") << "a NUL byte at offset 15";
        QTest::newRow("nul-in-a-group-string") << "g/g" << QString() << raw("{ \"group-params\": { \"name_en\": \"a\0b\" } }") << "a NUL byte at offset 33";
        QTest::newRow("group-params-array") << "g/g" << QString() << QByteArray(R"({ "group-params": [ "G" ] })")
                                            << "key \"group-params\": an array where an object is expected; the folder's name is shown";
    }

    void packageEntries()
    {
        QFETCH(QString, entry);
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        TestRoot root;
        const QString package = Paths::EventSettingsDir + QLatin1Char('/');
        root.writeFile(package + QStringLiteral("g/good"), R"({ "enabled": 1, "name_en": "Good" })");
        QString shownEntry = root.placed(package + entry);
        QByteArray rawName;
        if (kind == QLatin1String("raw-name")) {
            // Bytes that are no UTF-8 in the name: made by the system call, as a tar would.
            const QByteArray raw = QFile::encodeName(root.placed(package + QStringLiteral("g/bad"))) + '\xff';
            rawName = raw;
            const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
            ::close(fd);
            shownEntry = QFile::decodeName(raw);
        } else if (kind == QLatin1String("link-to-group")) {
            QVERIFY(QFile::link(root.placed(package + QStringLiteral("g")), root.placed(package + entry)));
        } else {
            placeHostile(root, package + entry, kind, content, FileRead::SmallFileLimit);
        }
        QElapsedTimer timer;
        timer.start();
        SingleEventsParser parser(root.placed(Paths::EventsFile));
        std::unique_ptr<EventTreeItem> tree(parser.parse());
        verifyTime(timer);
        if (!rawName.isEmpty()) {
            ::unlink(rawName.constData()); // Qt's removal of the root cannot name it
        }
        QVERIFY(child(tree.get(), QStringLiteral("good")));
        QVERIFY2(parser.errorString().contains(shownEntry + QLatin1String(": ") + message), qPrintable(parser.errorString()));
        QVERIFY(!child(tree.get(), QStringLiteral("bad")));
    }

    // A logrotate file of two blocks: the panel shows and edits the main
    // log's, says so, and keeps the other as it was.
    void logrotateBlocks()
    {
        TestRoot root;
        const QByteArray other = "/var/log/other {\n\tmissingok\n\trotate 3\n\tweekly\n}\n";
        root.writeFile(Paths::LogRotateFile, other + "\n/dorvex/log/velta/events\n{\n\tmissingok\n\trotate 7\n\tsize 50M\n}\n");
        LogRotationSettings settings;
        QVERIFY(Waited::loadTab(settings));
        const auto *problems = settings.findChild<ProblemsMessage *>(QStringLiteral("problemsMessage"));
        QVERIFY2(problems->problems().contains(
                     root.placed(Paths::LogRotateFile)
                     + QStringLiteral(": 2 blocks; the one for /dorvex/log/velta/events (/dorvex/log/velta/events, line 7) is shown and edited")),
                 qPrintable(problems->problems()));
        auto *number = settings.findChild<QSpinBox *>(QStringLiteral("numberOfLogs"));
        QCOMPARE(number->value(), 7);
        QVERIFY(settings.findChild<QCheckBox *>(QStringLiteral("logSizeCheckBox"))->isChecked());
        QVERIFY(!settings.findChild<QCheckBox *>(QStringLiteral("periodCheckBox"))->isChecked());
        number->setValue(9);
        MessageBoxWatcher watcher;
        QVERIFY2(Waited::saveTab(settings), qPrintable(watcher.texts().join(QLatin1Char('\n'))));
        QCOMPARE(root.readFile(Paths::LogRotateFile), other + "\n/dorvex/log/velta/events\n{\n\trotate 9\n\tmissingok\n\tsize 50M\n}\n");
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
