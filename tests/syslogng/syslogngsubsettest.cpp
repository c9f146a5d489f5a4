#include "platform/syslogngsubset.h"
#include "model/treeitem.h"
#include "notifications/notificationfile.h"
#include "platform/paths.h"
#include "syslogng/commonsettingsparser.h"
#include "syslogng/commonwriter.h"
#include "syslogng/destinationkind.h"
#include "testroot.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

// What an archive's syslog-ng file may hold: everything this system writes,
// and text written by hand in the same statements, drivers and options, but
// nothing that runs code or reads or writes files elsewhere.
class SyslogNgSubsetTest : public QObject
{
    Q_OBJECT

    static QByteArray fileText(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The sample common file with destinations added as the Destinations tab adds them.
    static QByteArray sampleWithDestinations()
    {
        TestRoot root;
        root.copySampleSystem();
        CommonSettingsParser parser(root.placed(Paths::CommonSyslogNgFile));
        std::unique_ptr<TreeItem> tree(parser.parse());
        const QVector<QVector<QVariant>> added{
            {QStringLiteral("file"), QStringLiteral("velta_copy_dst"), QStringLiteral("/dorvex/log/velta/copy")},
            {QStringLiteral("file"), QStringLiteral("velta_new_folder_dst"), QStringLiteral("/var/log/velta-new/events")},
            {QStringLiteral("network"), QStringLiteral("velta_udp_dst"), QStringLiteral("2001:db8::10"), 514, QStringLiteral("udp")},
            {QStringLiteral("network"), QStringLiteral("velta_host_dst"), QStringLiteral("logs.example.org"), 6514, QStringLiteral("tcp")},
        };
        for (const QVector<QVariant> &values : added) {
            const std::optional<NewDestination> destination = NewDestination::fromVariants(values);
            auto statement = std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("destination"), destination->name, QVariant()});
            statement->appendChild(std::make_unique<TreeItem>(
                QVector<QVariant>{QString(destination->kind->driver), QVariant(), destination->kind->optionValue(*destination, tree.get())}));
            tree->addDestination(std::move(statement));
        }
        return CommonWriter(root.placed(Paths::CommonSyslogNgFile)).contents(tree.get());
    }

private Q_SLOTS:
    void accepted_data()
    {
        QTest::addColumn<QByteArray>("text");

        QTest::newRow("sample-common-file") << fileText(QStringLiteral(QUOR_SOURCE_DIR "/data/root/etc/syslog-ng/conf.d/mod-velta.conf"));
        QTest::newRow("sample-with-added-destinations") << sampleWithDestinations();

        // Every recipient choice and a title with what must be escaped.
        for (const int recipients : {NotificationFile::AllUsers, NotificationFile::Administrators, NotificationFile::EventRecipients}) {
            NotificationFile::Input input;
            input.messageId = QStringLiteral("user_login-2");
            input.messageType = QStringLiteral("auth");
            input.recipients = recipients;
            input.title = QStringLiteral("A \"login\" \\ (#1) {x}; `y`");
            input.parameterKeys = QStringList{QStringLiteral("user"), QStringLiteral("tty")};
            const NotificationFile::Result file = NotificationFile::build(input);
            QVERIFY2(file.error.isEmpty(), qPrintable(file.error));
            QTest::addRow("notification-file-%d", recipients) << file.lines.join(QLatin1Char('\n')).toUtf8();
        }

        QTest::newRow("written-by-hand") << QByteArray(
            "@version: 3.38\n"
            "@module json-plugin\n"
            "@include \"scl.conf\"\n"
            "# a comment with python { } and ``quoted ticks``\n"
            "options { log-msg-size(262144); keep-hostname(yes); };\n"
            "filter f_auth { (facility(auth, authpriv) and not level(debug)) or match(\"velta\" value(\"PROGRAM\") type(glob)); };\n"
            "rewrite r { set(\"x\" value(\"MSG.y\")); subst(\"a\", \"b\", value(\"MESSAGE\") flags(global)); };\n"
            "template t { template(\"$(format-json --scope nv-pairs)\\n\"); template-escape(no); };\n"
            "template t_short \"$( echo $MSG)\\n\";\n"
            "destination d { file('/var/log/x' template(t) perm(0640)); network(\"192.0.2.1\" port(6514) transport(tcp) ip-protocol(4)); };\n"
            "log {\n"
            "    source { unix-dgram(\"/run/syslog-ng-mod-velta/events.sock\" perm(0660)); };\n"
            "    filter(f_auth);\n"
            "    log { rewrite(r); destination(d); flags(final); };\n"
            "    flags(flow-control);\n"
            "};\n");
        QTest::newRow("empty") << QByteArray();
    }

    void accepted()
    {
        QFETCH(QByteArray, text);
        QCOMPARE(SyslogNgSubset::refusal(QStringLiteral("/etc/syslog-ng/conf.d/x.conf"), text), QString());
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("refusal"); // after "/etc/syslog-ng/conf.d/x.conf:"

        // Code that syslog-ng runs while it reads.
        QTest::newRow("python-block-later") << QByteArray("destination d { file(\"/var/log/x\"); };\n\npython {\n};\n")
                                            << QStringLiteral("3: python: python code is not accepted");
        QTest::newRow("module-confgen") << QByteArray("@module confgen context(root) name(x) exec(\"id\")\n")
                                        << QStringLiteral("1: @module: @module confgen is not accepted");
        QTest::newRow("requires") << QByteArray("@requires velta-other\n") << QStringLiteral("1: @requires: @requires velta-other is not accepted");
        // Includes: only the fixed one, whatever syslog-ng would make of a pattern or a relative path.
        QTest::newRow("include-glob") << QByteArray("@include \"/etc/syslog-ng/.[.]/.[.]/home/mallory/x.conf\"\n")
                                      << QStringLiteral("1: @include: @include of /etc/syslog-ng/.[.]/.[.]/home/mallory/x.conf is not accepted; only scl.conf");
        QTest::newRow("include-relative-climbs") << QByteArray("@include \"../x.conf\"\n")
                                                 << QStringLiteral("1: @include: @include of ../x.conf is not accepted; only scl.conf");
        QTest::newRow("include-root-notifyrc") << QByteArray("@include '/root/.config/velta-event-watcher.notifyrc'\n")
                                               << QStringLiteral(
                                                      "1: @include: @include of /root/.config/velta-event-watcher.notifyrc is not accepted; only scl.conf");
        QTest::newRow("include-folder") << QByteArray("@include \"conf.d\"\n")
                                        << QStringLiteral("1: @include: @include of conf.d is not accepted; only scl.conf");
        // Substitution: the text syslog-ng reads is not the one checked.
        QTest::newRow("define") << QByteArray("@define d \"x\"\n") << QStringLiteral("1: @define: @define is not accepted");
        QTest::newRow("backtick-in-string") << QByteArray("destination d { file(\"/var/log/`x`\"); };\n")
                                            << QStringLiteral("1: backtick substitution is not accepted");
        QTest::newRow("backtick-in-comment") << QByteArray("\n# `HOME`\n") << QStringLiteral("2: backtick substitution is not accepted");
        QTest::newRow("block-definition") << QByteArray("block destination d() { program(\"id\"); };\n")
                                          << QStringLiteral("1: block d: block definitions are not accepted");
        QTest::newRow("block-of-the-library") << QByteArray("@include \"scl.conf\"\ndestination d { syslog-ng(server(\"192.0.2.1\")); };\n")
                                              << QStringLiteral("2: destination d: the driver \"syslog-ng\" is not accepted in a destination statement");
        QTest::newRow("deep-nesting") << "filter f { " + QByteArray(100000, '(') + "level(info)" + QByteArray(100000, ')') + "; };\n"
                                      << QStringLiteral("1: filter f: parentheses and braces are nested more than 100 deep");
        // Template functions, compared after unescaping.
        const QByteArray python("destination d { file(\"/var/log/x\" template(\"%1 pydoc.pipepager 'id > /tmp/x')\")); };\n");
        QTest::newRow("template-python") << QByteArray(python).replace("%1", "$(python")
                                         << QStringLiteral("1: destination d: the template function \"python\" is not accepted");
        QTest::newRow("template-escaped-parenthesis") << QByteArray(python).replace("%1", "$\\(python")
                                                      << QStringLiteral("1: destination d: the template function \"python\" is not accepted");
        QTest::newRow("template-hex-dollar") << QByteArray(python).replace("%1", "\\x24(python")
                                             << QStringLiteral("1: destination d: the template function \"python\" is not accepted");
        QTest::newRow("template-escaped-letter") << QByteArray(python).replace("%1", "$(pyt\\hon")
                                                 << QStringLiteral("1: destination d: the template function \"python\" is not accepted");
        QTest::newRow("template-octal-and-blank") << QByteArray(python).replace("%1", "\\o044( python")
                                                  << QStringLiteral("1: destination d: the template function \"python\" is not accepted");
        QTest::newRow("template-env") << QByteArray("template t \"$(env HOME)\";\n")
                                      << QStringLiteral("1: template t: the template function \"env\" is not accepted");
        QTest::newRow("template-in-rewrite") << QByteArray("rewrite r { set(\"$(python x)\" value(\"MSG\")); };\n")
                                             << QStringLiteral("1: rewrite r: the template function \"python\" is not accepted");
        QTest::newRow("template-in-file-name") << QByteArray("destination d { file(\"/var/log/$(python x)\"); };\n")
                                               << QStringLiteral("1: destination d: the template function \"python\" is not accepted");
        // File destinations: only log files, only the module's options.
        const QString plainly = QStringLiteral("file(): a file destination must name a file under /var/log or /dorvex/log/velta plainly");
        QTest::newRow("file-cron") << QByteArray("destination d { file(\"/etc/cron.d/x\" owner(\"mallory\") perm(0644) create-dirs(yes) dir-perm(0777)); };\n")
                                   << QStringLiteral("1: destination d: ") + plainly;
        QTest::newRow("file-shadow") << QByteArray("destination d { file('/etc/shadow'); };\n") << QStringLiteral("1: destination d: ") + plainly;
        QTest::newRow("file-climbs-out") << QByteArray("destination d { file(\"/var/log/../../etc/shadow\"); };\n")
                                         << QStringLiteral("1: destination d: ") + plainly;
        QTest::newRow("file-macro-in-path") << QByteArray("destination d { file(\"/var/log/$HOST\"); };\n") << QStringLiteral("1: destination d: ") + plainly;
        QTest::newRow("file-folder-itself") << QByteArray("destination d { file(\"/var/log/\"); };\n") << QStringLiteral("1: destination d: ") + plainly;
        QTest::newRow("file-two-paths") << QByteArray("destination d { file(\"/var/log/a\" \"/etc/shadow\"); };\n")
                                        << QStringLiteral("1: destination d: ") + plainly;
        QTest::newRow("file-owner") << QByteArray("destination d { file(\"/var/log/x\" owner(\"mallory\")); };\n")
                                    << QStringLiteral("1: destination d: the option owner() of file() is not accepted");
        QTest::newRow("file-world-writable") << QByteArray("destination d { file(\"/var/log/x\" perm(0666)); };\n")
                                             << QStringLiteral("1: destination d: perm(): it takes a mode that others cannot write");
        QTest::newRow("file-folder-world-writable") << QByteArray("destination d { file(\"/var/log/x/y\" create-dirs(yes) dir-perm(0777)); };\n")
                                                    << QStringLiteral("1: destination d: dir-perm(): it takes a mode that others cannot write");
        QTest::newRow("file-symlink-as") << QByteArray("destination d { file(\"/var/log/x\" symlink-as(\"/etc/x\")); };\n")
                                         << QStringLiteral("1: destination d: the option symlink-as() of file() is not accepted");
        QTest::newRow("file-disk-buffer") << QByteArray("destination d { file(\"/var/log/x\" disk-buffer(dir(\"/etc\"))); };\n")
                                          << QStringLiteral("1: destination d: the option disk-buffer() of file() is not accepted");
        // Sources: the events socket only.
        QTest::newRow("source-other-socket")
            << QByteArray("source s { unix-dgram(\"/tmp/x.sock\"); };\n")
            << QStringLiteral("1: source s: unix-dgram(): the only source accepted is the events socket /run/syslog-ng-mod-velta/events.sock");
        QTest::newRow("source-socket-for-all") << QByteArray("source s { unix-dgram(\"/run/syslog-ng-mod-velta/events.sock\" perm(0666)); };\n")
                                               << QStringLiteral("1: source s: perm(): it takes a mode that others cannot write");
        QTest::newRow("source-socket-owner") << QByteArray("source s { unix-dgram(\"/run/syslog-ng-mod-velta/events.sock\" owner(mallory)); };\n")
                                             << QStringLiteral("1: source s: the option owner() of unix-dgram() is not accepted");
        QTest::newRow("source-file") << QByteArray("source s { file(\"/etc/shadow\"); };\n")
                                     << QStringLiteral("1: source s: the driver \"file\" is not accepted in a source statement");
        QTest::newRow("source-network") << QByteArray("source s { network(port(514)); };\n")
                                        << QStringLiteral("1: source s: the driver \"network\" is not accepted in a source statement");
        QTest::newRow("source-python") << QByteArray("source s { python(class(\"x.Y\")); };\n")
                                       << QStringLiteral("1: source s: the driver \"python\" is not accepted in a source statement");
        QTest::newRow("source-in-place") << QByteArray("log { source { file(\"/etc/shadow\"); }; destination { network(\"192.0.2.1\"); }; };\n")
                                         << QStringLiteral("1: log: the driver \"file\" is not accepted in a source statement");
        // Other drivers and options.
        QTest::newRow("program-in-place") << QByteArray("log { source(s); destination { program(\"id\"); }; };\n")
                                          << QStringLiteral("1: log: the driver \"program\" is not accepted in a destination statement");
        QTest::newRow("pipe") << QByteArray("destination d { pipe(\"/dev/xconsole\"); };\n")
                              << QStringLiteral("1: destination d: the driver \"pipe\" is not accepted in a destination statement");
        QTest::newRow("network-tls-files") << QByteArray("destination d { network(\"192.0.2.1\" transport(tls) tls(key-file(\"/etc/shadow\"))); };\n")
                                           << QStringLiteral("1: destination d: the option tls() of network() is not accepted");
        QTest::newRow("network-host-is-a-template") << QByteArray("destination d { network(\"$HOST\"); };\n")
                                                    << QStringLiteral("1: destination d: network(): a network destination takes one host name or address");
        QTest::newRow("network-transport") << QByteArray("destination d { network(\"192.0.2.1\" transport(\"proxied-tcp\")); };\n")
                                           << QStringLiteral("1: destination d: transport(): it takes one word");
        QTest::newRow("python-other-class") << QByteArray("destination d { python(class(\"os.System\")); };\n")
                                            << QStringLiteral("1: destination d: class(): the python destination may name only the class ")
                + SyslogNgSubset::NotificationClass;
        QTest::newRow("python-other-option") << QByteArray("destination d { python(class(\"") + SyslogNgSubset::NotificationClassName
                + "\") options(\"loader\", \"x\")); };\n"
                                             << QStringLiteral("1: destination d: options(): the key \"loader\" is not one of the notification's");
        QTest::newRow("python-parser") << QByteArray("parser p {\n  python(class(\"x.Y\"));\n};\n")
                                       << QStringLiteral("2: parser p: the driver \"python\" is not accepted in a parser statement");
        QTest::newRow("filter-function") << QByteArray("filter f { python(\"x\"); };\n")
                                         << QStringLiteral("1: filter f: the filter function \"python\" is not accepted");
        QTest::newRow("filter-in-list") << QByteArray("filter f { in-list(\"/etc/shadow\" value(\"HOST\")); };\n")
                                        << QStringLiteral("1: filter f: the filter function \"in-list\" is not accepted");
        QTest::newRow("junction") << QByteArray("log { junction { }; };\n") << QStringLiteral("1: log: \"junction\" is not accepted in a log statement");
        QTest::newRow("global-owner") << QByteArray("options { owner(\"mallory\"); perm(0666); };\n")
                                      << QStringLiteral("1: options: the global option \"owner\" is not accepted");
        QTest::newRow("other-statement") << QByteArray("application a[syslog] { };\n")
                                         << QStringLiteral("1: application: the statement \"application\" is not one this system writes");
        QTest::newRow("escaped-quote-hides-nothing") << QByteArray("destination d { file(\"/var/log/a\\\" ); pipe(\\\"b\"); pipe(\"c\"); };\n")
                                                     << QStringLiteral("1: destination d: the driver \"pipe\" is not accepted in a destination statement");
        QTest::newRow("unclosed-string") << QByteArray("\n\ndestination d { file(\"/x); };\n")
                                         << QStringLiteral("4: destination d: a quoted text that begins on line 3 is not closed");
        QTest::newRow("unclosed-statement") << QByteArray("destination d { file(\"/var/log/x\");\n")
                                            << QStringLiteral("2: destination d: the file ends inside a statement");

        // The hand-written files of the test corpus go beyond what the module writes.
        const QString corpus = QStringLiteral(QUOR_SOURCE_DIR "/tests/syslogng/corpus/");
        QTest::newRow("corpus-central-server") << fileText(corpus + QStringLiteral("central-server.conf"))
                                               << QStringLiteral("10: backtick substitution is not accepted");
        QTest::newRow("corpus-conditions-and-blocks") << fileText(corpus + QStringLiteral("conditions-and-blocks.conf"))
                                                      << QStringLiteral("2: @define: @define is not accepted");
        QTest::newRow("corpus-crlf-line-ends") << fileText(corpus + QStringLiteral("crlf-line-ends.conf"))
                                               << QStringLiteral("5: source s_local: the driver \"internal\" is not accepted in a source statement");
        QTest::newRow("corpus-debian-syslog-ng") << fileText(corpus + QStringLiteral("debian-syslog-ng.conf"))
                                                 << QStringLiteral("9: options: the global option \"owner\" is not accepted");
        QTest::newRow("corpus-one-line-statements-and-tabs")
            << fileText(corpus + QStringLiteral("one-line-statements-and-tabs.conf"))
            << QStringLiteral("3: source s_one: the driver \"internal\" is not accepted in a source statement");
    }

    void refused()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, refusal);
        QCOMPARE(SyslogNgSubset::refusal(QStringLiteral("/etc/syslog-ng/conf.d/x.conf"), text), QStringLiteral("/etc/syslog-ng/conf.d/x.conf:") + refusal);
    }
};

QTEST_GUILESS_MAIN(SyslogNgSubsetTest)
#include "syslogngsubsettest.moc"
