// The kinds of destination behind the dialog's vector and the table's cells:
// every kind found by its driver, the vector read and written in its order, the
// option each kind writes read back as the table shows it, addresses judged.
#include "syslogng/destinationkind.h"
#include "syslogng/destinationsmodel.h"
#include "testroot.h"

#include <QTest>

namespace
{
using Values = QVector<QVariant>;
}

class DestinationKindTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyKindByItsDriver()
    {
        const QMap<QString, QString> &shown = DestinationsModel::kinds();
        QCOMPARE(shown.size(), DestinationKind::all().size());
        for (const DestinationKind &kind : DestinationKind::all()) {
            QCOMPARE(DestinationKind::byDriver(kind.driver), &kind);
            QCOMPARE(shown.value(kind.displayName.toString()), QString(kind.driver));
        }
        QCOMPARE(DestinationKind::byDriver(QStringLiteral("python")), nullptr);
    }

    void variants_data()
    {
        QTest::addColumn<Values>("values");
        QTest::addColumn<bool>("read");
        QTest::addColumn<bool>("transport");
        QTest::newRow("file") << Values{QStringLiteral("file"), QStringLiteral("archive"), QStringLiteral("/var/log/a.log")} << true << false;
        QTest::newRow("network") << Values{QStringLiteral("network"), QStringLiteral("central"), QStringLiteral("10.1.2.3"), 514, QStringLiteral("udp")} << true
                                 << true;
        QTest::newRow("network-without-port") << Values{QStringLiteral("network"), QStringLiteral("central"), QStringLiteral("10.1.2.3")} << true << false;
        QTest::newRow("too-few") << Values{QStringLiteral("file"), QStringLiteral("archive")} << false << false;
        QTest::newRow("too-many") << Values{QStringLiteral("network"), QStringLiteral("n"), QStringLiteral("h"), 514, QStringLiteral("tcp"), 1} << false
                                  << false;
        QTest::newRow("unknown-kind") << Values{QStringLiteral("python"), QStringLiteral("p"), QStringLiteral("x")} << false << false;
    }

    void variants()
    {
        QFETCH(Values, values);
        QFETCH(bool, read);
        QFETCH(bool, transport);
        const std::optional<NewDestination> destination = NewDestination::fromVariants(values);
        QCOMPARE(destination.has_value(), read);
        if (read) {
            QCOMPARE(destination->transport.has_value(), transport);
            QCOMPARE(destination->toVariants(), values);
        }
    }

    void optionValue_data()
    {
        QTest::addColumn<Values>("values");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("shown");
        QTest::newRow("network") << Values{QStringLiteral("network"), QStringLiteral("central"), QStringLiteral("10.1.2.3"), 514, QStringLiteral("udp")}
                                 << QStringLiteral("\"10.1.2.3\" port(514) transport(udp) flags(syslog-protocol)")
                                 << QStringLiteral("10.1.2.3 port(514) transport(udp) flags(syslog-protocol)");
        QTest::newRow("network-ipv6")
            << Values{QStringLiteral("network"), QStringLiteral("central"), QStringLiteral("2001:db8::10"), 6514, QStringLiteral("tcp")}
            << QStringLiteral("\"2001:db8::10\" port(6514) transport(tcp) flags(syslog-protocol) ip-protocol(6)")
            << QStringLiteral("2001:db8::10 port(6514) transport(tcp) flags(syslog-protocol) ip-protocol(6)");
        QTest::newRow("file") << Values{QStringLiteral("file"), QStringLiteral("archive"), QStringLiteral("/var/log/a.log")}
                              << QStringLiteral("\"/var/log/a.log\" template(\"$MSG\\n\")") << QStringLiteral("/var/log/a.log template(\"$MSG\\n\")");
        QTest::newRow("file-quoted") << Values{QStringLiteral("file"), QStringLiteral("archive"), QStringLiteral("/var/log/a \"b\".log")}
                                     << QStringLiteral("\"/var/log/a \\\"b\\\".log\" template(\"$MSG\\n\")")
                                     << QStringLiteral("/var/log/a \"b\".log template(\"$MSG\\n\")");
        QTest::newRow("file-new-folder") << Values{QStringLiteral("file"), QStringLiteral("archive"), QStringLiteral("/var/log/new/a.log")}
                                         << QStringLiteral("\"/var/log/new/a.log\" template(\"$MSG\\n\") create-dirs(yes)")
                                         << QStringLiteral("/var/log/new/a.log template(\"$MSG\\n\") create-dirs(yes)");
    }

    void optionValue()
    {
        QFETCH(Values, values);
        QFETCH(QString, option);
        QFETCH(QString, shown);
        TestRoot root;
        root.writeFile(QStringLiteral("/var/log/syslog"), QByteArray());
        const std::optional<NewDestination> destination = NewDestination::fromVariants(values);
        QVERIFY(destination);
        QCOMPARE(destination->kind->optionValue(*destination, nullptr), option);
        QCOMPARE(destination->kind->shownValue(option), shown);
    }

    void checkAddress_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("message");
        QTest::newRow("ipv4") << QStringLiteral("network") << QStringLiteral("10.1.2.3") << true << QString();
        QTest::newRow("ipv4-out-of-range") << QStringLiteral("network") << QStringLiteral("256.1.1.1") << false
                                           << QStringLiteral("The IP-address is not valid.");
        QTest::newRow("host-name") << QStringLiteral("network") << QStringLiteral("logs.example.org") << true << QString();
        QTest::newRow("ipv6-scoped") << QStringLiteral("network") << QStringLiteral("fe80::1%eth0") << false
                                     << QStringLiteral("The IPv6 address is not valid.");
        QTest::newRow("file") << QStringLiteral("file") << QStringLiteral("/var/log/a.log") << true << QString();
        QTest::newRow("file-relative") << QStringLiteral("file") << QStringLiteral("log/a.log") << false << QStringLiteral("The file path must be absolute.");
        QTest::newRow("file-new-folder") << QStringLiteral("file") << QStringLiteral("/var/log/new/a.log") << true
                                         << QStringLiteral("The folder of the file does not exist; syslog-ng will create it.");
    }

    void checkAddress()
    {
        QFETCH(QString, driver);
        QFETCH(QString, address);
        QFETCH(bool, valid);
        QFETCH(QString, message);
        TestRoot root;
        root.writeFile(QStringLiteral("/var/log/syslog"), QByteArray());
        const DestinationKind::AddressCheck check = DestinationKind::byDriver(driver)->checkAddress(address);
        QCOMPARE(check.valid, valid);
        QCOMPARE(check.message, message);
    }
};

QTEST_MAIN(DestinationKindTest)

#include "destinationkindtest.moc"
