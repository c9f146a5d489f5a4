// Generates event settings packages of 500, 5,000 and 50,000 events under a
// temporary system root and measures load(), the change test after one toggle
// and save().
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "model/singleeventsparser.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "plugin/quoradminevents.h"
#include "services/snghandler.h"
#include "syslogng/commonsettingsparser.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <algorithm>

#include <map>
#include <memory>

namespace
{
constexpr int GroupSize = 50;

void writeText(const QString &path, const QByteArray &text)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

QByteArray eventId(int n)
{
    return "event-" + QByteArray::number(n).rightJustified(5, '0');
}

// An event with parameters of every kind: scalars, an object, a list of
// strings, a list of objects; every tenth depends on its predecessor, every
// seventh has audit rules, every thirteenth audit events, every fifth
// generates load.
QByteArray eventFile(int n)
{
    QByteArray json = "{\n    \"name_en\": \"Generated event " + QByteArray::number(n) + "\",\n    \"name_ru\": \"Событие " + QByteArray::number(n)
        + "\",\n    \"message_id\": \"" + eventId(n).replace('-', '_') + "\",\n    \"message-type\": \"info\",\n"
        + "    \"message-params\": { \"user\": \"&User\", \"path\": \"&Path\", \"count\": 3 },\n"
        + "    \"filter-values\": {\n        \".auditd.type\": \"SYSCALL\",\n        \".auditd.msg.exe\": [ \"/usr/bin/a" + QByteArray::number(n)
        + "\", \"/usr/bin/b\" ],\n        \"directories\": [ { \"path\": \"/var/log\", \"size\": 10 }, { \"path\": \"/tmp\", \"size\": 5 } ]\n    },\n"
        + "    \"notification_repetition\": { \"enabled\": 0, \"interval\": 30 }";
    if (n % 10 == 9) {
        json += ",\n    \"message-depends\": \"" + eventId(n - 1) + "\"";
    }
    if (n % 7 == 0) {
        json += ",\n    \"message-audit-rules\": \"-w /etc/bench" + QByteArray::number(n) + " -p wa -k bench" + QByteArray::number(n) + "\"";
    }
    if (n % 13 == 0) {
        json += ",\n    \"message-audit-events\": [ \"exec\" ]";
    }
    if (n % 5 == 0) {
        json += ",\n    \"generates-load\": \"1\"";
    }
    return json + "\n}\n";
}

// A system root holding a package of count events and current settings that
// overlay every tenth event.
std::unique_ptr<QTemporaryDir> generateSystem(int count)
{
    auto dir = std::make_unique<QTemporaryDir>();
    const QString root = dir->path();
    const QString package = root + Paths::EventSettingsDir;
    QByteArray current = "{\n";
    for (int n = 0; n < count; ++n) {
        const QString group = QStringLiteral("group-%1").arg(n / GroupSize, 3, 10, QLatin1Char('0'));
        if (n % GroupSize == 0) {
            writeText(package + QLatin1Char('/') + group + QLatin1Char('/') + group,
                      "{ \"group-params\": { \"name_en\": \"" + group.toUtf8() + "\", \"name_ru\": \"" + group.toUtf8() + "\" } }\n");
        }
        writeText(package + QLatin1Char('/') + group + QLatin1Char('/') + QString::fromLatin1(eventId(n)), eventFile(n));
        if (n % 10 == 5) {
            current += "\t\"" + eventId(n) + "\" : { \"enabled\" : \"0\", \"filter-values\" : { \".auditd.msg.exe\" : [ \"/usr/local/bin/x\" ] } },\n";
        }
    }
    current.chop(2);
    writeText(root + Paths::EventsFile, current + "\n}\n");
    writeText(root + Paths::EventsDictionary, "{ \"message-type\": { \"visible\": \"false\" } }\n");
    writeText(root + Paths::AuditTypeStore, "exec\n");
    QDir().mkpath(root + Paths::SyslogNgConfDir);
    QDir().mkpath(root + QFileInfo(Paths::AuditRulesFile).path());
    // The programs as installed, the fakes in place of the services: without
    // the configuration manager Apply asks whether to go on without a snapshot,
    // and the question would wait for an answer.
    const Process::Result placed =
        Process::run(QStringLiteral(QUOR_SOURCE_DIR "/scripts/place-programs"), {root, QStringLiteral(QUOR_CONFIG_MANAGER_PATH)}, 60000);
    if (!placed.finished || placed.exitCode != 0) {
        qFatal("cannot place the programs: %s", placed.output.constData());
    }
    return dir;
}

// One event whose current settings override count keys, each recorded in an
// overlay entry.
std::unique_ptr<QTemporaryDir> generateOverriddenEvent(int count)
{
    auto dir = std::make_unique<QTemporaryDir>();
    const QString root = dir->path();
    writeText(root + Paths::EventSettingsDir + QLatin1String("/group-000/event-00000"), eventFile(0));
    QByteArray current = "{ \"event-00000\" : { \"enabled\" : \"1\"";
    for (int n = 0; n < count; ++n) {
        current += ", \"key" + QByteArray::number(n) + "\" : \"" + QByteArray::number(n) + '"';
    }
    writeText(root + Paths::EventsFile, current + " } }\n");
    return dir;
}

// A common syslog-ng file with count options in one destination.
std::unique_ptr<QTemporaryDir> generateCommonFile(int count)
{
    auto dir = std::make_unique<QTemporaryDir>();
    QByteArray text = "destination velta_many_dst {\n";
    for (int n = 0; n < count; ++n) {
        text += "    file(\"/var/log/many" + QByteArray::number(n) + "\");\n";
    }
    writeText(dir->path() + Paths::CommonSyslogNgFile, text + "};\n\n");
    return dir;
}

// Lets the peak (VmHWM) start again from the present size, so that one
// process can measure several loads.
void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1) {
        qWarning("cannot reset the peak memory; the figures below include what came before");
    }
}

qint64 peakMemoryKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    return -1;
}
}

class EventsBench : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // Restarts and status queries go to the fakes placed in each system
        // root, never to the real services.
    }

    void peakMemory_data()
    {
        sizes();
    }

    // The peak starts again from the present size before each load; the trees
    // of the previous row are freed first.
    void peakMemory()
    {
        QFETCH(int, count);
        useSystem(count);
        QuorAdminEvents module(nullptr, {});
        QThreadPool::globalInstance()->waitForDone();
        resetPeakMemory();
        const qint64 before = peakMemoryKb();
        module.load();
        const qint64 after = peakMemoryKb();
        qInfo("peak memory of load() with %d events: %lld kB above the empty module", count, after - before);
    }

    void load_data()
    {
        sizes();
    }

    void load()
    {
        QFETCH(int, count);
        useSystem(count);
        QuorAdminEvents module(nullptr, {});
        QBENCHMARK {
            module.load();
        }
        QCOMPARE(module.currentModel()->rowCount(), (count + GroupSize - 1) / GroupSize);
    }

    // One call at a time, each once the work the previous one left behind has
    // ended (the replaced trees are freed on worker threads, the restart runs
    // in one): reloads and Apply do not follow each other within a tenth of a
    // second. The median of the calls is the result.
    void loadSettled()
    {
        useSystem(5000);
        QuorAdminEvents module(nullptr, {});
        settledMedian([&module] {
            module.load();
        });
    }

    void saveSettled()
    {
        useSystem(5000);
        QuorAdminEvents module(nullptr, {});
        module.load();
        settledMedian([&module] {
            toggleOneEvent(module);
            apply(module);
        });
    }

    // The parse alone: the trees are freed after the measurement, so neither
    // their destruction nor the model's reset is timed.
    void parse_data()
    {
        sizes();
    }

    void parse()
    {
        QFETCH(int, count);
        useSystem(count);
        std::vector<std::unique_ptr<EventTreeItem>> trees;
        QBENCHMARK {
            trees.emplace_back(SingleEventsParser(Paths::placed(Paths::EventsFile)).parse());
        }
        QCOMPARE(trees.back()->childCount(), (count + GroupSize - 1) / GroupSize);
    }

    // The service status query that ends every load, alone: two "sudo systemctl
    // status" runs of the fake sudo, whose start dominates here.
    void statusQuery()
    {
        QSignalSpy answered(SngHandler::instance(), &SngHandler::statusReady);
        QBENCHMARK {
            SngHandler::instance()->queryStatus();
            QVERIFY(answered.wait(10000));
        }
    }

    void changeTest_data()
    {
        sizes();
    }

    void changeTest()
    {
        QFETCH(int, count);
        useSystem(count);
        QuorAdminEvents module(nullptr, {});
        module.load();
        toggleOneEvent(module);
        bool differs = false;
        QBENCHMARK {
            differs = module.currentModel()->differsFrom(*module.savedModel());
        }
        QVERIFY(differs);
    }

    void save_data()
    {
        sizes();
    }

    void save()
    {
        QFETCH(int, count);
        useSystem(count);
        QuorAdminEvents module(nullptr, {});
        module.load();
        QBENCHMARK {
            toggleOneEvent(module);
            apply(module);
        }
    }

    // Both readers are linear: ten times the keys or options take about ten
    // times as long.
    void overriddenKeys_data()
    {
        manySizes();
    }

    void overriddenKeys()
    {
        QFETCH(int, count);
        const auto system = generateOverriddenEvent(count);
        qputenv("QUOR_ADMIN_EVENTS_ROOT", system->path().toUtf8());
        std::unique_ptr<EventTreeItem> tree;
        QBENCHMARK {
            tree.reset(SingleEventsParser(Paths::placed(Paths::EventsFile)).parse());
        }
        QVERIFY(tree->findById(QStringLiteral("key%1").arg(count - 1)));
    }

    void commonOptions_data()
    {
        manySizes();
    }

    void commonOptions()
    {
        QFETCH(int, count);
        const auto system = generateCommonFile(count);
        std::unique_ptr<TreeItem> tree;
        QBENCHMARK {
            tree.reset(CommonSettingsParser(system->path() + Paths::CommonSyslogNgFile).parse());
        }
        QCOMPARE(tree->child(0)->childCount(), count);
    }

private:
    void manySizes()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("10000") << 10000;
        QTest::newRow("100000") << 100000;
    }

    void sizes()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("500") << 500;
        QTest::newRow("5000") << 5000;
        QTest::newRow("50000") << 50000;
    }

    template<typename Call>
    static void settledMedian(Call call)
    {
        constexpr int Calls = 9;
        std::vector<double> times;
        for (int n = 0; n < Calls; ++n) {
            QThreadPool::globalInstance()->waitForDone();
            QTest::qWait(50);
            QElapsedTimer timer;
            timer.start();
            call();
            times.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::sort(times.begin(), times.end());
        QTest::setBenchmarkResult(times[Calls / 2], QTest::WalltimeMilliseconds);
    }

    // Generated when first used: the largest package takes a while to write.
    void useSystem(int count)
    {
        std::unique_ptr<QTemporaryDir> &system = m_systems[count];
        if (!system) {
            system = generateSystem(count);
        }
        qputenv("QUOR_ADMIN_EVENTS_ROOT", m_systems.at(count)->path().toUtf8());
    }

    // Event 1 of the last group: no audit rules or events, so save asks nothing.
    static void toggleOneEvent(QuorAdminEvents &module)
    {
        CheckableTreeModel *model = module.currentModel();
        const QModelIndex group = model->index(model->rowCount() - 1, 0);
        model->setData(model->index(1, 0, group), Qt::Checked, Qt::CheckStateRole);
    }

    // Apply runs its outside programs on the event loop: save() starts it and
    // the page says when it has ended.
    static void apply(QuorAdminEvents &module)
    {
        QSignalSpy applied(&module, &QuorAdminEvents::applyFinished);
        module.save();
        QVERIFY(applied.count() > 0 || applied.wait(600000));
    }

    std::map<int, std::unique_ptr<QTemporaryDir>> m_systems;
};

QTEST_MAIN(EventsBench)
#include "eventsbench.moc"
