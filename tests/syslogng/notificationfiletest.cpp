#include "notifications/notificationfile.h"
#include "model/eventtreeitem.h"
#include "platform/paths.h"
#include "syslogngcheck.h"
#include "testroot.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <memory>

using NotificationFile::Input;

namespace
{
void addParameter(EventTreeItem *event, const QString &key, const QString &value)
{
    auto item = std::make_unique<EventTreeItem>(QVector<QVariant>{key, value, QString()});
    item->setId(key);
    item->setKind(EventTreeItem::Parameter);
    event->appendChild(std::move(item));
}

void writeLines(const TestRoot &root, const QString &systemPath, const QStringList &lines)
{
    root.writeFile(systemPath, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

// Starts the real syslog-ng with the stand-in notification destination and
// reads the options it was handed, then stops syslog-ng.
void runSyslogNg(const TestRoot &root, QJsonObject *options)
{
    const QString optionsFile = root.placed(QStringLiteral("/test/options.json"));
    root.writeFile(Paths::CommonSyslogNgFile,
                   "source velta_events_src {\n    unix-dgram(\"" + root.placed(QStringLiteral("/test/events.sock")).toUtf8()
                       + "\");\n};\n\nparser velta_events_parser {\n    json-parser(prefix(\"MSG.\"));\n};\n\n");
    QProcess syslogNg;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PYTHONPATH"), QStringLiteral(QUOR_SOURCE_DIR "/tests/syslogng/python"));
    environment.insert(QStringLiteral("PYTHONDONTWRITEBYTECODE"), QStringLiteral("1"));
    environment.insert(QStringLiteral("VELTA_TEST_OPTIONS"), optionsFile);
    syslogNg.setProcessEnvironment(environment);
    syslogNg.setProcessChannelMode(QProcess::MergedChannels);
    syslogNg.start(QStringLiteral("syslog-ng"),
                   {QStringLiteral("-F"),
                    QLatin1String("--cfgfile=") + writeSyslogNgConfig(root),
                    QLatin1String("--persist-file=") + root.placed(QStringLiteral("/test/syslog-ng.persist")),
                    QLatin1String("--pidfile=") + root.placed(QStringLiteral("/test/syslog-ng.pid")),
                    QLatin1String("--control=") + root.placed(QStringLiteral("/test/syslog-ng.ctl"))});
    QVERIFY(syslogNg.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(root.readFile(QStringLiteral("/test/options.json")).endsWith('\n') || syslogNg.state() == QProcess::NotRunning, 15000);
    syslogNg.terminate();
    QVERIFY(syslogNg.waitForFinished(15000));
    *options = QJsonDocument::fromJson(root.readFile(QStringLiteral("/test/options.json"))).object();
    QVERIFY2(!options->isEmpty(), syslogNg.readAll().constData());
}
}

class NotificationFileTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sampleEvent()
    {
        EventTreeItem event({QStringLiteral("USB device attached"), QString(), QString()});
        addParameter(&event, QStringLiteral("message-type"), QStringLiteral("usb"));
        addParameter(&event, QStringLiteral("message_id"), QStringLiteral("usb_added"));
        Input input = NotificationFile::inputFor(event);
        input.recipients = NotificationFile::Administrators;
        input.title = QStringLiteral("USB device \"attached\"");
        input.parameterKeys = QStringList{QStringLiteral("device_name"), QStringLiteral("user")};

        const NotificationFile::Result result = NotificationFile::build(input);
        QCOMPARE(result.error, QString());
        const QStringList expected{
            QStringLiteral("filter velta_usb_added_filter {"),
            QStringLiteral("    match(\"^usb_added$\" value(\"MSG.velta-usb.message_id\"));"),
            QStringLiteral("};"),
            QString(),
            QStringLiteral("destination velta_usb_added_dbus_dst {"),
            QStringLiteral("    python("),
            QStringLiteral("\tclass(\"syslog_ng_mod_velta.velta_syslog_ng_destination.VeltaSyslogNgDestination\")"),
            QStringLiteral("\toptions(\"destination_type\", \"dbus\""),
            QStringLiteral("\t\t\"message_type\", \"usb\""),
            QStringLiteral("\t\t\"event_user\", \"@all\""),
            QStringLiteral("\t\t\"event_group\", \"velta-admin\""),
            QStringLiteral("\t\t\"event_id\", \"usbAdded\""),
            QStringLiteral("\t\t\"event_title\", \"USB device \\\"attached\\\"\""),
            QStringLiteral("\t\t\"event_icon\", \"\""),
            QStringLiteral("\t\t\"event_params\", \"device_name,user\""),
            QStringLiteral("\t\t\"event_format\", \"{0} {1}\")"),
            QStringLiteral("\tpersist-name(\"usb_added\")"),
            QStringLiteral("\t);"),
            QStringLiteral("};"),
            QString(),
            QStringLiteral("log {"),
            QStringLiteral("    source(velta_events_src);"),
            QStringLiteral("    parser(velta_events_parser);"),
            QStringLiteral("    filter(velta_usb_added_filter);"),
            QStringLiteral("    destination(velta_usb_added_dbus_dst);"),
            QStringLiteral("};"),
            QString(),
        };
        QCOMPARE(result.lines, expected);
        QCOMPARE(NotificationFile::filePath(input.messageId), QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-usb-added.conf"));
    }

    // Every file is accepted by syslog-ng next to the sample common file, and
    // the notification module is handed the values as they were given.
    void acceptedBySyslogNg_data()
    {
        QTest::addColumn<QString>("messageId");
        QTest::addColumn<int>("recipients");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("userAndGroup"); // empty: no such options

        const QStringList keys{QStringLiteral("device_name"), QStringLiteral("user")};
        const QStringList all{QStringLiteral("@all"), QStringLiteral("@all")};
        const QString title = QStringLiteral("USB device attached");
        QTest::newRow("all-users") << "usb_added" << int(NotificationFile::AllUsers) << keys << title << all;
        QTest::newRow("administrators-no-parameters") << "usb_added" << int(NotificationFile::Administrators) << QStringList() << title
                                                      << QStringList{QStringLiteral("@all"), QStringLiteral("velta-admin")};
        QTest::newRow("event-recipients") << "usb_added" << int(NotificationFile::EventRecipients) << keys << title << QStringList{QString(), QString()};
        QTest::newRow("no-recipients") << "usb_added" << int(NotificationFile::NoRecipients) << keys << title << QStringList();
        QTest::newRow("dash-and-if-in-id") << "wifi-if_up" << int(NotificationFile::AllUsers) << keys << title << all;
        QTest::newRow("channel-in-id") << "log-channel-full" << int(NotificationFile::AllUsers) << keys << title << all;
        QTest::newRow("title-ending-in-backslash") << "usb_added" << int(NotificationFile::AllUsers) << keys << "C:\\" << all;
        QTest::newRow("title-backslash-before-quote") << "usb_added" << int(NotificationFile::AllUsers) << keys << "a\\\"b\\\\\"" << all;
        QTest::newRow("title-line-breaks") << "usb_added" << int(NotificationFile::AllUsers) << keys << "first\nsecond\r\n};" << all;
        QTest::newRow("title-quotes-and-commas") << "usb_added" << int(NotificationFile::AllUsers) << keys << "\"a\", \"b\", c)" << all;
        QTest::newRow("title-non-ascii") << "usb_added" << int(NotificationFile::AllUsers) << keys << QStringLiteral("Подключено устройство «ü» €") << all;
        QTest::newRow("title-backticks") << "usb_added" << int(NotificationFile::AllUsers) << keys << "`syslog-ng-version` and `" << all;
        QTest::newRow("title-control-characters") << "usb_added" << int(NotificationFile::AllUsers) << keys
                                                  << "a\tb\x01"
                                                     "c\x7f"
                                                     "d\x1b[0m"
                                                  << all;
        QTest::newRow("title-directive-after-break") << "usb_added" << int(NotificationFile::AllUsers) << keys << "x\n@include \"/etc/passwd\"" << all;
    }

    void acceptedBySyslogNg()
    {
        QFETCH(QString, messageId);
        QFETCH(int, recipients);
        QFETCH(QStringList, keys);
        QFETCH(QString, title);
        QFETCH(QStringList, userAndGroup);

        Input input;
        input.messageId = messageId;
        input.messageType = QStringLiteral("usb");
        input.recipients = recipients;
        input.title = title;
        input.parameterKeys = keys;
        const NotificationFile::Result result = NotificationFile::build(input);
        QCOMPARE(result.error, QString());

        TestRoot root;
        root.copyData(QStringLiteral("root") + Paths::CommonSyslogNgFile, Paths::CommonSyslogNgFile);
        writeLines(root, NotificationFile::filePath(messageId), result.lines);
        QString errors;
        QVERIFY2(syslogNgAccepts(root, &errors), qPrintable(errors));

        QJsonObject options;
        runSyslogNg(root, &options);
        if (QTest::currentTestFailed()) {
            return;
        }
        QCOMPARE(options.value(QStringLiteral("event_title")).toString(), title);
        QCOMPARE(options.value(QStringLiteral("event_id")).toString(), NotificationFile::notificationIdentifier(messageId));
        QCOMPARE(options.value(QStringLiteral("event_params")).toString(), keys.join(QLatin1Char(',')));
        QCOMPARE(options.value(QStringLiteral("event_format")).toString(), keys.isEmpty() ? QString() : QStringLiteral("{0} {1}"));
        QStringList seenUserAndGroup;
        if (options.contains(QStringLiteral("event_user")) || options.contains(QStringLiteral("event_group"))) {
            seenUserAndGroup << options.value(QStringLiteral("event_user")).toString() << options.value(QStringLiteral("event_group")).toString();
        }
        QCOMPARE(seenUserAndGroup, userAndGroup);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("messageId");
        QTest::addColumn<QString>("messageType");
        QTest::addColumn<QStringList>("keys");
        const QString type = QStringLiteral("usb");
        const QStringList keys{QStringLiteral("user")};
        QTest::newRow("no-message-id") << QString() << type << keys;
        QTest::newRow("no-message-type") << "usb_added" << QString() << keys;
        QTest::newRow("id-leaving-the-directory") << "x/../../../../etc/cron.d/job" << type << keys;
        QTest::newRow("id-dot-dot") << ".." << type << keys;
        QTest::newRow("id-starting-with-dash") << "-usb" << type << keys;
        QTest::newRow("id-non-ascii") << QStringLiteral("usb_добавлен") << type << keys;
        QTest::newRow("id-with-trailing-line-break") << "usb_added\n" << type << keys;
        QTest::newRow("id-with-inner-line-break") << "usb\nadded" << type << keys;
        QTest::newRow("type-with-quote") << "usb_added"
                                         << "usb\") or (\"" << keys;
        QTest::newRow("type-with-line-break") << "usb_added"
                                              << "usb\n@include \"x\"" << keys;
        QTest::newRow("key-with-comma") << "usb_added" << type << QStringList{QStringLiteral("user,group")};
        QTest::newRow("empty-key") << "usb_added" << type << QStringList{QStringLiteral("user"), QString()};
    }

    void refused()
    {
        QFETCH(QString, messageId);
        QFETCH(QString, messageType);
        QFETCH(QStringList, keys);
        Input input;
        input.messageId = messageId;
        input.messageType = messageType;
        input.parameterKeys = keys;
        const NotificationFile::Result result = NotificationFile::build(input);
        QVERIFY(!result.error.isEmpty());
        QCOMPARE(result.lines, QStringList());
    }

    void identifiers_data()
    {
        QTest::addColumn<QString>("messageId");
        QTest::addColumn<QString>("notificationId");
        QTest::addColumn<QString>("filePath");
        QTest::newRow("mixed-separators") << "a_b-c"
                                          << "aBC"
                                          << "/etc/syslog-ng/conf.d/mod-velta-a-b-c.conf";
        QTest::newRow("trailing-underscore") << "usb_"
                                             << "usb"
                                             << "/etc/syslog-ng/conf.d/mod-velta-usb-.conf";
        QTest::newRow("words") << "user_login-failed"
                               << "userLoginFailed"
                               << "/etc/syslog-ng/conf.d/mod-velta-user-login-failed.conf";
        QTest::newRow("refused-id-has-no-path") << "../x"
                                                << "../x" << QString();
    }

    void identifiers()
    {
        QFETCH(QString, messageId);
        QFETCH(QString, notificationId);
        QFETCH(QString, filePath);
        QCOMPARE(NotificationFile::notificationIdentifier(messageId), notificationId);
        QCOMPARE(NotificationFile::filePath(messageId), filePath);
    }
};

QTEST_GUILESS_MAIN(NotificationFileTest)

#include "notificationfiletest.moc"
