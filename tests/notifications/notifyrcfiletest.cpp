#include "notifications/notifyrcfile.h"
#include "notifications/notificationcatalogue.h"
#include "notifications/notificationfile.h"
#include "notifications/notificationsettings.h"
#include "notifications/notifyrcdeployment.h"
#include "platform/paths.h"
#include "testroot.h"

#include <KConfig>
#include <KConfigGroup>

#include <QFile>
#include <QTest>

Q_DECLARE_METATYPE(NotificationMethods)

class NotifyrcFileTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void catalogue_data();
    void catalogue();
    void sectionReadsBackThroughKConfig_data();
    void sectionReadsBackThroughKConfig();
    void rewriteKeepsRestOfFile_data();
    void rewriteKeepsRestOfFile();
    void storedSettingsFromSyslogLines_data();
    void storedSettingsFromSyslogLines();
    void deployment();
    void deploymentWithoutHomes();
};

void NotifyrcFileTest::init()
{
    NotificationCatalogue::instance().reset();
}

void NotifyrcFileTest::catalogue_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("appName");

    const QByteArray event = "[Global]\nName=Usb\n\n[Event/usbAdded]\nName=USB connected\nName[ru]=Подключение USB\nAction=Popup\n";
    QTest::newRow("event") << event << "velta-event-watcher_devices.notifyrc" << true << "usbAdded"
                           << "velta-event-watcher_devices";
    QTest::newRow("other-application") << event << "plasma_workspace.notifyrc" << false << "usbAdded" << QString();
    QTest::newRow("backup-copy") << event << "velta-event-watcher_devices.notifyrc.orig" << false << "usbAdded" << QString();
    QTest::newRow("only-global-group") << QByteArray("[Global]\nName[ru]=Нет\n") << "velta-event-watcher_x.notifyrc" << false << "Global" << QString();
    QTest::newRow("empty-file") << QByteArray() << "velta-event-watcher_x.notifyrc" << false << "usbAdded" << QString();
}

void NotifyrcFileTest::catalogue()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, fileName);
    QFETCH(bool, loaded);
    QFETCH(QString, id);
    QFETCH(QString, appName);
    TestRoot root;
    root.writeFile(Paths::NotificationCatalogueDir + fileName, content);
    NotificationCatalogue &catalogue = NotificationCatalogue::instance();
    QCOMPARE(catalogue.load(), loaded);
    QCOMPARE(catalogue.appName(id), appName);
    if (loaded) {
        QCOMPARE(catalogue.eventId(QStringLiteral("Подключение USB")), id);
    }
}

void NotifyrcFileTest::sectionReadsBackThroughKConfig_data()
{
    QTest::addColumn<NotificationMethods>("methods");
    QTest::addColumn<int>("lineCount");

    QTest::newRow("popup-and-sound") << NotificationMethods{QStringLiteral("Popup|Sound"),
                                                            QString(),
                                                            QStringLiteral("/var/log/usb.log"),
                                                            QStringLiteral("/usr/share/sounds/a.ogg"),
                                                            QString()}
                                     << 6;
    QTest::newRow("no-method") << NotificationMethods{QString(), QString(), QString(), QString(), QString()} << 5;
    QTest::newRow("command-with-backslash-and-equals")
        << NotificationMethods{QStringLiteral("Execute"), QStringLiteral("/usr/bin/notify --level=2 C:\\x "), QString(), QString(), QString()} << 6;
}

void NotifyrcFileTest::sectionReadsBackThroughKConfig()
{
    QFETCH(NotificationMethods, methods);
    QFETCH(int, lineCount);
    TestRoot root;
    root.writeFile(QStringLiteral("/home/alice/.config/.keep"), QByteArray());
    const QString path = NotifyrcFile::userFilePath(QStringLiteral("alice"), QStringLiteral("velta-event-watcher_devices"));
    QCOMPARE(path, QStringLiteral("/home/alice/.config/velta-event-watcher_devices.notifyrc"));

    QString error;
    QVERIFY(NotifyrcFile(path).writeSection(QStringLiteral("usbAdded"), methods, &error));
    QCOMPARE(QString::fromUtf8(root.readFile(path)).split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), lineCount);
    QCOMPARE(root.commands().filter(QStringLiteral("chown")), QStringList{QStringLiteral("chown alice:alice ") + root.placed(path)});

    KConfig config(root.placed(path), KConfig::SimpleConfig);
    const KConfigGroup group = config.group(QStringLiteral("Event/usbAdded"));
    QCOMPARE(group.readEntry("Action", QString()), methods.actions);
    QCOMPARE(group.readEntry("Execute", QString()), methods.executeCommand);
    QCOMPARE(group.readEntry("Logfile", QString()), methods.logFile.isEmpty() ? QString() : QLatin1String("file://") + methods.logFile);
    QCOMPARE(group.readEntry("Sound", QString()), methods.sound);
    QVERIFY(group.hasKey("TTS"));

    const NotificationMethods read = NotifyrcFile(path).readSection(QStringLiteral("usbAdded"));
    QCOMPARE(read.actions, methods.actions);
    QCOMPARE(read.executeCommand, methods.executeCommand);
    QCOMPARE(read.logFile, methods.logFile);
    QCOMPARE(read.sound, methods.sound);
}

void NotifyrcFileTest::rewriteKeepsRestOfFile_data()
{
    QTest::addColumn<QString>("oldSection");
    QTest::addColumn<QString>("newActions");

    const QString withAction = QStringLiteral("[Event/usbAdded]\nAction=Popup\nExecute=\nLogfile=\nSound=\nTTS=\n");
    const QString withoutAction = QStringLiteral("[Event/usbAdded]\nExecute=/bin/true\nLogfile=file:///var/log/x.log\nSound=\nTTS=\n");
    QTest::newRow("old-with-action-new-without") << withAction << QString();
    QTest::newRow("old-without-action-new-with") << withoutAction << QStringLiteral("Popup|Logfile");
    QTest::newRow("old-with-action-new-with") << withAction << QStringLiteral("Sound");
    QTest::newRow("old-without-action-new-without") << withoutAction << QString();
}

void NotifyrcFileTest::rewriteKeepsRestOfFile()
{
    QFETCH(QString, oldSection);
    QFETCH(QString, newActions);
    TestRoot root;
    const QString before = QStringLiteral("[Global]\nIconName=quor\n\n[Event/userLogin]\nAction=Popup\nExecute=\nLogfile=\nSound=\nTTS=\n\n");
    const QString after = QStringLiteral("\n[Event/usbRemoved]\nExecute=\nLogfile=\nSound=\nTTS=\n");
    const QString path = QStringLiteral("/home/alice/.config/app.notifyrc");
    root.writeFile(path, (before + oldSection + after).toUtf8());

    NotificationMethods methods;
    methods.actions = newActions;
    methods.sound = QStringLiteral("/usr/share/sounds/b.ogg");
    QString error;
    QVERIFY(NotifyrcFile(path).writeSection(QStringLiteral("usbAdded"), methods, &error));
    const QString expected = before + NotifyrcFile::sectionLines(QStringLiteral("usbAdded"), methods).join(QLatin1Char('\n')) + QLatin1Char('\n') + after;
    QCOMPARE(QString::fromUtf8(root.readFile(path)), expected);

    // A group the file lacks is appended after a blank line.
    QVERIFY(NotifyrcFile(path).writeSection(QStringLiteral("sudoFailed"), methods, &error));
    QVERIFY(QString::fromUtf8(root.readFile(path)).startsWith(expected + QLatin1Char('\n') + QLatin1String("[Event/sudoFailed]\n")));
    KConfig config(root.placed(path), KConfig::SimpleConfig);
    QCOMPARE(config.group(QStringLiteral("Event/userLogin")).readEntry("Action", QString()), QStringLiteral("Popup"));
    QCOMPARE(config.group(QStringLiteral("Event/sudoFailed")).readEntry("Sound", QString()), methods.sound);
}

void NotifyrcFileTest::storedSettingsFromSyslogLines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("params");

    const auto options = [](const QString &user, const QString &group, const QString &escapedTitle) {
        return QStringList{QStringLiteral("\toptions(\"destination_type\", \"dbus\""),
                           QStringLiteral("\t\t\"event_user\", \"%1\"").arg(user),
                           QStringLiteral("\t\t\"event_group\", \"%1\"").arg(group),
                           QStringLiteral("\t\t\"event_title\", \"%1\"").arg(escapedTitle),
                           QStringLiteral("\t\t\"event_params\", \"user,terminal\""),
                           QStringLiteral("\t\t\"event_format\", \"{0} {1}\")")};
    };
    QTest::newRow("all-users") << options(QStringLiteral("@all"), QStringLiteral("@all"), QStringLiteral("Login")) << 0 << "Login"
                               << QStringList{QStringLiteral("user"), QStringLiteral("terminal")};
    QTest::newRow("administrators") << options(QStringLiteral("@all"), QStringLiteral("velta-admin"), QStringLiteral("A, B")) << 1 << "A, B"
                                    << QStringList{QStringLiteral("user"), QStringLiteral("terminal")};
    QTest::newRow("event-recipients-quotes-and-backslash") << options(QString(), QString(), QStringLiteral("Say \\\"hi\\\", \\\\o/ ``x``")) << 2
                                                           << "Say \"hi\", \\o/ `x`" << QStringList{QStringLiteral("user"), QStringLiteral("terminal")};
    QTest::newRow("no-lines") << QStringList() << 2 << QString() << QStringList();
    // Found by the fuzzer: bytes that are no UTF-8, nulls and a lone backtick.
    static const char oddTitle[] =
        "\t\t\"event_title\", \"Use\xb8"
        "f\0\0@`\0\0 in\"";
    QTest::newRow("odd-bytes") << QStringList{QString::fromUtf8(oddTitle, sizeof(oddTitle) - 1)} << 2
                               << QString::fromUtf8(
                                      "Use\xb8"
                                      "f@` in")
                               << QStringList();
    QTest::newRow("hex-escapes") << QStringList{QStringLiteral("\t\t\"event_title\", \"\\x41\\x00\\x+1\\x4\"")} << 2 << QStringLiteral("Ax+1x4")
                                 << QStringList();
}

void NotifyrcFileTest::storedSettingsFromSyslogLines()
{
    QFETCH(QStringList, lines);
    const NotificationSettings settings = NotificationSettings::fromSyslogLines(lines);
    QTEST(settings.recipientMode, "mode");
    QTEST(settings.title, "title");
    QTEST(settings.checkedParams, "params");

    // The file built from what was read reads back the same.
    NotificationFile::Input input;
    input.messageId = QStringLiteral("user_login");
    input.messageType = QStringLiteral("info");
    input.recipients = settings.recipientMode;
    input.title = settings.title;
    input.parameterKeys = settings.checkedParams;
    const NotificationSettings reread = NotificationSettings::fromSyslogLines(NotificationFile::build(input).lines);
    QCOMPARE(reread.recipientMode, settings.recipientMode);
    QCOMPARE(reread.title, settings.title);
    QCOMPARE(reread.checkedParams, settings.checkedParams);
}

void NotifyrcFileTest::deployment()
{
    TestRoot root;
    root.writeFile(Paths::RootNotifyrc, "[Event/usbAdded]\nAction=Popup\n");
    root.writeFile(QStringLiteral("/home/alice/.config/velta-event-watcher.notifyrc"), "old");
    root.writeFile(QStringLiteral("/home/bob/.config/other"), "");
    root.writeFile(QStringLiteral("/home/carol/.profile"), "");
    root.writeFile(QStringLiteral("/home/.qmx/alice/.config/other"), "");
    root.writeFile(QStringLiteral("/home/.qmx/.qmx/.config/other"), "");
    root.writeFile(QStringLiteral("/etc/shadow"), "secret");
    QVERIFY(QFile::link(root.placed(QStringLiteral("/etc/shadow")), root.placed(QStringLiteral("/home/bob/.config/velta-event-watcher.notifyrc"))));

    QCOMPARE(NotifyrcDeployment::deploy(Paths::RootNotifyrc, Paths::HomeDir), 3);
    for (const QString &home : {QStringLiteral("/home/alice"), QStringLiteral("/home/bob"), QStringLiteral("/home/.qmx/alice")}) {
        QCOMPARE(root.readFile(home + QLatin1String("/.config/velta-event-watcher.notifyrc")), QByteArray("[Event/usbAdded]\nAction=Popup\n"));
    }
    QCOMPARE(root.readFile(QStringLiteral("/etc/shadow")), QByteArray("secret"));
    QVERIFY(!root.exists(QStringLiteral("/home/carol/.config")));
    QVERIFY(!root.exists(QStringLiteral("/home/.qmx/.qmx/.config/velta-event-watcher.notifyrc")));
    QStringList chowns = root.commands();
    chowns.sort();
    QCOMPARE(chowns,
             QStringList({QStringLiteral("chown alice:alice ") + root.placed(QStringLiteral("/home/.qmx/alice/.config/velta-event-watcher.notifyrc")),
                          QStringLiteral("chown alice:alice ") + root.placed(QStringLiteral("/home/alice/.config/velta-event-watcher.notifyrc")),
                          QStringLiteral("chown bob:bob ") + root.placed(QStringLiteral("/home/bob/.config/velta-event-watcher.notifyrc"))}));
}

void NotifyrcFileTest::deploymentWithoutHomes()
{
    TestRoot root;
    QCOMPARE(NotifyrcDeployment::deploy(Paths::RootNotifyrc, Paths::HomeDir), 0);
    root.writeFile(Paths::RootNotifyrc, "x");
    QCOMPARE(NotifyrcDeployment::deploy(Paths::RootNotifyrc, Paths::HomeDir), 0);
    QVERIFY(root.commands().isEmpty());
}

QTEST_GUILESS_MAIN(NotifyrcFileTest)

#include "notifyrcfiletest.moc"
