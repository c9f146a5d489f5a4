#include "editors/fileeditor.h"
#include "eventmenu.h"
#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "notifications/dbusdialog.h"
#include "notifications/notificationcatalogue.h"
#include "notifications/notificationfile.h"
#include "pageapply.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "plugin/quoradminevents.h"
#include "services/snghandler.h"
#include "syslogng/adddestinationdialog.h"
#include "syslogng/destinationssettings.h"
#include "testroot.h"
#include "waited.h"

#include <KMessageWidget>

#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{
const QString EventsSocket = QStringLiteral("/run/syslog-ng-mod-velta/events.sock");
const QString LiveDir = QStringLiteral("/test/live");
const int DaemonTimeout = 30000;

// A real syslog-ng on the test root, run as the demo runs it: started here, then
// restarted by the module through the sudo stand-in, and stopped when this goes
// away, whatever the test's outcome.
class LiveSyslogNg
{
public:
    explicit LiveSyslogNg(const TestRoot &root)
        : m_root(root)
    {
        TestRoot::setFakeVariable("QUOR_LIVE_SYSLOGNG", root.placed(LiveDir).toUtf8());
        TestRoot::setFakeVariable("QUOR_LIVE_SCRIPT", QUOR_SOURCE_DIR "/scripts/live-syslog-ng");
    }
    ~LiveSyslogNg()
    {
        const QByteArray pid = m_root.readFile(LiveDir + QStringLiteral("/syslog-ng.pid")).trimmed();
        if (control(QStringLiteral("stop")).exitCode != 0 && !pid.isEmpty()) {
            ::kill(pid.toInt(), SIGKILL);
        }
        TestRoot::setFakeVariable("QUOR_LIVE_SYSLOGNG", {});
    }
    LiveSyslogNg(const LiveSyslogNg &) = delete;
    LiveSyslogNg &operator=(const LiveSyslogNg &) = delete;

    static Process::Result control(const QString &verb)
    {
        return Process::run(QStringLiteral(QUOR_SOURCE_DIR "/scripts/live-syslog-ng"), {verb}, DaemonTimeout);
    }
    QByteArray pid() const
    {
        return m_root.readFile(LiveDir + QStringLiteral("/syslog-ng.pid")).trimmed();
    }
    // What the notification destination stand-in received, one object per record.
    QList<QJsonObject> received() const
    {
        return jsonLines(m_root.readFile(LiveDir + QStringLiteral("/notifications")));
    }

    static QList<QJsonObject> jsonLines(const QByteArray &text)
    {
        QList<QJsonObject> objects;
        const QList<QByteArray> lines = text.split('\n');
        for (const QByteArray &line : lines) {
            if (!line.isEmpty()) {
                // A line that is not one whole object shows up as an empty one.
                objects << QJsonDocument::fromJson(line).object();
            }
        }
        return objects;
    }

private:
    const TestRoot &m_root;
};

// Runs a program as "nobody", a user with no business with the socket.
Process::Result runAsNobody(const QString &program, const QStringList &arguments)
{
    const QStringList asNobody{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"), program};
    return Process::run(QStringLiteral("/usr/bin/setpriv"), asNobody + arguments, DaemonTimeout);
}

// The event collector's side: one record sent into the socket, as this process
// or as "nobody". The output of a successful send is the record.
Process::Result sendEvent(const TestRoot &root, const QString &messageId, const QString &user, bool asNobody = false)
{
    const QString sender = QStringLiteral(QUOR_SOURCE_DIR "/scripts/send-event");
    const QStringList arguments{QStringLiteral("--root"), root.path(), messageId, QStringLiteral("user=") + user};
    return asNobody ? runAsNobody(sender, arguments) : Process::run(sender, arguments, DaemonTimeout);
}

// The "key", "value" pairs of the options(...) a per-event file hands to the
// notification destination.
QJsonObject writtenOptions(const QByteArray &file)
{
    static const QRegularExpression pair(QStringLiteral("\"([^\"\\\\]*)\", \"([^\"\\\\]*)\""));
    QJsonObject options;
    auto it = pair.globalMatch(QString::fromUtf8(file));
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        options.insert(match.captured(1), match.captured(2));
    }
    return options;
}
}

class LivePipelineTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // The session's user: "nobody", an account every system has.
        qputenv("SUDO_UID", "65534");
        QObject::connect(
            SngHandler::instance(),
            &SngHandler::sngSwitched,
            this,
            [this] {
                ++m_switches;
            },
            Qt::QueuedConnection);
    }

    void sampleRecordsFitTheirEvents();
    void eventsReachTheLogAndTheirNotifications();
    void refusedBeforeRestart_data();
    void refusedBeforeRestart();
    void refusedRestartGoesBack_data();
    void refusedRestartGoesBack();
    void refusedReloadKeepsTheDaemon();
    void oversizedRecordIsRefused();
    void manyNotifiedEventsEachGetTheirOwn();

private:
    // A record sent now reaches the main log.
    void recordArrives(const TestRoot &root, const QString &user)
    {
        const QByteArray logBefore = root.readFile(Paths::MainEventLog);
        const Process::Result sent = sendEvent(root, QStringLiteral("user_logout"), user);
        QVERIFY2(sent.exitCode == 0, sent.output.constData());
        QTRY_VERIFY_WITH_TIMEOUT(root.readFile(Paths::MainEventLog).mid(logBefore.size()).contains(sent.output.trimmed()), DaemonTimeout);
    }

    void enableNotifications(QuorAdminEvents *module, const QString &event, const QString &title)
    {
        QVERIFY(EventMenu::trigger(module, event, QStringLiteral("Enable notifications sending")));
        auto *dialog = module->findChild<DBusDialog *>();
        QVERIFY(dialog->isVisible());
        dialog->findChild<QLineEdit *>(QStringLiteral("titleLineEdit"))->setText(title);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    }

    int m_switches = 0;
};

// The sample main log holds records as the per-event filters see them: one
// "velta-<message-type>" object with the message_id of an event of that type and
// only the parameters that event has.
void LivePipelineTest::sampleRecordsFitTheirEvents()
{
    QHash<QString, QJsonObject> events;
    QDirIterator files(QStringLiteral(QUOR_DATA_DIR "/root") + Paths::EventSettingsDir, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject event = QJsonDocument::fromJson(file.readAll()).object();
        if (event.contains(QStringLiteral("message_id"))) {
            events.insert(event.value(QStringLiteral("message_id")).toString(), event);
        }
    }
    QFile log(QStringLiteral(QUOR_DATA_DIR "/root") + Paths::MainEventLog);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QJsonObject> records = LiveSyslogNg::jsonLines(log.readAll());
    QVERIFY(!records.isEmpty());
    for (const QJsonObject &record : records) {
        QCOMPARE(record.size(), 1);
        const QJsonObject body = record.begin().value().toObject();
        const QJsonObject event = events.value(body.value(QStringLiteral("message_id")).toString());
        QVERIFY2(!event.isEmpty(), QJsonDocument(record).toJson().constData());
        QCOMPARE(record.begin().key(), QStringLiteral("velta-") + event.value(QStringLiteral("message-type")).toString());
        const QJsonObject params = event.value(QStringLiteral("message-params")).toObject();
        for (const QString &key : body.keys()) {
            QVERIFY2(params.contains(key) || key == QLatin1String("message_id") || key == QLatin1String("timestamp"), qPrintable(key));
        }
    }
}

void LivePipelineTest::eventsReachTheLogAndTheirNotifications()
{
    TestRoot root;
    root.copySampleSystem();
    // Anyone may walk up to the socket; only its own mode keeps other users out.
    QVERIFY(QFile::setPermissions(root.path(), QFile::permissions(root.path()) | QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
    LiveSyslogNg daemon(root);
    const Process::Result started = LiveSyslogNg::control(QStringLiteral("start"));
    QVERIFY2(started.exitCode == 0, started.output.constData());
    const QByteArray firstPid = daemon.pid();

    // Two events' notifications through the module, then Apply.
    MessageBoxWatcher boxes;
    NotificationCatalogue::instance().reset();
    QuorAdminEvents module(nullptr, QVariantList());
    module.load();
    enableNotifications(&module, QStringLiteral("Failed user login"), QStringLiteral("Login failed"));
    enableNotifications(&module, QStringLiteral("Session locked"), QStringLiteral("Screen locked"));
    boxes.clear();
    PageApply::run(module);
    QTRY_COMPARE_WITH_TIMEOUT(m_switches, 1, DaemonTimeout);
    QVERIFY2(!boxes.titles().contains(QStringLiteral("Error")), qPrintable(boxes.texts().join(QLatin1Char('\n'))));
    QCOMPARE(LiveSyslogNg::control(QStringLiteral("status")).exitCode, 0);
    // A reload, which loses no record, not a restart.
    QCOMPARE(daemon.pid(), firstPid);

    // A record of an event without notifications first: a filter that let it
    // through would put it before the notified record in the same destination.
    const QByteArray logBefore = root.readFile(Paths::MainEventLog);
    QList<QJsonObject> sent;
    for (const QString &messageId : {QStringLiteral("user_logout"), QStringLiteral("user_login_failed"), QStringLiteral("session-locked")}) {
        const Process::Result result = sendEvent(root, messageId, QStringLiteral("alice"));
        QVERIFY2(result.exitCode == 0, result.output.constData());
        sent << QJsonDocument::fromJson(result.output).object();
    }

    // The main log: one JSON record a line, the new ones as they were sent.
    QTRY_COMPARE_WITH_TIMEOUT(LiveSyslogNg::jsonLines(root.readFile(Paths::MainEventLog).mid(logBefore.size())), sent, DaemonTimeout);
    const QList<QByteArray> logLines = root.readFile(Paths::MainEventLog).split('\n');
    QCOMPARE(logLines.last(), QByteArray());
    for (const QByteArray &line : logLines.mid(0, logLines.size() - 1)) {
        QJsonParseError error;
        QVERIFY2(QJsonDocument::fromJson(line, &error).isObject() && error.error == QJsonParseError::NoError, line.constData());
    }

    // Each notified event's destination got its record, with the options its file holds.
    QTRY_COMPARE_WITH_TIMEOUT(daemon.received().size(), 2, DaemonTimeout);
    struct Notified {
        QString file;
        QJsonObject record;
        QString title;
    };
    const QList<QJsonObject> received = daemon.received();
    for (const Notified &event :
         {Notified{QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-user-login-failed.conf"), sent.at(1), QStringLiteral("Login failed")},
          Notified{QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-session-locked.conf"), sent.at(2), QStringLiteral("Screen locked")}}) {
        const auto it = std::find_if(received.cbegin(), received.cend(), [&event](const QJsonObject &notification) {
            return notification.value(QStringLiteral("record")).toObject() == event.record;
        });
        QVERIFY2(it != received.cend(), qPrintable(event.file));
        const QJsonObject options = it->value(QStringLiteral("options")).toObject();
        QCOMPARE(options, writtenOptions(root.readFile(event.file)));
        QCOMPARE(options.value(QStringLiteral("event_title")).toString(), event.title);
    }

    // Other users see the socket but cannot write to it.
    QCOMPARE(QFileInfo(root.placed(EventsSocket)).permissions() & (QFile::WriteOther | QFile::ReadOther), QFile::Permissions());
    if (::geteuid() == 0) {
        QCOMPARE(runAsNobody(QStringLiteral("test"), {QStringLiteral("-S"), root.placed(EventsSocket)}).exitCode, 0);
        const Process::Result forged = sendEvent(root, QStringLiteral("user_login"), QStringLiteral("mallory"), true);
        QVERIFY2(forged.exitCode != 0 && forged.output.contains("Permission denied"), forged.output.constData());
    } else {
        qWarning("Not run as root: sending as another user is not tried.");
    }

    // A file destination in a folder that does not exist yet gets its records.
    {
        DestinationsSettings tab;
        tab.findChild<QToolButton *>(QStringLiteral("addButton"))->click();
        auto *dialog = tab.findChild<AddDestinationDialog *>();
        dialog->findChild<QLineEdit *>(QStringLiteral("nameEdit"))->setText(QStringLiteral("localCopy"));
        dialog->findChild<QLineEdit *>(QStringLiteral("addressEdit"))->setText(QStringLiteral("/var/log/velta-copy/events"));
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        Waited::saveTab(tab);
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_switches, 2, DaemonTimeout);
    QVERIFY(!root.exists(QStringLiteral("/var/log/velta-copy")));
    const Process::Result copied = sendEvent(root, QStringLiteral("user_login"), QStringLiteral("bob"));
    QVERIFY2(copied.exitCode == 0, copied.output.constData());
    QTRY_VERIFY_WITH_TIMEOUT(root.readFile(QStringLiteral("/var/log/velta-copy/events")).contains(copied.output.trimmed()), DaemonTimeout);
    // In the main log's format: the record alone, one a line.
    QCOMPARE(LiveSyslogNg::jsonLines(root.readFile(QStringLiteral("/var/log/velta-copy/events"))),
             QList<QJsonObject>{QJsonDocument::fromJson(copied.output).object()});
    QCOMPARE(root.readFile(QStringLiteral("/var/log/velta-copy/events")), copied.output.trimmed() + '\n');

    // A broken edit through the file editor is refused: the file stays, the
    // daemon is not restarted and goes on logging.
    {
        const QByteArray before = root.readFile(Paths::CommonSyslogNgFile);
        const QByteArray runningPid = daemon.pid();
        boxes.clear();
        FileEditor editor(Paths::CommonSyslogNgFile);
        editor.show();
        auto *text = editor.findChild<QTextEdit *>(QStringLiteral("textEdit"));
        text->setPlainText(text->toPlainText() + QStringLiteral("\nlog { source(velta_events_src); destination(no_such_destination); };\n"));
        editor.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        QTRY_COMPARE(boxes.titles(), QStringList{QStringLiteral("Error")});
        QVERIFY2(boxes.texts().constFirst().contains(QStringLiteral("no_such_destination")), qPrintable(boxes.texts().constFirst()));
        QCOMPARE(root.readFile(Paths::CommonSyslogNgFile), before);
        QCOMPARE(m_switches, 2);
        QCOMPARE(daemon.pid(), runningPid);
    }
    const QByteArray logBeforeLast = root.readFile(Paths::MainEventLog);
    const Process::Result last = sendEvent(root, QStringLiteral("user_logout"), QStringLiteral("carol"));
    QVERIFY2(last.exitCode == 0, last.output.constData());
    QTRY_VERIFY_WITH_TIMEOUT(root.readFile(Paths::MainEventLog).mid(logBeforeLast.size()).contains(last.output.trimmed()), DaemonTimeout);
}

// What syslog-ng parses but refuses when it starts is refused before Apply
// writes anything: the daemon is not restarted and goes on logging.
void LivePipelineTest::refusedBeforeRestart_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("shown");

    QTest::newRow("filter-names-undefined-filter")
        << QStringLiteral("/etc/syslog-ng/conf.d/local-filters.conf")
        << QByteArray(
               "# Written by hand.\n"
               "filter local_f { filter(velta_undefined_filter); };\n"
               "log { source(velta_events_src); parser(velta_events_parser); filter(local_f); destination(velta_json_dst); };\n")
        << QStringLiteral("/etc/syslog-ng/conf.d/local-filters.conf:2: filter(velta_undefined_filter) is not defined");
    QTest::newRow("notification-class-missing") << QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-by-hand.conf")
                                                << QByteArray(
                                                       "destination by_hand_dst {\n"
                                                       "    python(\n"
                                                       "\tclass(\"syslog_ng_mod_velta.velta_syslog_ng_destination.NoSuchDestination\")\n"
                                                       "\t);\n"
                                                       "};\n"
                                                       "log { source(velta_events_src); parser(velta_events_parser); destination(by_hand_dst); };\n")
                                                << QStringLiteral(
                                                       "/etc/syslog-ng/conf.d/mod-velta-by-hand.conf:3: the Python class "
                                                       "\"syslog_ng_mod_velta.velta_syslog_ng_destination.NoSuchDestination\" cannot be imported");
}

void LivePipelineTest::refusedBeforeRestart()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, shown);

    TestRoot root;
    root.copySampleSystem();
    LiveSyslogNg daemon(root);
    const Process::Result started = LiveSyslogNg::control(QStringLiteral("start"));
    QVERIFY2(started.exitCode == 0, started.output.constData());
    const QByteArray runningPid = daemon.pid();
    const int switches = m_switches;
    root.writeFile(file, content);
    // syslog-ng itself reads the file without complaint.
    const Process::Result syntax =
        Process::run(QStringLiteral("syslog-ng"),
                     {QStringLiteral("--syntax-only"), QLatin1String("--cfgfile=") + root.placed(LiveDir + QStringLiteral("/syslog-ng.conf"))},
                     DaemonTimeout);
    QCOMPARE(syntax.exitCode, 0);

    MessageBoxWatcher boxes;
    NotificationCatalogue::instance().reset();
    QuorAdminEvents module(nullptr, QVariantList());
    module.load();
    enableNotifications(&module, QStringLiteral("Failed user login"), QStringLiteral("Login failed"));
    const QByteArray settings = root.readFile(Paths::EventsFile);
    boxes.clear();
    PageApply::run(module);
    // Either the check at opening found the file refused already, and the
    // question names it, or the change's own check refuses it: both name it.
    QVERIFY2(boxes.titles() == QStringList{QStringLiteral("Problem on disk")} || boxes.titles() == QStringList{QStringLiteral("Error")},
             qPrintable(boxes.titles().join(QLatin1Char(','))));
    QVERIFY2(boxes.texts().constFirst().contains(file), qPrintable(boxes.texts().constFirst()));
    // Nothing written, nothing restarted, no snapshot of a refused change.
    QVERIFY(!root.exists(QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-user-login-failed.conf")));
    QCOMPARE(root.readFile(Paths::EventsFile), settings);
    QVERIFY(!root.exists(Paths::SnapshotDir) || QDir(root.placed(Paths::SnapshotDir)).isEmpty());
    QTest::qWait(200);
    QCOMPARE(m_switches, switches);
    QCOMPARE(daemon.pid(), runningPid);
    QCOMPARE(LiveSyslogNg::control(QStringLiteral("status")).exitCode, 0);
    recordArrives(root, QStringLiteral("alice"));
}

// syslog-ng refuses the new files when it is restarted (here a stand-in refuses
// once): the files before Apply are put back and syslog-ng runs them again.
// syslog-ng refuses the change: a daemon that ran keeps running what it ran
// (a refused reload); one that did not is restarted with the files put back.
void LivePipelineTest::refusedRestartGoesBack_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<QString>("said");
    QTest::newRow("reload") << true
                            << QStringLiteral("syslog-ng refused the new configuration and kept running with the previous one; its files were put back.");
    QTest::newRow("restart") << false << QStringLiteral("syslog-ng refused the new configuration and was restarted with the previous one.");
}

void LivePipelineTest::refusedRestartGoesBack()
{
    QFETCH(bool, running);
    QFETCH(QString, said);
    TestRoot root;
    root.copySampleSystem();
    LiveSyslogNg daemon(root);
    const Process::Result started = LiveSyslogNg::control(QStringLiteral("start"));
    QVERIFY2(started.exitCode == 0, started.output.constData());
    const QByteArray firstPid = daemon.pid();
    if (!running) {
        QCOMPARE(LiveSyslogNg::control(QStringLiteral("stop")).exitCode, 0);
    }

    MessageBoxWatcher boxes;
    NotificationCatalogue::instance().reset();
    QuorAdminEvents module(nullptr, QVariantList());
    module.load();
    const QByteArray settings = root.readFile(Paths::EventsFile);
    const QByteArray rules = root.readFile(Paths::AuditRulesFile);
    enableNotifications(&module, QStringLiteral("Failed user login"), QStringLiteral("Login failed"));
    const QString notificationFile = QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-user-login-failed.conf");
    QSignalSpy restarted(SngHandler::instance(), &SngHandler::restartFinished);
    TestRoot::setFakeVariable("QUOR_FAKE_FAIL_ONCE", running ? "reload syslog-ng" : "restart syslog-ng");
    boxes.clear();
    PageApply::run(module);
    // Written first, as Apply does.
    QVERIFY(root.exists(notificationFile));
    QVERIFY(restarted.wait(2 * DaemonTimeout));
    TestRoot::setFakeVariable("QUOR_FAKE_FAIL_ONCE", {});
    const auto outcome = restarted.constFirst().at(1).value<SngHandler::RestartOutcome>();
    QVERIFY(outcome.rolledBack);
    QVERIFY(!outcome.loggingDown);

    // The page says so, in place of the Apply banner.
    auto *message = module.findChild<KMessageWidget *>(QStringLiteral("messageWidget"));
    QCOMPARE(message->messageType(), KMessageWidget::Error);
    QVERIFY2(message->text().startsWith(said), qPrintable(message->text()));
    QVERIFY2(message->text().contains(QLatin1String("refused once by the test")), qPrintable(message->text()));
    QVERIFY2(!message->text().contains(QLatin1String("Applied")), qPrintable(message->text()));
    QVERIFY2(!boxes.titles().contains(QStringLiteral("Error")), qPrintable(boxes.texts().join(QLatin1Char('\n'))));

    // The previous files are back, the daemon runs them, and records arrive.
    QVERIFY(!root.exists(notificationFile));
    QCOMPARE(root.readFile(Paths::EventsFile), settings);
    QCOMPARE(root.readFile(Paths::AuditRulesFile), rules);
    QCOMPARE(LiveSyslogNg::control(QStringLiteral("status")).exitCode, 0);
    if (running) {
        QCOMPARE(daemon.pid(), firstPid);
    }
    QVERIFY(!root.readFile(LiveDir + QStringLiteral("/conf.d/mod-velta-user-login-failed.conf")).size());
    recordArrives(root, QStringLiteral("bob"));
    // The page shows what is on disk: the event's notifications are off again.
    QVERIFY(!module.currentModel()->differsFrom(*module.savedModel()));
}

// The real daemon refuses a configuration that passes every check but cannot
// start (a socket in a folder that does not exist): the import is rolled back
// and the daemon, the same process, runs on with the files put back; --status
// sees what runs: the files on disk, another configuration, a dead daemon.
void LivePipelineTest::refusedReloadKeepsTheDaemon()
{
    TestRoot root;
    root.copySampleSystem();
    LiveSyslogNg daemon(root);
    const Process::Result started = LiveSyslogNg::control(QStringLiteral("start"));
    QVERIFY2(started.exitCode == 0, started.output.constData());
    const QByteArray pid = daemon.pid();
    const QString tool = root.placed(Paths::ConfigManagerTool);
    const auto status = [&tool] {
        const Process::Result shown = Process::run(tool, {QStringLiteral("--status"), QStringLiteral("--json")}, DaemonTimeout, Process::Channels::Separate);
        return QJsonDocument::fromJson(shown.output).object();
    };
    const auto drift = [&status] {
        return QString::fromUtf8(QJsonDocument(status().value(QStringLiteral("drift")).toArray()).toJson(QJsonDocument::Compact));
    };

    const QByteArray common = root.readFile(Paths::CommonSyslogNgFile);
    root.writeFile(Paths::CommonSyslogNgFile,
                   common
                       + "source velta_test_src { unix-dgram(\"/run/syslog-ng-mod-velta/events.sock\"); };\nlog { source(velta_test_src); destination(velta_json_dst); };\n");
    const QString archive = root.placed(QStringLiteral("/test/refused.tar.gz"));
    QCOMPARE(Process::run(tool, {QStringLiteral("-o"), archive}, DaemonTimeout).exitCode, 0);
    root.writeFile(Paths::CommonSyslogNgFile, common);
    QCOMPARE(drift(), QStringLiteral("[]"));

    const Process::Result imported = Process::run(tool,
                                                  {QStringLiteral("-i"), archive, QStringLiteral("--json"), QStringLiteral("--restart-if-changed")},
                                                  2 * DaemonTimeout,
                                                  Process::Channels::Separate);
    QCOMPARE(imported.exitCode, 1);
    QVERIFY2(imported.errorOutput.contains("kept running with the previous one"), imported.errorOutput.constData());
    const QJsonObject summary = QJsonDocument::fromJson(imported.output).object();
    QVERIFY2(summary.contains(QStringLiteral("rolledBack")), imported.output.constData());
    QCOMPARE(summary.value(QStringLiteral("reloaded")).toArray(), QJsonArray{QStringLiteral("syslog-ng")});
    QCOMPARE(root.readFile(Paths::CommonSyslogNgFile), common);
    QCOMPARE(daemon.pid(), pid);
    recordArrives(root, QStringLiteral("alice"));
    const QJsonObject logging = status().value(QStringLiteral("services")).toObject().value(QStringLiteral("syslog-ng")).toObject();
    QCOMPARE(logging, (QJsonObject{{QStringLiteral("running"), true}, {QStringLiteral("configurationOnDisk"), true}}));
    // The refused archive is not what the host holds.
    QCOMPARE(status().value(QStringLiteral("applied")), QJsonValue());

    root.writeFile(Paths::CommonSyslogNgFile, common + "# not reloaded\n");
    QCOMPARE(drift(), QStringLiteral("[{\"change\":\"other configuration\",\"service\":\"syslog-ng\"}]"));
    QCOMPARE(::kill(pid.toInt(), SIGKILL), 0);
    QTRY_COMPARE_WITH_TIMEOUT(LiveSyslogNg::control(QStringLiteral("status")).exitCode, 3, DaemonTimeout);
    QCOMPARE(drift(), QStringLiteral("[{\"change\":\"stopped\",\"service\":\"syslog-ng\"}]"));
}

// A record syslog-ng would cut short is not sent: the sample states its limit.
void LivePipelineTest::oversizedRecordIsRefused()
{
    TestRoot root;
    root.copySampleSystem();
    LiveSyslogNg daemon(root);
    const Process::Result started = LiveSyslogNg::control(QStringLiteral("start"));
    QVERIFY2(started.exitCode == 0, started.output.constData());
    // One argument holds at most 128 KiB: the record grows over several.
    const QString part = QString(100 * 1024, QLatin1Char('x'));
    const QString sender = QStringLiteral(QUOR_SOURCE_DIR "/scripts/send-event");
    const QStringList below{QStringLiteral("--root"), root.path(), QStringLiteral("user_logout"), QStringLiteral("user=") + part, QStringLiteral("a=") + part};
    const QByteArray logBefore = root.readFile(Paths::MainEventLog);
    const Process::Result accepted = Process::run(sender, below, DaemonTimeout, Process::Channels::Separate);
    QVERIFY2(accepted.exitCode == 0, accepted.errorOutput.constData());
    // Records past the old limit of 64 KiB arrive whole.
    QTRY_VERIFY_WITH_TIMEOUT(root.readFile(Paths::MainEventLog).mid(logBefore.size()) == accepted.output, DaemonTimeout);

    const Process::Result refused = Process::run(sender, below + QStringList{QStringLiteral("b=") + part}, DaemonTimeout, Process::Channels::Separate);
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.errorOutput.contains("more than the 262144 bytes syslog-ng takes"), refused.errorOutput.constData());
    QCOMPARE(refused.output, QByteArray());
}

// The source parses each record once for every log path: with a hundred events
// notified, each destination still gets exactly the records of its own event,
// the main log every JSON record, and a record that is not JSON reaches no
// event's destination.
void LivePipelineTest::manyNotifiedEventsEachGetTheirOwn()
{
    const int events = 100;
    const int perEvent = 3;
    TestRoot root;
    root.copySampleSystem();
    for (int i = 0; i < events; ++i) {
        NotificationFile::Input input;
        input.messageId = QStringLiteral("many_%1").arg(i);
        input.messageType = QStringLiteral("info");
        input.title = input.messageId;
        input.parameterKeys = QStringList{QStringLiteral("n")};
        const NotificationFile::Result file = NotificationFile::build(input);
        QVERIFY2(file.error.isEmpty(), qPrintable(file.error));
        root.writeFile(NotificationFile::filePath(input.messageId), (file.lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    }
    LiveSyslogNg daemon(root);
    const Process::Result started = LiveSyslogNg::control(QStringLiteral("start"));
    QVERIFY2(started.exitCode == 0, started.output.constData());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(root.placed(EventsSocket)), DaemonTimeout);

    const QByteArray logBefore = root.readFile(Paths::MainEventLog);
    const int sender = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    QVERIFY(sender >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(root.placed(EventsSocket));
    QVERIFY(size_t(socketPath.size()) < sizeof(address.sun_path));
    std::copy(socketPath.cbegin(), socketPath.cend(), address.sun_path);
    const auto send = [&](const QByteArray &record) {
        return ::sendto(sender, record.constData(), size_t(record.size()), 0, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == record.size();
    };
    QList<QByteArray> jsonRecords;
    for (int round = 0; round < perEvent; ++round) {
        for (int i = 0; i <= events; ++i) {
            // The last "event" of each round is one no file notifies.
            const QString messageId = i < events ? QStringLiteral("many_%1").arg(i) : QStringLiteral("not_notified");
            jsonRecords << QStringLiteral("{\"velta-info\": {\"message_id\": \"%1\", \"n\": \"%2\"}}").arg(messageId).arg(round).toUtf8();
            QVERIFY(send(jsonRecords.last()));
        }
        QVERIFY(send("not json many_0"));
    }
    ::close(sender);

    const auto logRecords = [&root, logBefore] {
        QList<QByteArray> lines = root.readFile(Paths::MainEventLog).mid(logBefore.size()).split('\n');
        lines.removeLast();
        return lines;
    };
    QTRY_COMPARE_WITH_TIMEOUT(logRecords().size(), jsonRecords.size(), DaemonTimeout);
    QCOMPARE(logRecords(), jsonRecords);
    QTRY_COMPARE_WITH_TIMEOUT(daemon.received().size(), events * perEvent, DaemonTimeout);
    QHash<QString, int> notified;
    for (const QJsonObject &notification : daemon.received()) {
        const QString messageId = notification.value(QStringLiteral("record"))
                                      .toObject()
                                      .value(QStringLiteral("velta-info"))
                                      .toObject()
                                      .value(QStringLiteral("message_id"))
                                      .toString();
        QCOMPARE(notification.value(QStringLiteral("options")).toObject().value(QStringLiteral("event_title")).toString(), messageId);
        ++notified[messageId];
    }
    QCOMPARE(notified.size(), events);
    for (auto it = notified.cbegin(); it != notified.cend(); ++it) {
        QCOMPARE(it.value(), perEvent);
    }
}
QTEST_MAIN(LivePipelineTest)

#include "livepipelinetest.moc"
