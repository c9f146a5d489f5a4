#include "editors/fileeditor.h"
#include "eventmenu.h"
#include "messageboxwatcher.h"
#include "notifications/dbusdialog.h"
#include "notifications/notificationcatalogue.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "plugin/quoradminevents.h"
#include "services/snghandler.h"
#include "syslogng/adddestinationdialog.h"
#include "syslogng/destinationssettings.h"
#include "testroot.h"

#include <QDialogButtonBox>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <csignal>
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
        qputenv("QUOR_LIVE_SYSLOGNG", root.placed(LiveDir).toUtf8());
    }
    ~LiveSyslogNg()
    {
        const QByteArray pid = m_root.readFile(LiveDir + QStringLiteral("/syslog-ng.pid")).trimmed();
        if (control(QStringLiteral("stop")).exitCode != 0 && !pid.isEmpty()) {
            ::kill(pid.toInt(), SIGKILL);
        }
        qunsetenv("QUOR_LIVE_SYSLOGNG");
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
    return Process::run(QStringLiteral("setpriv"), asNobody + arguments, DaemonTimeout);
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

private:
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
    module.save();
    QTRY_COMPARE_WITH_TIMEOUT(m_switches, 1, DaemonTimeout);
    QVERIFY2(!boxes.titles().contains(QStringLiteral("Error")), qPrintable(boxes.texts().join(QLatin1Char('\n'))));
    QCOMPARE(LiveSyslogNg::control(QStringLiteral("status")).exitCode, 0);
    QVERIFY2(daemon.pid() != firstPid, "Apply did not restart syslog-ng");

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
        tab.save();
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_switches, 2, DaemonTimeout);
    QVERIFY(!root.exists(QStringLiteral("/var/log/velta-copy")));
    const Process::Result copied = sendEvent(root, QStringLiteral("user_login"), QStringLiteral("bob"));
    QVERIFY2(copied.exitCode == 0, copied.output.constData());
    QTRY_VERIFY_WITH_TIMEOUT(root.readFile(QStringLiteral("/var/log/velta-copy/events")).contains(copied.output.trimmed()), DaemonTimeout);

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

QTEST_MAIN(LivePipelineTest)

#include "livepipelinetest.moc"
