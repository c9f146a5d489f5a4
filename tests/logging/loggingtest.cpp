#include "eventtreebuilder.h"
#include "testroot.h"

#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "platform/auditdatabase.h"
#include "platform/checkedwrite.h"
#include "platform/configsnapshot.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/userfolder.h"
#include "rotation/logrotateparser.h"
#include "services/snghandler.h"
#include "syslogng/commonsettingsparser.h"
#include "waited.h"

#include <QFile>
#include <QMutex>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using Action = std::function<void(const TestRoot &)>;
Q_DECLARE_METATYPE(Action)

namespace
{
struct Line {
    QString category;
    QtMsgType type;
    QString text;
};

// Warnings come from worker threads too (the service switches).
QMutex linesMutex;
QList<Line> lines;
QtMessageHandler previousHandler = nullptr;

void recordLine(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    {
        QMutexLocker lock(&linesMutex);
        lines.append({QString::fromLatin1(context.category), type, text});
    }
    previousHandler(type, context, text); // still shown in the test's output
}

QList<Line> recorded()
{
    QMutexLocker lock(&linesMutex);
    return lines;
}

// The warnings on the module's categories; Qt's own lines are not ours to judge.
QList<Line> ourWarnings()
{
    QList<Line> warnings;
    const QList<Line> all = recorded();
    for (const Line &line : all) {
        if (line.type == QtWarningMsg && line.category.startsWith(QLatin1String("quor.admin.events"))) {
            warnings.append(line);
        }
    }
    return warnings;
}

// How many warnings on category hold every fragment.
int matching(const QString &category, const QStringList &fragments)
{
    const QList<Line> warnings = ourWarnings();
    return int(std::count_if(warnings.cbegin(), warnings.cend(), [&](const Line &line) {
        return line.category == category && std::all_of(fragments.cbegin(), fragments.cend(), [&](const QString &fragment) {
                   return line.text.contains(fragment);
               });
    }));
}

void makeFifo(const TestRoot &root, const QString &systemPath)
{
    root.writeFile(systemPath, QByteArray());
    QFile::remove(root.placed(systemPath));
    QCOMPARE(mkfifo(QFile::encodeName(root.placed(systemPath)).constData(), 0644), 0);
}

void makeProgram(const TestRoot &root, const QString &systemPath, const QByteArray &script)
{
    root.writeFile(systemPath, "#!/bin/sh\n" + script);
    QVERIFY(QFile::setPermissions(root.placed(systemPath), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void setParameter(const QString &key, ParameterValue::Kind kind, const QString &value)
{
    CheckableTreeModel model;
    auto *root = new EventTreeItem(QVector<QVariant>{QString(), QString()});
    EventTreeItem *parameter = addTreeItem(root, key, EventTreeItem::Parameter, QStringLiteral("10"));
    parameter->setValueKind(kind);
    model.setRoot(root);
    model.setData(model.index(0, 1), value, Qt::EditRole);
}

// "$ROOT" in an expected fragment stands for the test's system root.
QStringList placedFragments(const QStringList &fragments, const TestRoot &root)
{
    QStringList placed = fragments;
    placed.replaceInStrings(QStringLiteral("$ROOT"), root.path());
    return placed;
}
}

// Every failure the module reports or skips leaves one warning with the path
// (or command) and the reason on the category of the layer where it happened.
class LoggingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        previousHandler = qInstallMessageHandler(recordLine);
    }

    void cleanupTestCase()
    {
        qInstallMessageHandler(previousHandler);
    }

    void init()
    {
        QMutexLocker lock(&linesMutex);
        lines.clear();
    }

    void failureIsLoggedOnce_data()
    {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QStringList>("fragments");

        const QString platform = QStringLiteral("quor.admin.events.platform");
        const QString model = QStringLiteral("quor.admin.events.model");

        QTest::newRow("reader-fifo") << Action([](const TestRoot &root) {
            makeFifo(root, Paths::CommonSyslogNgFile);
            CommonSettingsParser parser(Paths::placed(Paths::CommonSyslogNgFile));
            std::unique_ptr<TreeItem> tree(parser.parse());
        }) << model << QStringList{QStringLiteral("$ROOT") + Paths::CommonSyslogNgFile, QStringLiteral("not a regular file")};
        QTest::newRow("reader-not-utf8") << Action([](const TestRoot &root) {
            root.writeFile(Paths::LogRotateFile, "/var/log/velta {\n\xff\xfe\n}\n");
            LogRotateParser parser(Paths::placed(Paths::LogRotateFile));
            std::unique_ptr<TreeItem> tree(parser.parse());
        }) << model << QStringList{QStringLiteral("$ROOT") + Paths::LogRotateFile, QStringLiteral("not UTF-8 text")};
        QTest::newRow("reader-missing-rotation-file") << Action([](const TestRoot &) {
            LogRotateParser parser(Paths::placed(Paths::LogRotateFile));
            std::unique_ptr<TreeItem> tree(parser.parse());
        }) << QStringLiteral("quor.admin.events.rotation")
                                                      << QStringList{QStringLiteral("$ROOT") + Paths::LogRotateFile, QStringLiteral("missing")};
        QTest::newRow("refused-value") << Action([](const TestRoot &) {
            setParameter(QStringLiteral("limit_percent"), ParameterValue::Kind::Number, QStringLiteral("150"));
        }) << model << QStringList{QStringLiteral("limit_percent"), QStringLiteral("150"), QStringLiteral("refused")};
        QTest::newRow("write-into-missing-folder") << Action([](const TestRoot &root) {
            QVERIFY(!CheckedWrite::replaceFile(root.placed(QStringLiteral("/etc/none/file.conf")), "data"));
        }) << platform << QStringList{QStringLiteral("$ROOT/etc/none/file.conf"), QStringLiteral("cannot create a temporary file")};
        QTest::newRow("write-refused-by-logrotate") << Action([](const TestRoot &root) {
            root.writeFile(Paths::LogRotateFile, "/var/log/velta {\n rotate 2\n}\n");
            QVERIFY(!Waited::logrotate(Paths::LogRotateFile, "/var/log/velta {\n nosuchdirective\n").accepted);
        }) << platform << QStringList{Paths::LogRotateFile, QStringLiteral("logrotate refuses")};
        QTest::newRow("user-folder-link") << Action([](const TestRoot &root) {
            root.writeFile(QStringLiteral("/elsewhere/.keep"), QByteArray());
            root.writeFile(QStringLiteral("/home/.keep"), QByteArray());
            QVERIFY(QFile::link(root.placed(QStringLiteral("/elsewhere")), root.placed(QStringLiteral("/home/user"))));
            QVERIFY(!UserFolder::openSystem(QStringLiteral("/home/user/.config"), getuid(), getgid()).isOpen());
        }) << platform << QStringList{QStringLiteral("/home/user"), QStringLiteral("a symbolic link")};
        QTest::newRow("unknown-audit-type") << Action([](const TestRoot &) {
            QVERIFY(!AuditDatabase::switchOn(QStringLiteral("nosuchtype")));
        }) << platform << QStringList{QStringLiteral("nosuchtype")};
        QTest::newRow("program-not-started") << Action([](const TestRoot &root) {
            QVERIFY(!Process::run(root.placed(QStringLiteral("/usr/bin/none")), {QStringLiteral("--now")}, 5000).started);
        }) << platform << QStringList{QStringLiteral("$ROOT/usr/bin/none --now"), QStringLiteral("could not be started")};
        QTest::newRow("program-without-answer") << Action([](const TestRoot &root) {
            makeProgram(root, QStringLiteral("/usr/bin/hangs"), "exec sleep 60\n");
            QVERIFY(!Process::run(root.placed(QStringLiteral("/usr/bin/hangs")), {}, 200).finished);
        }) << platform << QStringList{QStringLiteral("$ROOT/usr/bin/hangs"), QStringLiteral("no answer")};
        QTest::newRow("snapshot-tool-fails") << Action([](const TestRoot &root) {
            makeProgram(root, Paths::ConfigManagerTool, "echo 'no space left on the disk' >&2\nexit 1\n");
            QVERIFY(!ConfigSnapshot::take(nullptr));
        }) << platform << QStringList{QStringLiteral("$ROOT") + Paths::ConfigManagerTool + QStringLiteral(" --snapshot"), QStringLiteral("no space left")};
        QTest::newRow("service-switch-fails") << Action([](const TestRoot &) {
            TestRoot::setFakeVariable("QUOR_FAKE_FAIL", "stop syslog-ng");
            SngHandler::instance()->syslogNgStop();
        }) << QStringLiteral("quor.admin.events.services")
                                              << QStringList{QStringLiteral("sudo systemctl stop syslog-ng"), QStringLiteral("exited with 1")};
    }

    void failureIsLoggedOnce()
    {
        QFETCH(Action, action);
        QFETCH(QString, category);
        QFETCH(QStringList, fragments);

        TestRoot root;
        action(root);
        fragments = placedFragments(fragments, root);
        // Service switches run on a worker thread.
        QTRY_COMPARE(matching(category, fragments), 1);
        TestRoot::setFakeVariable("QUOR_FAKE_FAIL", {});
        // One line per failure: a lower layer's line is not repeated above it.
        QCOMPARE(ourWarnings().size(), 1);
    }

    // What is no failure leaves the log alone: a page opened every day on a
    // fresh system must not fill the journal.
    void normalCasesAreQuiet_data()
    {
        QTest::addColumn<Action>("action");

        QTest::newRow("missing-common-file") << Action([](const TestRoot &) {
            CommonSettingsParser parser(Paths::placed(Paths::CommonSyslogNgFile));
            std::unique_ptr<TreeItem> tree(parser.parse());
        });
        QTest::newRow("missing-user-config-folder") << Action([](const TestRoot &root) {
            root.writeFile(QStringLiteral("/home/user/.keep"), QByteArray());
            const UserFolder folder = UserFolder::openSystem(QStringLiteral("/home/user/.config"), getuid(), getgid());
            QVERIFY(folder.isMissing());
        });
        QTest::newRow("stopped-service-status") << Action([](const TestRoot &root) {
            root.setRunningUnits({});
            QSignalSpy answered(SngHandler::instance(), &SngHandler::statusReady);
            SngHandler::instance()->queryStatus();
            QVERIFY(answered.wait());
            QCOMPARE(answered.constFirst().at(1).value<SngHandler::State>(), SngHandler::State::Stopped);
        });
        QTest::newRow("accepted-value-and-write") << Action([](const TestRoot &root) {
            setParameter(QStringLiteral("limit_percent"), ParameterValue::Kind::Number, QStringLiteral("50"));
            QVERIFY(CheckedWrite::replaceFile(root.placed(QStringLiteral("/etc/file.conf")), "data"));
        });
    }

    void normalCasesAreQuiet()
    {
        QFETCH(Action, action);
        TestRoot root;
        root.writeFile(QStringLiteral("/etc/.keep"), QByteArray());
        action(root);
        QCOMPARE(ourWarnings().size(), 0);
    }

    // kdebugsettings lists every category a warning was seen on.
    void categoriesFileListsEveryCategory()
    {
        QFile file(QStringLiteral(QUOR_BUILD_DIR "/src/quor-admin-events.categories"));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QString listed = QString::fromUtf8(file.readAll());
        for (const char *category : {"quor.admin.events ",
                                     "quor.admin.events.platform ",
                                     "quor.admin.events.model ",
                                     "quor.admin.events.rotation ",
                                     "quor.admin.events.notifications ",
                                     "quor.admin.events.services "}) {
            QVERIFY2(listed.contains(QLatin1String(category)), category);
        }
    }
};

QTEST_GUILESS_MAIN(LoggingTest)

#include "loggingtest.moc"
