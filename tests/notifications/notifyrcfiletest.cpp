#include "notifications/notifyrcfile.h"
#include "notifications/notificationcatalogue.h"
#include "notifications/notificationfile.h"
#include "notifications/notificationsettings.h"
#include "notifications/notifyrcdeployment.h"
#include "platform/paths.h"
#include "platform/sessionuser.h"
#include "testroot.h"

#include <KConfig>
#include <KConfigGroup>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(NotificationMethods)

namespace
{
// Accounts every Debian system has: the user whose files are written, and
// another one whose files must stay untouched.
UserAccount user()
{
    return UserAccount::byName(QStringLiteral("nobody"));
}

UserAccount otherUser()
{
    return UserAccount::byName(QStringLiteral("daemon"));
}

void chownTo(const QString &path, const UserAccount &account)
{
    QVERIFY(lchown(QFile::encodeName(path).constData(), account.uid, account.gid) == 0);
}

// Kind, owner, mode and content (or link target) of one entry, without following links.
QString describeEntry(const QString &path)
{
    struct stat status;
    if (lstat(QFile::encodeName(path).constData(), &status) != 0) {
        return QStringLiteral("missing");
    }
    const QString owner = QStringLiteral(" %1:%2 %3 ").arg(status.st_uid).arg(status.st_gid).arg(status.st_mode & 07777, 0, 8);
    if (S_ISLNK(status.st_mode)) {
        return QLatin1String("link") + owner + QFile::symLinkTarget(path);
    }
    if (S_ISREG(status.st_mode)) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return QLatin1String("file") + owner + QString::fromUtf8(file.readAll());
    }
    return (S_ISDIR(status.st_mode) ? QLatin1String("dir") : QLatin1String("special")) + owner;
}

// Every entry under the system root, by system path.
QMap<QString, QString> snapshot(const TestRoot &root)
{
    QMap<QString, QString> entries;
    QDirIterator it(root.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        entries.insert(path.mid(root.path().size()), describeEntry(path));
    }
    return entries;
}

QString ownedFile(const UserAccount &account, const QByteArray &content)
{
    return QStringLiteral("file %1:%2 644 ").arg(account.uid).arg(account.gid) + QString::fromUtf8(content);
}
}

class NotifyrcFileTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void catalogue_data();
    void catalogue();
    void secondClaim_data();
    void secondClaim();
    void sectionReadsBackThroughKConfig_data();
    void sectionReadsBackThroughKConfig();
    void rewriteKeepsRestOfFile_data();
    void rewriteKeepsRestOfFile();
    void rewriteKeepsWhatItDoesNotEdit_data();
    void rewriteKeepsWhatItDoesNotEdit();
    void storedSettingsFromSyslogLines_data();
    void storedSettingsFromSyslogLines();
    void deployment();
    void deploymentWithoutHomes();
    void hostileLayouts_data();
    void hostileLayouts();
    void sessionUser_data();
    void sessionUser();
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
    // Only the exact name: a copy named around a catalogue file's name does not count.
    QTest::newRow("prefixed-copy") << event << "old-velta-event-watcher_devices.notifyrc" << false << "usbAdded" << QString();
    QTest::newRow("copy-with-dotted-name") << event << "velta-event-watcher_devices.bak.notifyrc" << false << "usbAdded" << QString();
    QTest::newRow("without-part-name") << event << "velta-event-watcher_.notifyrc" << false << "usbAdded" << QString();
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

void NotifyrcFileTest::secondClaim_data()
{
    QTest::addColumn<QStringList>("fileNames"); // each lists usbAdded
    QTest::addColumn<QString>("keeper");

    QTest::newRow("two-files") << QStringList{QStringLiteral("velta-event-watcher_devices.notifyrc"), QStringLiteral("velta-event-watcher_usb.notifyrc")}
                               << QStringLiteral("velta-event-watcher_devices");
    QTest::newRow("first-in-name-order") << QStringList{QStringLiteral("velta-event-watcher_zz.notifyrc"), QStringLiteral("velta-event-watcher_aa.notifyrc")}
                                         << QStringLiteral("velta-event-watcher_aa");
}

// The first file in name order keeps an event; a second one that lists it is named.
void NotifyrcFileTest::secondClaim()
{
    QFETCH(QStringList, fileNames);
    QFETCH(QString, keeper);
    TestRoot root;
    for (const QString &name : std::as_const(fileNames)) {
        root.writeFile(Paths::NotificationCatalogueDir + name, "[Event/usbAdded]\nName[ru]=Подключение USB\n[Event/other]\nName[ru]=Другое\n");
    }
    NotificationCatalogue &catalogue = NotificationCatalogue::instance();
    QVERIFY(catalogue.load());
    QCOMPARE(catalogue.appName(QStringLiteral("usbAdded")), keeper);
    QStringList sorted = fileNames;
    sorted.sort();
    const QString kept = root.placed(Paths::NotificationCatalogueDir + sorted.first());
    const QString second = root.placed(Paths::NotificationCatalogueDir + sorted.last());
    QCOMPARE(catalogue.problems(),
             (QStringList{second + QStringLiteral(": the event \"usbAdded\" is listed by ") + kept
                              + QStringLiteral(" already, which keeps it; this file's entry is not used"),
                          second + QStringLiteral(": the event \"other\" is listed by ") + kept
                              + QStringLiteral(" already, which keeps it; this file's entry is not used")}));
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
    // Spaces at either end would be trimmed on reading unless escaped.
    QTest::newRow("sound-with-control-characters-and-edge-spaces")
        << NotificationMethods{QStringLiteral("Sound"), QString(), QString(), QStringLiteral("  /a b\tc\nd\re\\ "), QString()} << 6;
}

void NotifyrcFileTest::sectionReadsBackThroughKConfig()
{
    QFETCH(NotificationMethods, methods);
    QFETCH(int, lineCount);
    TestRoot root;
    root.writeFile(QStringLiteral("/nonexistent/.config/.keep"), QByteArray());
    const NotifyrcFile file(user(), QStringLiteral("velta-event-watcher_devices"));
    const QString path = file.path();
    QCOMPARE(path, QStringLiteral("/nonexistent/.config/velta-event-watcher_devices.notifyrc"));

    QString error;
    QVERIFY(file.writeSection(QStringLiteral("usbAdded"), methods, &error));
    QCOMPARE(QString::fromUtf8(root.readFile(path)).split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), lineCount);
    QCOMPARE(describeEntry(root.placed(path)), ownedFile(user(), root.readFile(path)));

    KConfig config(root.placed(path), KConfig::SimpleConfig);
    const KConfigGroup group = config.group(QStringLiteral("Event/usbAdded"));
    QCOMPARE(group.readEntry("Action", QString()), methods.actions);
    QCOMPARE(group.readEntry("Execute", QString()), methods.executeCommand);
    QCOMPARE(group.readEntry("Logfile", QString()), methods.logFile.isEmpty() ? QString() : QLatin1String("file://") + methods.logFile);
    QCOMPARE(group.readEntry("Sound", QString()), methods.sound);
    QVERIFY(group.hasKey("TTS"));

    NotificationMethods read;
    QVERIFY(file.readSection(QStringLiteral("usbAdded"), &read, &error));
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
    const NotifyrcFile file(user(), QStringLiteral("app"));
    const QString path = file.path();
    root.writeFile(path, (before + oldSection + after).toUtf8());

    NotificationMethods methods;
    methods.actions = newActions;
    methods.sound = QStringLiteral("/usr/share/sounds/b.ogg");
    QString error;
    QVERIFY(file.writeSection(QStringLiteral("usbAdded"), methods, &error));
    const QString expected = before + NotifyrcFile::sectionLines(QStringLiteral("usbAdded"), methods).join(QLatin1Char('\n')) + QLatin1Char('\n') + after;
    QCOMPARE(QString::fromUtf8(root.readFile(path)), expected);

    // A group the file lacks is appended after a blank line.
    QVERIFY(file.writeSection(QStringLiteral("sudoFailed"), methods, &error));
    QVERIFY(QString::fromUtf8(root.readFile(path)).startsWith(expected + QLatin1Char('\n') + QLatin1String("[Event/sudoFailed]\n")));
    KConfig config(root.placed(path), KConfig::SimpleConfig);
    QCOMPARE(config.group(QStringLiteral("Event/userLogin")).readEntry("Action", QString()), QStringLiteral("Popup"));
    QCOMPARE(config.group(QStringLiteral("Event/sudoFailed")).readEntry("Sound", QString()), methods.sound);
}

void NotifyrcFileTest::rewriteKeepsWhatItDoesNotEdit_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("sound");
    QTest::addColumn<QString>("after");

    const QString group = QStringLiteral(
        "[Event/usbAdded]\nAction=Popup\nTTS=Device %e plugged in\nPersistent=true\nShowInHistory=false\nName[de]=Gerät\n"
        "Execute=run \\x now\nLogfile=\nSound=%1\n# own note\n");
    QTest::newRow("nothing-edited") << group.arg(QString()) << QString() << group.arg(QString());
    QTest::newRow("one-key-edited") << group.arg(QStringLiteral("/old.ogg")) << QStringLiteral("/new.ogg") << group.arg(QStringLiteral("/new.ogg"));
    // A key written anew is escaped as the reader takes it.
    QTest::newRow("missing-keys-first") << QStringLiteral("[Event/usbAdded]\nPersistent=true\n") << QString()
                                        << QStringLiteral("[Event/usbAdded]\nAction=Popup\nExecute=run \\\\x now\nLogfile=\nSound=\nPersistent=true\n");
    QTest::newRow("second-group-joins-the-first") << group.arg(QString()) + QStringLiteral("[Event/usbAdded]\nSound=/other.ogg\nTTS=again\n") << QString()
                                                  << group.arg(QString()) + QStringLiteral("TTS=again\n");
}

// Only the keys the dialog edits change, and only where their value does: the
// other keys, their escapes and the comments stay as the user wrote them.
void NotifyrcFileTest::rewriteKeepsWhatItDoesNotEdit()
{
    QFETCH(QString, before);
    QFETCH(QString, sound);
    QFETCH(QString, after);
    TestRoot root;
    const NotifyrcFile file(user(), QStringLiteral("app"));
    root.writeFile(file.path(), before.toUtf8());
    NotificationMethods methods;
    methods.actions = QStringLiteral("Popup");
    methods.executeCommand = QStringLiteral("run \\x now");
    methods.sound = sound;
    QString error;
    QVERIFY(file.writeSection(QStringLiteral("usbAdded"), methods, &error));
    QCOMPARE(QString::fromUtf8(root.readFile(file.path())), after);
    NotificationMethods read;
    QVERIFY(file.readSection(QStringLiteral("usbAdded"), &read, &error));
    QCOMPARE(read.executeCommand, methods.executeCommand);
    QCOMPARE(read.sound, sound);
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
    // Found by the fuzzer: a backslash before a null kept the null, which the writer drops.
    static const char escapedNull[] = "\t\t\"event_title\", \"a\\\0b\"";
    QTest::newRow("escaped-null") << QStringList{QString::fromUtf8(escapedNull, sizeof(escapedNull) - 1)} << 2 << QStringLiteral("ab") << QStringList();
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
    root.writeFile(QStringLiteral("/home/nobody/.config/velta-event-watcher.notifyrc"), "old");
    root.writeFile(QStringLiteral("/home/daemon/.config/other"), "");
    root.writeFile(QStringLiteral("/home/bin/.profile"), "");
    root.writeFile(QStringLiteral("/home/no-such-user-here/.config/other"), "");
    root.writeFile(QStringLiteral("/home/.qmx/nobody/.config/other"), "");
    root.writeFile(QStringLiteral("/home/.qmx/.qmx/.config/other"), "");

    const NotifyrcDeployment::Report report = NotifyrcDeployment::deploy(Paths::RootNotifyrc, Paths::HomeDir);
    QCOMPARE(report.copied, 3);
    QCOMPARE(report.skipped, QStringList{QStringLiteral("/home/no-such-user-here: no user of that name")});
    const QByteArray copy("[Event/usbAdded]\nAction=Popup\n");
    const QString target = QStringLiteral("/.config/velta-event-watcher.notifyrc");
    QCOMPARE(describeEntry(root.placed(QStringLiteral("/home/nobody") + target)), ownedFile(user(), copy));
    QCOMPARE(describeEntry(root.placed(QStringLiteral("/home/.qmx/nobody") + target)), ownedFile(user(), copy));
    QCOMPARE(describeEntry(root.placed(QStringLiteral("/home/daemon") + target)), ownedFile(otherUser(), copy));
    // A home without ~/.config is left alone.
    QVERIFY(!root.exists(QStringLiteral("/home/bin/.config")));
    QVERIFY(!root.exists(QStringLiteral("/home/no-such-user-here") + target));
    QVERIFY(!root.exists(QStringLiteral("/home/.qmx/.qmx") + target));
    QVERIFY(root.commands().isEmpty());
}

void NotifyrcFileTest::deploymentWithoutHomes()
{
    TestRoot root;
    QCOMPARE(NotifyrcDeployment::deploy(Paths::RootNotifyrc, Paths::HomeDir).copied, 0);
    root.writeFile(Paths::RootNotifyrc, "x");
    QCOMPARE(NotifyrcDeployment::deploy(Paths::RootNotifyrc, Paths::HomeDir).copied, 0);
    QVERIFY(root.commands().isEmpty());
}

void NotifyrcFileTest::hostileLayouts_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("refusal"); // the message; empty when the file is to be read or written

    const QStringList places{QStringLiteral("read-stored"), QStringLiteral("write-section"), QStringLiteral("deploy-home"), QStringLiteral("deploy-qmx")};
    const QList<QPair<QString, QString>> layouts{
        {QStringLiteral("normal"), QString()},
        {QStringLiteral("file-is-link-to-root-file"), QStringLiteral("@F: a symbolic link")},
        {QStringLiteral("config-is-link-to-root-folder"), QStringLiteral("@H/.config: a symbolic link")},
        {QStringLiteral("home-is-link-to-other-users-folder"), QStringLiteral("@H: a symbolic link")},
        {QStringLiteral("config-belongs-to-other-user"), QStringLiteral("@H/.config: belongs to another user (uid 1)")},
        {QStringLiteral("fifo-in-place-of-file"), QStringLiteral("@F: not a regular file")},
        {QStringLiteral("file-is-link-to-other-users-file"), QStringLiteral("@F: a symbolic link")},
    };
    for (const QString &place : places) {
        for (const auto &layout : layouts) {
            QTest::addRow("%s/%s", qPrintable(place), qPrintable(layout.first)) << place << layout.first << layout.second;
        }
    }
}

// Each place a file of a user is read or written, run through the real code
// with real ownership: a hostile layout is refused with its message and
// changes nothing; a normal one gives the user the file, mode 0644.
void NotifyrcFileTest::hostileLayouts()
{
    QFETCH(QString, place);
    QFETCH(QString, layout);
    QFETCH(QString, refusal);
    TestRoot root;
    const bool deploying = place.startsWith(QLatin1String("deploy"));
    const QString home = place == QLatin1String("deploy-home") ? QStringLiteral("/home/nobody")
        : place == QLatin1String("deploy-qmx")                 ? QStringLiteral("/home/.qmx/nobody")
                                                               : user().home;
    const QString appName = deploying ? QStringLiteral("velta-event-watcher") : QStringLiteral("velta-event-watcher_devices");
    const QString file = home + QLatin1String("/.config/") + appName + QLatin1String(".notifyrc");
    const QByteArray stored("[Event/usbAdded]\nAction=Popup\nExecute=\nLogfile=\nSound=\nTTS=\n");

    root.writeFile(Paths::RootNotifyrc, "from root");
    root.writeFile(QStringLiteral("/etc/shadow"), "secret");
    root.writeFile(QStringLiteral("/etc/profile.d/a.sh"), "true");
    const QString othersFile = QStringLiteral("/srv/daemon/.config/") + appName + QLatin1String(".notifyrc");
    root.writeFile(othersFile, "daemon's");
    root.writeFile(file, stored);
    for (const QString &path : QStringList{QStringLiteral("/srv/daemon"), QStringLiteral("/srv/daemon/.config"), othersFile}) {
        chownTo(root.placed(path), otherUser());
    }
    for (const QString &path : QStringList{home, home + QLatin1String("/.config"), file}) {
        chownTo(root.placed(path), user());
    }
    const QString placedFile = root.placed(file);
    if (layout == QLatin1String("file-is-link-to-root-file")) {
        QVERIFY(QFile::remove(placedFile) && QFile::link(root.placed(QStringLiteral("/etc/shadow")), placedFile));
    } else if (layout == QLatin1String("config-is-link-to-root-folder")) {
        QVERIFY(QDir(root.placed(home + QLatin1String("/.config"))).removeRecursively());
        QVERIFY(QFile::link(root.placed(QStringLiteral("/etc/profile.d")), root.placed(home + QLatin1String("/.config"))));
    } else if (layout == QLatin1String("home-is-link-to-other-users-folder")) {
        QVERIFY(QDir(root.placed(home)).removeRecursively());
        QVERIFY(QFile::link(root.placed(QStringLiteral("/srv/daemon")), root.placed(home)));
    } else if (layout == QLatin1String("config-belongs-to-other-user")) {
        chownTo(root.placed(home + QLatin1String("/.config")), otherUser());
    } else if (layout == QLatin1String("fifo-in-place-of-file")) {
        QVERIFY(QFile::remove(placedFile) && mkfifo(QFile::encodeName(placedFile).constData(), 0644) == 0);
    } else if (layout == QLatin1String("file-is-link-to-other-users-file")) {
        QVERIFY(QFile::remove(placedFile));
        QVERIFY(QFile::link(root.placed(othersFile), placedFile));
    }
    const QMap<QString, QString> before = snapshot(root);

    QString error;
    bool ok = false;
    QByteArray written; // what the file must hold afterwards
    const NotifyrcFile notifyrc(user(), appName);
    if (place == QLatin1String("read-stored")) {
        NotificationMethods methods;
        ok = notifyrc.readSection(QStringLiteral("usbAdded"), &methods, &error);
        QCOMPARE(methods.actions, ok ? QStringLiteral("Popup") : QString());
        written = stored;
    } else if (place == QLatin1String("write-section")) {
        NotificationMethods methods;
        methods.actions = QStringLiteral("Sound");
        ok = notifyrc.writeSection(QStringLiteral("usbAdded"), methods, &error);
        written = (NotifyrcFile::sectionLines(QStringLiteral("usbAdded"), methods).join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    } else {
        const NotifyrcDeployment::Report report = NotifyrcDeployment::deploy(Paths::RootNotifyrc, Paths::HomeDir);
        ok = report.copied == 1 && report.skipped.isEmpty();
        QCOMPARE(report.copied + report.skipped.size(), 1);
        error = report.skipped.join(QLatin1Char('\n'));
        written = "from root";
    }

    QMap<QString, QString> expected = before;
    if (refusal.isEmpty()) {
        QVERIFY2(ok, qPrintable(error));
        expected.insert(file, place == QLatin1String("read-stored") ? before.value(file) : ownedFile(user(), written));
    } else {
        QVERIFY(!ok);
        QCOMPARE(error, QString(refusal).replace(QLatin1String("@F"), file).replace(QLatin1String("@H"), home));
    }
    QCOMPARE(snapshot(root), expected);
    QVERIFY(root.commands().isEmpty());
}

void NotifyrcFileTest::sessionUser_data()
{
    QTest::addColumn<QByteArray>("sudoUid");
    QTest::addColumn<QByteArray>("loginName");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("home");
    QTest::newRow("sudo-uid-wins") << QByteArray("65534") << QByteArray("daemon") << "nobody"
                                   << "/nonexistent";
    QTest::newRow("login-name-without-sudo") << QByteArray() << QByteArray("daemon") << "daemon"
                                             << "/usr/sbin";
    QTest::newRow("unknown-sudo-uid-falls-back") << QByteArray("4000000000") << QByteArray("nobody") << "nobody"
                                                 << "/nonexistent";
    QTest::newRow("unknown-login-name") << QByteArray() << QByteArray("no-such-user-here") << QString() << QString();
}

// The home comes from the password database, not from the name.
void NotifyrcFileTest::sessionUser()
{
    QFETCH(QByteArray, sudoUid);
    QFETCH(QByteArray, loginName);
    const TestRoot root; // where the stand-in for logname lies
    const QByteArray previousSudoUid = qgetenv("SUDO_UID");
    qputenv("SUDO_UID", sudoUid);
    TestRoot::setFakeVariable("QUOR_FAKE_LOGNAME", loginName);
    const UserAccount account = SessionUser::identify();
    qputenv("SUDO_UID", previousSudoUid);
    TestRoot::setFakeVariable("QUOR_FAKE_LOGNAME", {});
    QTEST(account.name, "name");
    QTEST(account.home, "home");
}

QTEST_GUILESS_MAIN(NotifyrcFileTest)

#include "notifyrcfiletest.moc"
