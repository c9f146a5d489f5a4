#include "platform/syslogngsubset.h"
#include "notifications/notificationfile.h"

#include <QFile>
#include <QTest>

// What an archive's syslog-ng file may hold: everything this system writes,
// and text written by hand in the same statements, but nothing that runs code.
class SyslogNgSubsetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void accepted_data()
    {
        QTest::addColumn<QByteArray>("text");

        QFile sample(QStringLiteral(QUOR_SOURCE_DIR "/data/root/etc/syslog-ng/conf.d/mod-velta.conf"));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        QTest::newRow("sample-common-file") << sample.readAll();

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
            "@include \"/etc/syslog-ng/conf.d/other.conf\"\n"
            "# a comment with python { } and `ticks`\n"
            "options { log-msg-size(262144); keep-hostname(yes); };\n"
            "filter f_auth { (facility(auth, authpriv) and not level(debug)) or match(\"velta\" value(\"PROGRAM\") type(glob)); };\n"
            "rewrite r { set(\"x\" value(\"MSG.y\")); subst(\"a\", \"b\", value(\"MESSAGE\") flags(global)); };\n"
            "template t { template(\"$(format-json --scope nv-pairs)\\n\"); template-escape(no); };\n"
            "destination d { file('/var/log/x' template(t) perm(0640)); network(\"192.0.2.1\" port(6514) transport(tls) tls(peer-verify(yes))); };\n"
            "log {\n"
            "    source { unix-dgram(\"/run/x.sock\"); };\n"
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
        QTest::addColumn<QString>("refusal");

        QTest::newRow("python-block-later") << QByteArray("source s { file(\"/x\"); };\n\npython {\n};\n")
                                            << QStringLiteral("x.conf:3: the statement \"python\" is not one this system writes");
        QTest::newRow("block-definition") << QByteArray("block destination d() { program(\"id\"); };\n")
                                          << QStringLiteral("x.conf:1: the statement \"block\" is not one this system writes");
        QTest::newRow("program-in-place") << QByteArray("log { source(s); destination { program(\"id\"); }; };\n")
                                          << QStringLiteral("x.conf:1: the driver \"program\" is not accepted in a destination statement");
        QTest::newRow("python-source") << QByteArray("source s { python(class(\"x.Y\")); };\n")
                                       << QStringLiteral("x.conf:1: the driver \"python\" is not accepted in a source statement");
        QTest::newRow("python-parser") << QByteArray("parser p {\n  python(class(\"x.Y\"));\n};\n")
                                       << QStringLiteral("x.conf:2: the driver \"python\" is not accepted in a parser statement");
        QTest::newRow("backtick-in-string") << QByteArray("destination d { file(\"`x`\"); };\n")
                                            << QStringLiteral("x.conf:1: backtick substitution is not accepted");
        QTest::newRow("escaped-quote-hides-nothing") << QByteArray("destination d { file(\"a\\\" ); pipe(\\\"b\"); pipe(\"c\"); };\n")
                                                     << QStringLiteral("x.conf:1: the driver \"pipe\" is not accepted in a destination statement");
        QTest::newRow("filter-function") << QByteArray("filter f { python(\"x\"); };\n")
                                         << QStringLiteral("x.conf:1: the filter function \"python\" is not accepted");
        QTest::newRow("junction") << QByteArray("log { junction { }; };\n") << QStringLiteral("x.conf:1: \"junction\" is not accepted in a log statement");
        QTest::newRow("unclosed-string") << QByteArray("\n\ndestination d { file(\"/x); };\n") << QStringLiteral("x.conf:3: a quoted text is not closed");
        QTest::newRow("unclosed-statement") << QByteArray("destination d { file(\"/x\");\n") << QStringLiteral("x.conf:2: the file ends inside a statement");
        QTest::newRow("include-relative-climbs") << QByteArray("@include \"../x.conf\"\n") << QStringLiteral("x.conf:1: @include of \"../x.conf\"");
        QTest::newRow("requires") << QByteArray("@requires velta-other\n") << QStringLiteral("x.conf:1: @requires velta-other is not accepted");
    }

    void refused()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, refusal);
        const QString found = SyslogNgSubset::refusal(QStringLiteral("/etc/syslog-ng/conf.d/x.conf"), text);
        QVERIFY2(found.startsWith(QLatin1String("/etc/syslog-ng/conf.d/")) && found.contains(refusal), qPrintable(found));
    }
};

QTEST_GUILESS_MAIN(SyslogNgSubsetTest)
#include "syslogngsubsettest.moc"
