#include "notifications/dbusdialog.h"
#include "eventtreebuilder.h"
#include "loadedlibraries.h"
#include "messageboxwatcher.h"
#include "model/eventtreeitem.h"
#include "notifications/checkboxparam.h"
#include "notifications/notificationcatalogue.h"
#include "notifications/notificationfile.h"
#include "notifications/soundpreview.h"
#include "testroot.h"

#include <KConfig>
#include <KConfigGroup>

#include <QCheckBox>
#include <QDBusConnection>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPluginLoader>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <sys/stat.h>

class DBusDialogTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void enableStartsFromDefaults();
    void hiddenEntriesGetNoBox();
    void editOkFollowsChanges_data();
    void editOkFollowsChanges();
    void acceptWritesAndSignals();
    void titleComesBackAsTyped_data();
    void titleComesBackAsTyped();
    void eventMissingFromCatalogue();
    void emptyTitleHint();
    void playMissingSound();
    void previewWithoutItsPluginSaysWhy();
    void previewPluginLoads();

public Q_SLOTS:
    void reparseConfiguration(const QString &appName)
    {
        m_reparsed << appName;
    }

private:
    template<typename T>
    T *widget(const char *name) const
    {
        return m_dialog->findChild<T *>(QLatin1String(name));
    }
    QPushButton *okButton() const
    {
        return widget<QDialogButtonBox>("buttonBox")->button(QDialogButtonBox::Ok);
    }
    QStringList paramBoxes() const;
    QStringList acceptedLines();

    QProcess m_bus;
    QStringList m_reparsed;
    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<MessageBoxWatcher> m_boxes;
    std::unique_ptr<EventTreeItem> m_tree;
    EventTreeItem *m_event = nullptr; // Owned by m_tree.
    std::unique_ptr<DBusDialog> m_dialog;
};

void DBusDialogTest::initTestCase()
{
    qRegisterMetaType<NotificationsDialogType>();
    // The user of the session is an account every system has: "nobody", whose
    // home in the password database is /nonexistent.
    qputenv("SUDO_UID", "65534");
    // A session bus of our own; a second connection listens as the watcher would.
    m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    QVERIFY(m_bus.waitForStarted());
    QVERIFY(m_bus.waitForReadyRead());
    const QByteArray address = m_bus.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    QDBusConnection listener = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("listener"));
    QVERIFY(listener.isConnected());
    QVERIFY(listener.connect(QString(),
                             QStringLiteral("/Config"),
                             QStringLiteral("org.kde.knotification"),
                             QStringLiteral("reparseConfiguration"),
                             this,
                             SLOT(reparseConfiguration(QString))));
}

void DBusDialogTest::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("listener"));
    m_bus.terminate();
    m_bus.waitForFinished();
}

void DBusDialogTest::init()
{
    m_root = std::make_unique<TestRoot>();
    m_root->copyData(QStringLiteral("root/usr/share/knotifications5"), QStringLiteral("/usr/share/knotifications5"));
    m_root->writeFile(QStringLiteral("/nonexistent/.config/.keep"), QByteArray());
    NotificationCatalogue::instance().reset();
    m_boxes = std::make_unique<MessageBoxWatcher>();
    m_reparsed.clear();

    m_tree = std::make_unique<EventTreeItem>(QVector<QVariant>{QStringLiteral("Parameter"), QStringLiteral("Value")});
    EventTreeItem *group = addTreeItem(m_tree.get(), QStringLiteral("Devices"), EventTreeItem::Group);
    m_event = addTreeItem(group, QStringLiteral("USB connected"), EventTreeItem::Event);
    addTreeItem(m_event, QStringLiteral("message_id"), EventTreeItem::Parameter, QStringLiteral("usb_added"));
    addTreeItem(m_event, QStringLiteral("message-type"), EventTreeItem::Parameter, QStringLiteral("usb"));
    EventTreeItem *params = addTreeItem(m_event, QStringLiteral("message-params"), EventTreeItem::Parameter);
    addTreeItem(params, QStringLiteral("&Device"), EventTreeItem::Parameter)->setId(QStringLiteral("device"));
    addTreeItem(params, QStringLiteral("device_name"), EventTreeItem::Parameter, QStringLiteral("&Device"));
    addTreeItem(params, QStringLiteral("Vendor"), EventTreeItem::Parameter)->setId(QStringLiteral("vendor"));
    EventTreeItem *extended = addTreeItem(m_event, QStringLiteral("extend-message-params"), EventTreeItem::Parameter);
    addTreeItem(extended, QStringLiteral("Port"), EventTreeItem::Parameter)->setId(QStringLiteral("port"));
    EventTreeItem *repetition = addTreeItem(m_event, QStringLiteral("notification_repetition"), EventTreeItem::Parameter);
    addTreeItem(repetition, QStringLiteral("enabled"), EventTreeItem::Parameter, QStringLiteral("0"));
    addTreeItem(repetition, QStringLiteral("interval"), EventTreeItem::Parameter, QStringLiteral("30"));

    m_dialog = std::make_unique<DBusDialog>();
}

void DBusDialogTest::cleanup()
{
    m_dialog.reset();
    m_tree.reset();
    QVERIFY2(m_boxes->texts().isEmpty(), qPrintable(m_boxes->texts().join(QLatin1Char('\n'))));
    m_boxes.reset();
    m_root.reset();
}

QStringList DBusDialogTest::paramBoxes() const
{
    QStringList boxes;
    const auto found = m_dialog->findChildren<CheckBoxParam *>();
    for (const CheckBoxParam *box : found) {
        boxes << box->text() + QLatin1Char('=') + box->key().toString() + (box->isChecked() ? QLatin1String("*") : QLatin1String(""));
    }
    boxes.sort();
    return boxes;
}

// Accepts the dialog and returns the syslog-ng lines it handed on.
QStringList DBusDialogTest::acceptedLines()
{
    QSignalSpy spy(m_dialog.get(), &DBusDialog::notificationOn);
    okButton()->click();
    return spy.count() == 1 ? spy.at(0).at(1).toStringList() : QStringList();
}

void DBusDialogTest::enableStartsFromDefaults()
{
    m_dialog->setDialogType(EnableNotifications);
    QVERIFY(m_dialog->fill(m_event));
    QVERIFY(widget<QCheckBox>("popupCheckBox")->isChecked());
    QVERIFY(okButton()->isEnabled());
    QVERIFY(widget<QRadioButton>("allUsersRadioButton")->isChecked());
    QCOMPARE(widget<QLineEdit>("titleLineEdit")->text(), QStringLiteral("USB connected"));
    QVERIFY(!widget<QLineEdit>("soundEdit")->isEnabled());
    // "&Device" as a key and as a label read alike: one box, carrying the first key.
    QCOMPARE(paramBoxes(), QStringList({QStringLiteral("Device=device"), QStringLiteral("Port=port"), QStringLiteral("Vendor=vendor")}));

    // A second cycle replaces the boxes instead of adding to them.
    QVERIFY(m_dialog->fill(m_event));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(paramBoxes().size(), 3);
}

void DBusDialogTest::hiddenEntriesGetNoBox()
{
    // The merge lists replaced keys in hidden "overlay" entries of the parameters.
    EventTreeItem *params = m_event->findChildById(QStringLiteral("message-params"));
    addTreeItem(params, QStringLiteral("overlay1"), EventTreeItem::Parameter, QStringLiteral("enabled"))->setVisible(false);
    addTreeItem(params, QStringLiteral("overlay2"), EventTreeItem::Parameter, QStringLiteral("vendor_name"))->setVisible(false);
    m_dialog->setDialogType(EnableNotifications);
    QVERIFY(m_dialog->fill(m_event));
    QCOMPARE(paramBoxes(), QStringList({QStringLiteral("Device=device"), QStringLiteral("Port=port"), QStringLiteral("Vendor=vendor")}));
}

void DBusDialogTest::editOkFollowsChanges_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("title") << "title";
    QTest::newRow("recipients") << "recipients";
    QTest::newRow("parameter") << "parameter";
    QTest::newRow("sound-path") << "sound-path";
    QTest::newRow("method") << "method";
    QTest::newRow("repetition") << "repetition";
}

void DBusDialogTest::editOkFollowsChanges()
{
    QFETCH(QString, what);
    NotificationFile::Input input;
    input.messageId = QStringLiteral("usb_added");
    input.messageType = QStringLiteral("usb");
    input.recipients = NotificationFile::Administrators;
    input.title = QStringLiteral("USB, plugged");
    input.parameterKeys = QStringList{QStringLiteral("vendor")};
    const QStringList lines = NotificationFile::build(input).lines;
    QVERIFY(!lines.isEmpty());
    m_root->writeFile(QStringLiteral("/nonexistent/.config/velta-event-watcher_devices.notifyrc"),
                      "[Event/usbAdded]\nAction=Popup|Sound\nExecute=\nLogfile=\nSound=/a.ogg\nTTS=\n");

    m_dialog->setDialogType(EditNotifications);
    QVERIFY(m_dialog->loadStoredSettings(m_event, lines));
    QVERIFY(m_dialog->fill(m_event));
    QVERIFY(!okButton()->isEnabled());
    QVERIFY(widget<QRadioButton>("selectGroupRadioButton")->isChecked());
    QCOMPARE(widget<QLineEdit>("titleLineEdit")->text(), input.title);
    QVERIFY(paramBoxes().contains(QStringLiteral("Vendor=vendor*")));
    QVERIFY(widget<QCheckBox>("soundCheckBox")->isChecked());
    QCOMPARE(widget<QLineEdit>("soundEdit")->text(), QStringLiteral("/a.ogg"));

    const auto toggle = [this, &what](bool change) {
        if (what == QLatin1String("title")) {
            QTest::keyClick(widget<QLineEdit>("titleLineEdit"), change ? Qt::Key_A : Qt::Key_Backspace);
        } else if (what == QLatin1String("recipients")) {
            widget<QRadioButton>(change ? "allUsersRadioButton" : "selectGroupRadioButton")->setChecked(true);
        } else if (what == QLatin1String("parameter")) {
            CheckBoxParam *box = m_dialog->findChildren<CheckBoxParam *>().constFirst();
            box->setChecked(!box->isChecked());
        } else if (what == QLatin1String("sound-path")) {
            widget<QLineEdit>("soundEdit")->setText(change ? QStringLiteral("/b.ogg") : QStringLiteral("/a.ogg"));
        } else if (what == QLatin1String("method")) {
            widget<QCheckBox>("executeCheckBox")->setChecked(change);
        } else {
            widget<QSpinBox>("intervalSpinBox")->setValue(change ? 60 : 30);
        }
    };
    toggle(true);
    QVERIFY(okButton()->isEnabled());
    toggle(false);
    QVERIFY(!okButton()->isEnabled());
}

void DBusDialogTest::acceptWritesAndSignals()
{
    m_dialog->setDialogType(EnableNotifications);
    QVERIFY(m_dialog->fill(m_event));
    widget<QCheckBox>("logFileCheckBox")->setChecked(true);
    widget<QLineEdit>("logFileEdit")->setText(QStringLiteral("/var/log/usb.log"));
    QSignalSpy on(m_dialog.get(), &DBusDialog::notificationOn);
    QSignalSpy accepted(m_dialog.get(), &DBusDialog::dbusAccepted);
    QSignalSpy reboot(m_dialog.get(), &DBusDialog::needToReboot);
    m_dialog->show();
    okButton()->click();

    QCOMPARE(on.count(), 1);
    QCOMPARE(on.at(0).at(0).toString(), QStringLiteral("usb-added"));
    QVERIFY(on.at(0).at(1).toStringList().contains(QStringLiteral("\t\t\"event_title\", \"USB connected\"")));
    QCOMPARE(on.at(0).at(2).value<NotificationsDialogType>(), EnableNotifications);
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(accepted.at(0).at(0).toString(), QStringLiteral("usbAdded"));
    QCOMPARE(reboot.count(), 0);

    const QString userFile = QStringLiteral("/nonexistent/.config/velta-event-watcher_devices.notifyrc");
    KConfig config(m_root->placed(userFile), KConfig::SimpleConfig);
    const KConfigGroup group = config.group(QStringLiteral("Event/usbAdded"));
    QCOMPARE(group.readEntry("Action", QString()), QStringLiteral("Popup|Logfile"));
    QCOMPARE(group.readEntry("Logfile", QString()), QStringLiteral("file:///var/log/usb.log"));
    // The file is the user's, given on the descriptor.
    struct stat status;
    QCOMPARE(lstat(QFile::encodeName(m_root->placed(userFile)).constData(), &status), 0);
    QCOMPARE(status.st_uid, 65534u);
    QCOMPARE(status.st_gid, 65534u);
    QCOMPARE(status.st_mode & 07777, 0644u);

    QTRY_COMPARE(m_reparsed, QStringList{QStringLiteral("velta-event-watcher_devices")});
}

void DBusDialogTest::titleComesBackAsTyped_data()
{
    QTest::addColumn<QString>("title");
    QTest::newRow("commas") << "USB, storage, mounted";
    QTest::newRow("double-quotes") << "Say \"hi\"";
    QTest::newRow("backslash-and-backtick") << "C:\\temp `x`";
}

void DBusDialogTest::titleComesBackAsTyped()
{
    QFETCH(QString, title);
    m_dialog->setDialogType(EnableNotifications);
    QVERIFY(m_dialog->fill(m_event));
    widget<QLineEdit>("titleLineEdit")->setText(title);
    const QStringList lines = acceptedLines();
    QVERIFY(!lines.isEmpty());

    m_dialog->setDialogType(EditNotifications);
    QVERIFY(m_dialog->loadStoredSettings(m_event, lines));
    QVERIFY(m_dialog->fill(m_event));
    QCOMPARE(widget<QLineEdit>("titleLineEdit")->text(), title);
    QVERIFY(!okButton()->isEnabled());
}

void DBusDialogTest::eventMissingFromCatalogue()
{
    m_event->findChildById(QStringLiteral("message_id"))->setData(1, QStringLiteral("usb_exploded"));
    m_dialog->setDialogType(EnableNotifications);
    QVERIFY(!m_dialog->fill(m_event));
    QVERIFY(m_dialog->errorString().contains(QLatin1String("USB connected")));
    QVERIFY(acceptedLines().isEmpty());
    QVERIFY(!m_root->exists(QStringLiteral("/nonexistent/.config/velta-event-watcher_devices.notifyrc")));
}

// An emptied title shows what stands in for it.
void DBusDialogTest::emptyTitleHint()
{
    m_dialog->setDialogType(EnableNotifications);
    QVERIFY(m_dialog->fill(m_event));
    auto *title = widget<QLineEdit>("titleLineEdit");
    title->clear();
    QCOMPARE(title->placeholderText(), QStringLiteral("USB connected"));
    QCOMPARE(title->toolTip(), QStringLiteral("Left empty, notifications are titled with the event's name."));
}

// Play on a file that is not there says so instead of staying silent.
void DBusDialogTest::playMissingSound()
{
    m_dialog->setDialogType(EnableNotifications);
    QVERIFY(m_dialog->fill(m_event));
    widget<QCheckBox>("soundCheckBox")->setChecked(true);
    widget<QLineEdit>("soundEdit")->setText(QStringLiteral("/nonexistent/sounds/alarm.oga"));
    widget<QToolButton>("playButton")->click();
    QCOMPARE(m_boxes->titles(), QStringList{QStringLiteral("Play sound")});
    QCOMPARE(m_boxes->texts(), QStringList{QStringLiteral("The sound file \"/nonexistent/sounds/alarm.oga\" does not exist.")});
    m_boxes->clear();
}

// The sound libraries come with the first preview, from a plugin of their
// own; without it the preview says why it cannot play.
void DBusDialogTest::previewWithoutItsPluginSaysWhy()
{
    QVERIFY(!libraryLoaded("Multimedia"));
    m_dialog->setDialogType(EnableNotifications);
    QVERIFY(m_dialog->fill(m_event));
    widget<QCheckBox>("soundCheckBox")->setChecked(true);
    QTemporaryDir dir;
    QFile sound(dir.filePath(QStringLiteral("alarm.ogg")));
    QVERIFY(sound.open(QIODevice::WriteOnly) && sound.write("OggS") > 0);
    sound.close();
    widget<QLineEdit>("soundEdit")->setText(sound.fileName());
    const QStringList paths = QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths({dir.path()});
    widget<QToolButton>("playButton")->click();
    QCoreApplication::setLibraryPaths(paths);
    QCOMPARE(m_boxes->titles(), QStringList{QStringLiteral("Play sound")});
    QVERIFY2(m_boxes->texts().constFirst().startsWith(QLatin1String("The sound cannot be played: ")), qPrintable(m_boxes->texts().constFirst()));
    QVERIFY(!libraryLoaded("Multimedia"));
    m_boxes->clear();
}

void DBusDialogTest::previewPluginLoads()
{
    QPluginLoader loader(QStringLiteral("quor-admin-events/soundpreview"));
    QVERIFY2(qobject_cast<SoundPreview *>(loader.instance()), qPrintable(loader.errorString()));
    QVERIFY(libraryLoaded("Multimedia"));
    QVERIFY(loader.unload());
}

QTEST_MAIN(DBusDialogTest)

#include "dbusdialogtest.moc"
