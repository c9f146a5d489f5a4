#include "chooseranswer.h"
#include "editors/fileeditor.h"
#include "messageboxwatcher.h"
#include "model/treeitem.h"
#include "platform/paths.h"
#include "syslogng/adddestinationdialog.h"
#include "syslogng/commonsettingsparser.h"
#include "syslogng/destinationssettings.h"
#include "syslogng/syslogngstring.h"
#include "syslogngcheck.h"
#include "testroot.h"
#include "waited.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

namespace
{
const QString CommonFile = QStringLiteral("/etc/syslog-ng/conf.d/mod-velta.conf");

struct Destination {
    Destination(const QString &kind, const QString &name, const QString &address, int port = 0, const QString &protocol = QString())
        : kind(kind)
        , name(name)
        , address(address)
        , port(port)
        , protocol(protocol)
    {
    }
    QString kind;
    QString name;
    QString address;
    int port;
    QString protocol;
};

// The tab over the sample common file, its model checked while it lives.
class Tab
{
public:
    Tab()
        : view(settings.findChild<QTableView *>(QStringLiteral("destinationsView")))
        , dialog(settings.findChild<AddDestinationDialog *>())
        , tester(view->model(), QAbstractItemModelTester::FailureReportingMode::QtTest)
    {
    }

    // "type|name|value" per row, as the table shows them.
    QStringList rows() const
    {
        QStringList result;
        const QAbstractItemModel *model = view->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < model->columnCount(); ++column) {
                cells << model->index(row, column).data().toString();
            }
            result << cells.join(QLatin1Char('|'));
        }
        return result;
    }

    void fill(const Destination &destination) const
    {
        auto *type = dialog->findChild<QComboBox *>(QStringLiteral("typeEdit"));
        type->setCurrentIndex(type->findData(destination.kind));
        dialog->findChild<QLineEdit *>(QStringLiteral("nameEdit"))->setText(destination.name);
        // Typed, so that whatever filters keystrokes takes part.
        auto *address = dialog->findChild<QLineEdit *>(QStringLiteral("addressEdit"));
        address->clear();
        QTest::keyClicks(address, destination.address);
        dialog->findChild<QSpinBox *>(QStringLiteral("portEdit"))->setValue(destination.port);
        if (!destination.protocol.isEmpty()) {
            dialog->findChild<QComboBox *>(QStringLiteral("protocolEdit"))->setCurrentText(destination.protocol);
        }
    }

    QPushButton *okButton() const
    {
        return dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok);
    }

    void add(const Destination &destination) const
    {
        settings.findChild<QToolButton *>(QStringLiteral("addButton"))->click();
        QVERIFY(dialog->isVisible());
        // Each addition starts from empty fields.
        QVERIFY(dialog->findChild<QLineEdit *>(QStringLiteral("nameEdit"))->text().isEmpty());
        fill(destination);
        QVERIFY(okButton()->isEnabled());
        okButton()->click();
        QVERIFY(!dialog->isVisible());
    }

    void select(const QString &name) const
    {
        const QModelIndexList found = view->model()->match(view->model()->index(0, 1), Qt::DisplayRole, name, 1, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        view->selectRow(found.first().row());
    }

    QToolButton *removeButton() const
    {
        return settings.findChild<QToolButton *>(QStringLiteral("removeButton"));
    }

    DestinationsSettings settings;
    QTableView *view;
    AddDestinationDialog *dialog;
    QAbstractItemModelTester tester;
};

// The destinations each log statement of the common file names, one text per statement.
QStringList logDestinations(const TestRoot &root)
{
    CommonSettingsParser parser(root.placed(CommonFile));
    const std::unique_ptr<TreeItem> tree(parser.parse());
    QStringList statements;
    for (int i = 0; tree && i < tree->childCount(); ++i) {
        const TreeItem *statement = tree->child(i);
        if (statement->data(0).toString() != QLatin1String("log")) {
            continue;
        }
        QStringList names;
        for (int j = 0; j < statement->childCount(); ++j) {
            if (statement->child(j)->data(0).toString() == QLatin1String("destination")) {
                names << statement->child(j)->data(2).toString();
            }
        }
        statements << names.join(QLatin1Char(','));
    }
    return statements;
}

const QStringList SampleRows{
    QStringLiteral("File|velta_json_dst|/dorvex/log/velta/events template(velta_json_line)"),
    QStringLiteral("Network|velta_central_dst|192.0.2.10 port(514) transport(tcp) flags(syslog-protocol)"),
};
}

class DestinationsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void addRemoveSave()
    {
        TestRoot root;
        root.copySampleSystem();
        {
            Tab tab;
            QCOMPARE(tab.rows(), SampleRows);
            tab.add({QStringLiteral("file"), QStringLiteral("localCopy"), QStringLiteral("/var/log/velta/\"copy\"\\1")});
            tab.add({QStringLiteral("network"), QStringLiteral("remoteUdp"), QStringLiteral("10.1.2.3"), 514, QStringLiteral("udp")});
            tab.select(QStringLiteral("velta_central_dst"));
            QVERIFY(tab.removeButton()->isEnabled());
            tab.removeButton()->click();
            const QStringList expected{
                SampleRows.first(),
                // One JSON record per line, as the main log.
                QStringLiteral("File|localCopy|/var/log/velta/\"copy\"\\1 template(velta_json_line) create-dirs(yes)"),
                QStringLiteral("Network|remoteUdp|10.1.2.3 port(514) transport(udp) flags(syslog-protocol)"),
            };
            QCOMPARE(tab.rows(), expected);
            Waited::saveTab(tab.settings);
            QTRY_VERIFY(root.commands().contains(QStringLiteral("sudo syslog-ng-ctl reload")));

            const QString written = QString::fromUtf8(root.readFile(CommonFile));
            // The sample system has no /var/log/velta: syslog-ng is told to make it.
            QVERIFY2(written.contains(QStringLiteral(
                         "destination localCopy {\n    file(\"/var/log/velta/\\\"copy\\\"\\\\1\" template(velta_json_line) create-dirs(yes));\n};")),
                     qPrintable(written));
            QVERIFY2(
                written.contains(QStringLiteral("destination remoteUdp {\n    network(\"10.1.2.3\" port(514) transport(udp) flags(syslog-protocol));\n};")),
                qPrintable(written));
            QVERIFY(!written.contains(QStringLiteral("velta_central_dst")));
            QString errors;
            QVERIFY2(syslogNgAccepts(root, &errors), qPrintable(errors));

            // A second tab reads the same table back from the file.
            Tab reread;
            QCOMPARE(reread.rows(), expected);
        }
    }

    // Host names and IPv6 addresses are written as typed, and syslog-ng takes
    // them; an IPv6 address with the protocol syslog-ng must resolve it in.
    void networkAddressWritten_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("protocol");
        QTest::newRow("ipv6") << QStringLiteral("2001:db8::10") << QStringLiteral(" ip-protocol(6)");
        QTest::newRow("host-name") << QStringLiteral("logs.example.org") << QString();
    }

    void networkAddressWritten()
    {
        QFETCH(QString, address);
        QFETCH(QString, protocol);
        TestRoot root;
        root.copySampleSystem();
        Tab tab;
        tab.add({QStringLiteral("network"), QStringLiteral("remote"), address, 6514, QStringLiteral("tcp")});
        Waited::saveTab(tab.settings);
        QTRY_VERIFY(root.commands().contains(QStringLiteral("sudo syslog-ng-ctl reload")));
        const QString written = QString::fromUtf8(root.readFile(CommonFile));
        QVERIFY2(
            written.contains(
                QStringLiteral("destination remote {\n    network(\"%1\" port(6514) transport(tcp) flags(syslog-protocol)%2);\n};").arg(address, protocol)),
            qPrintable(written));
        QString errors;
        QVERIFY2(syslogNgAccepts(root, &errors), qPrintable(errors));
        QCOMPARE(Tab().rows().last(), QStringLiteral("Network|remote|%1 port(6514) transport(tcp) flags(syslog-protocol)%2").arg(address, protocol));
    }

    // The table shows a stored path as it was typed.
    void quotedRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("quote-and-backslash") << QStringLiteral("/var/log/\"a\"\\b");
        QTest::newRow("control-characters") << QStringLiteral("a\tb\nc\x01\re");
        QTest::newRow("backticks") << QStringLiteral("/var/`name`/``");
        QTest::newRow("trailing-backslash") << QStringLiteral("C:\\");
        QTest::newRow("non-latin") << QStringLiteral("/var/log/журнал");
    }

    void quotedRoundTrip()
    {
        QFETCH(QString, text);
        QCOMPARE(SyslogNgString::unescaped(SyslogNgString::escaped(text)), text);
    }

    // A file row shows the path as typed, then the file's options as written.
    void fileRow_data()
    {
        QTest::addColumn<QByteArray>("option");
        QTest::addColumn<QString>("shown");
        QTest::newRow("path-only") << QByteArray("file(\"/var/log/copy\");") << QStringLiteral("/var/log/copy");
        QTest::newRow("options") << QByteArray("file(\"/var/log/copy\" template(t) create-dirs(yes));")
                                 << QStringLiteral("/var/log/copy template(t) create-dirs(yes)");
        QTest::newRow("escaped-quote-and-blank-in-path")
            << QByteArray("file(\"/var/log/\\\" x\\\\\" create-dirs(yes));") << QStringLiteral("/var/log/\" x\\ create-dirs(yes)");
    }

    void fileRow()
    {
        QFETCH(QByteArray, option);
        QFETCH(QString, shown);
        TestRoot root;
        root.writeFile(CommonFile, "destination copy {\n    " + option + "\n};\n\n");
        Tab tab;
        QCOMPARE(tab.rows(), QStringList{QStringLiteral("File|copy|") + shown});
    }

    void validation_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<bool>("ok");
        const QString badName = QStringLiteral("The destination name is not valid.");
        QTest::newRow("digit-first") << QStringLiteral("file") << QStringLiteral("1copy") << QStringLiteral("/var/log/x") << badName << false;
        QTest::newRow("dash") << QStringLiteral("file") << QStringLiteral("my-copy") << QStringLiteral("/var/log/x") << badName << false;
        QTest::newRow("non-latin") << QStringLiteral("file") << QStringLiteral("копия") << QStringLiteral("/var/log/x") << badName << false;
        QTest::newRow("existing") << QStringLiteral("network") << QStringLiteral("velta_json_dst") << QStringLiteral("10.1.2.3")
                                  << QStringLiteral("Destination with this name already exists.") << false;
        QTest::newRow("octet-too-big") << QStringLiteral("network") << QStringLiteral("remote") << QStringLiteral("256.1.1.1")
                                       << QStringLiteral("The IP-address is not valid.") << false;
        QTest::newRow("three-octets") << QStringLiteral("network") << QStringLiteral("remote") << QStringLiteral("10.1.2")
                                      << QStringLiteral("The IP-address is not valid.") << false;
        QTest::newRow("source-name") << QStringLiteral("file") << QStringLiteral("velta_events_src") << QStringLiteral("/var/log/x")
                                     << QStringLiteral("Another statement of the file already has this name.") << false;
        QTest::newRow("no-address") << QStringLiteral("file") << QStringLiteral("copy") << QStringLiteral("") << QStringLiteral("") << false;
        QTest::newRow("no-name") << QStringLiteral("file") << QStringLiteral("") << QStringLiteral("/var/log/x") << QStringLiteral("") << false;
        const QString folderMade = QStringLiteral("The folder of the file does not exist; syslog-ng will create it.");
        QTest::newRow("file-any-path") << QStringLiteral("file") << QStringLiteral("copy_2") << QStringLiteral("/var/log/a b") << folderMade << true;
        QTest::newRow("file-in-existing-folder") << QStringLiteral("file") << QStringLiteral("copy") << QStringLiteral("/dorvex/log/velta/copy")
                                                 << QStringLiteral("") << true;
        QTest::newRow("file-relative") << QStringLiteral("file") << QStringLiteral("copy") << QStringLiteral("log/copy")
                                       << QStringLiteral("The file path must be absolute.") << false;
        QTest::newRow("file-is-folder") << QStringLiteral("file") << QStringLiteral("copy") << QStringLiteral("/dorvex/log/velta/../velta")
                                        << QStringLiteral("/dorvex/log/velta/../velta is a folder, not a file.") << false;
        QTest::newRow("file-trailing-slash") << QStringLiteral("file") << QStringLiteral("copy") << QStringLiteral("/var/log/new/")
                                             << QStringLiteral("/var/log/new/ is a folder, not a file.") << false;
        QTest::newRow("file-below-a-file") << QStringLiteral("file") << QStringLiteral("copy") << QStringLiteral("/dorvex/log/velta/events/new/copy")
                                           << QStringLiteral("The folder of the file cannot be made: /dorvex/log/velta/events is not a folder.") << false;
        QTest::newRow("network-valid") << QStringLiteral("network") << QStringLiteral("remote") << QStringLiteral("10.1.2.3") << QStringLiteral("") << true;
        const QString badIpv4 = QStringLiteral("The IP-address is not valid.");
        QTest::newRow("octet-300-kept-and-refused") << QStringLiteral("network") << QStringLiteral("remote") << QStringLiteral("300.1.1.1") << badIpv4 << false;
        QTest::newRow("ipv4-trailing-dot") << QStringLiteral("network") << QStringLiteral("remote") << QStringLiteral("10.1.2.3.") << badIpv4 << false;
        QTest::newRow("ipv6") << QStringLiteral("network") << QStringLiteral("remote") << QStringLiteral("2001:db8::10") << QStringLiteral("") << true;
        QTest::newRow("ipv6-loopback") << QStringLiteral("network") << QStringLiteral("remote") << QStringLiteral("::1") << QStringLiteral("") << true;
        const QString badIpv6 = QStringLiteral("The IPv6 address is not valid.");
        QTest::newRow("ipv6-two-gaps") << QStringLiteral("network") << QStringLiteral("remote") << QStringLiteral("2001::db8::10") << badIpv6 << false;
        QTest::newRow("ipv6-scope") << QStringLiteral("network") << QStringLiteral("remote") << QStringLiteral("fe80::1%eth0") << badIpv6 << false;
        QTest::newRow("host-name") << QStringLiteral("network") << QStringLiteral("remote") << QStringLiteral("logs-1.example.org") << QStringLiteral("")
                                   << true;
        QTest::newRow("host-single-label") << QStringLiteral("network") << QStringLiteral("remote") << QStringLiteral("loghost") << QStringLiteral("") << true;
        const QString badHost = QStringLiteral("The host name is not valid.");
        QTest::newRow("host-underscore") << QStringLiteral("network") << QStringLiteral("remote") << QStringLiteral("log_host.example") << badHost << false;
        QTest::newRow("host-leading-hyphen") << QStringLiteral("network") << QStringLiteral("remote") << QStringLiteral("-logs.example") << badHost << false;
        QTest::newRow("host-space") << QStringLiteral("network") << QStringLiteral("remote") << QStringLiteral("logs example") << badHost << false;
        QTest::newRow("host-label-too-long") << QStringLiteral("network") << QStringLiteral("remote")
                                             << QString(QString(64, QLatin1Char('a')) + QStringLiteral(".org")) << badHost << false;
    }

    void validation()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(QString, warning);
        QFETCH(bool, ok);
        TestRoot root;
        root.copySampleSystem();
        Tab tab;
        tab.fill({kind, name, address, 514});
        QCOMPARE(tab.dialog->findChild<QLabel *>(QStringLiteral("warningLabel"))->text(), warning);
        QCOMPARE(tab.okButton()->isEnabled(), ok);

        // Switching the type starts over.
        auto *type = tab.dialog->findChild<QComboBox *>(QStringLiteral("typeEdit"));
        type->setCurrentIndex(1 - type->currentIndex());
        QVERIFY(tab.dialog->findChild<QLineEdit *>(QStringLiteral("nameEdit"))->text().isEmpty());
        QVERIFY(tab.dialog->findChild<QLineEdit *>(QStringLiteral("addressEdit"))->text().isEmpty());
        QVERIFY(!tab.okButton()->isEnabled());
    }

    // A port typed beyond the range stays as typed and is refused with the
    // limit, not cut to another port.
    void portTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("warning");
        QTest::newRow("above-range") << QStringLiteral("70000") << QStringLiteral("Port is too large: the most is 65535, not 70000.");
        QTest::newRow("zero") << QStringLiteral("0") << QStringLiteral("Port is too small: the least is 1, not 0.");
        QTest::newRow("in-range") << QStringLiteral("6514") << QString();
    }

    void portTyped()
    {
        QFETCH(QString, typed);
        QFETCH(QString, warning);
        TestRoot root;
        root.copySampleSystem();
        Tab tab;
        tab.fill({QStringLiteral("network"), QStringLiteral("remote"), QStringLiteral("10.1.2.3"), 514});
        auto *port = tab.dialog->findChild<QSpinBox *>(QStringLiteral("portEdit"));
        port->clear();
        QTest::keyClicks(port, typed);
        QCOMPARE(port->text(), typed);
        QCOMPARE(tab.dialog->findChild<QLabel *>(QStringLiteral("warningLabel"))->text(), warning);
        QCOMPARE(tab.okButton()->isEnabled(), warning.isEmpty());
        if (warning.isEmpty()) {
            QCOMPARE(port->value(), typed.toInt());
        }
    }

    void removeButtonState_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("default-destination") << QStringLiteral("velta_json_dst") << false;
        QTest::newRow("other-destination") << QStringLiteral("velta_central_dst") << true;
        QTest::newRow("nothing-selected") << QString() << false;
    }

    void removeButtonState()
    {
        QFETCH(QString, selected);
        QFETCH(bool, enabled);
        TestRoot root;
        root.copySampleSystem();
        Tab tab;
        tab.select(QStringLiteral("velta_central_dst"));
        if (selected.isEmpty()) {
            tab.view->clearSelection();
        } else {
            tab.select(selected);
        }
        QCOMPARE(tab.removeButton()->isEnabled(), enabled);
    }

    void saveWithoutChange_data()
    {
        QTest::addColumn<bool>("addAndRemove");
        QTest::newRow("untouched") << false;
        QTest::newRow("added-then-removed") << true;
    }

    void saveWithoutChange()
    {
        QFETCH(bool, addAndRemove);
        TestRoot root;
        root.copySampleSystem();
        const QByteArray before = root.readFile(CommonFile);
        Tab tab;
        if (addAndRemove) {
            tab.add({QStringLiteral("file"), QStringLiteral("copy"), QStringLiteral("/var/log/copy")});
            tab.select(QStringLiteral("copy"));
            tab.removeButton()->click();
        }
        root.writeFile(CommonFile, before + "# untouched\n");
        Waited::saveTab(tab.settings);
        QCOMPARE(root.readFile(CommonFile), before + "# untouched\n");
        QVERIFY(root.commands().isEmpty());
    }

    // A directory in the file's place is a change outside the module too:
    // nothing is written over it.
    void fileReplacedByFolder()
    {
        TestRoot root;
        root.copySampleSystem();
        MessageBoxWatcher watcher;
        Tab tab;
        tab.add({QStringLiteral("file"), QStringLiteral("copy"), QStringLiteral("/var/log/copy")});
        QFile::remove(root.placed(CommonFile));
        QDir().mkpath(root.placed(CommonFile));
        QVERIFY(!Waited::saveTab(tab.settings));
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("File changed outside this module")});
        QVERIFY(QFileInfo(root.placed(CommonFile)).isDir());
        QVERIFY(root.commands().isEmpty());
    }

    // The file changed behind the open tab: saving writes nothing and asks;
    // Cancel keeps the edits, Reload shows the file as it is now.
    void changedBehindTheTab_data()
    {
        QTest::addColumn<bool>("reload");
        QTest::newRow("cancel") << false;
        QTest::newRow("reload") << true;
    }

    void changedBehindTheTab()
    {
        QFETCH(bool, reload);
        TestRoot root;
        root.copySampleSystem();
        MessageBoxWatcher watcher;
        Tab tab;
        tab.add({QStringLiteral("file"), QStringLiteral("copy"), QStringLiteral("/var/log/copy")});
        // Another tool adds a destination of its own meanwhile.
        const QByteArray outside = root.readFile(CommonFile) + "\ndestination ansible_dst { file(\"/var/log/ansible\"); };\n";
        root.writeFile(CommonFile, outside);
        if (reload) {
            watcher.queueAnswer(QMessageBox::Yes);
        }
        QVERIFY(!Waited::saveTab(tab.settings));
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("File changed outside this module")});
        QCOMPARE(watcher.texts().constFirst(),
                 QStringLiteral("The file %1 was changed outside this module since it was opened. Nothing was written.\n\n"
                                "Reload it (your edits in this tab are lost)?")
                     .arg(CommonFile));
        QCOMPARE(root.readFile(CommonFile), outside);
        QVERIFY(root.commands().isEmpty());
        const QStringList rows = tab.rows();
        QCOMPARE(rows.filter(QStringLiteral("|copy|")).size(), reload ? 0 : 1);
        QCOMPARE(rows.filter(QStringLiteral("|ansible_dst|")).size(), reload ? 1 : 0);
        QCOMPARE(tab.settings.hasChanges(), !reload);
    }

    // Added and removed through the tab, the sample file keeps its version
    // line, comments and blank lines: only the edited statements change, and
    // removing what was added gives it back byte for byte.
    void editsKeepTheFileByteForByte()
    {
        TestRoot root;
        root.copySampleSystem();
        root.setRunningUnits({QStringLiteral("syslog-ng")});
        const QByteArray original = root.readFile(CommonFile);
        QVERIFY(original.startsWith("@version: 3.38\n"));
        {
            Tab tab;
            tab.add({QStringLiteral("file"), QStringLiteral("copy"), QStringLiteral("/dorvex/log/velta/copy")});
            QVERIFY(Waited::saveTab(tab.settings));
        }
        const QByteArray added = root.readFile(CommonFile);
        // A new file destination writes the main log's lines.
        const QByteArray destination = "\ndestination copy {\n    file(\"/dorvex/log/velta/copy\" template(velta_json_line));\n};\n";
        const QByteArray log = "\nlog {\n    source(velta_events_src);\n    destination(copy);\n};\n";
        // After the last destination, and the log statement at the end.
        const int afterCentral = original.indexOf("};\n", original.indexOf("destination velta_central_dst")) + 3;
        const QByteArray expected = original.left(afterCentral) + destination + original.mid(afterCentral) + log;
        QCOMPARE(QString::fromUtf8(added), QString::fromUtf8(expected));
        {
            Tab tab;
            tab.select(QStringLiteral("copy"));
            tab.removeButton()->click();
            QVERIFY(Waited::saveTab(tab.settings));
        }
        QCOMPARE(QString::fromUtf8(root.readFile(CommonFile)), QString::fromUtf8(original));
        QString errors;
        QVERIFY2(syslogNgAccepts(root, &errors), qPrintable(errors));
    }

    void removeOnlyTheReference_data()
    {
        QTest::addColumn<QByteArray>("logStatement"); // replaces the sample's second log statement
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QStringList>("statements");

        const QByteArray extra = "destination extra {\n    file(\"/var/log/extra\");\n};\n";
        QTest::newRow("shared-with-main-log") << extra
                + "log {\n    source(velta_events_src);\n    destination(velta_central_dst);\n    destination(extra);\n};\n"
                                              << QStringLiteral("extra") << QStringList{QStringLiteral("velta_json_dst"), QStringLiteral("velta_central_dst")};
        QTest::newRow("last-destination-takes-the-statement")
            << extra + "log {\n    source(velta_events_src);\n    destination(velta_central_dst);\n    destination(extra);\n};\n"
            << QStringLiteral("velta_central_dst") << QStringList{QStringLiteral("velta_json_dst"), QStringLiteral("extra")};
        QTest::newRow("alone") << QByteArray("log {\n    source(velta_events_src);\n    destination(velta_central_dst);\n};\n")
                               << QStringLiteral("velta_central_dst") << QStringList{QStringLiteral("velta_json_dst")};
    }

    // Removing a destination that shares a log statement keeps the statement
    // for the others, and what is written still runs.
    void removeOnlyTheReference()
    {
        QFETCH(QByteArray, logStatement);
        QFETCH(QString, removed);
        QFETCH(QStringList, statements);
        TestRoot root;
        root.copySampleSystem();
        QByteArray common = root.readFile(CommonFile);
        common.truncate(common.lastIndexOf("log {"));
        root.writeFile(CommonFile, common + logStatement);
        Tab tab;
        tab.select(removed);
        tab.removeButton()->click();
        QVERIFY(Waited::saveTab(tab.settings));
        QTRY_VERIFY(root.commands().contains(QStringLiteral("sudo syslog-ng-ctl reload")));
        QCOMPARE(logDestinations(root), statements);
        QString errors;
        QVERIFY2(syslogNgAccepts(root, &errors), qPrintable(errors));
    }

    void refusedEditIsNotUsed_data()
    {
        QTest::addColumn<QByteArray>("appended");
        QTest::addColumn<QString>("shown");

        QTest::newRow("syntax-error") << QByteArray("destination broken {\n") << QStringLiteral("syslog-ng refuses the configuration");
        QTest::newRow("undefined-filter") << QByteArray("log { source(velta_events_src); filter(no_such_filter); destination(velta_json_dst); };\n")
                                          << QStringLiteral("filter(no_such_filter)");
    }

    // An edit syslog-ng would refuse stays in the editor: the file is as it was,
    // nothing is restarted, and syslog-ng's reason is shown.
    void refusedEditIsNotUsed()
    {
        QFETCH(QByteArray, appended);
        QFETCH(QString, shown);
        TestRoot root;
        root.copySampleSystem();
        root.setRunningUnits({QStringLiteral("syslog-ng"), QStringLiteral("auditd")});
        const QByteArray before = root.readFile(CommonFile);
        MessageBoxWatcher watcher;
        Tab tab;
        tab.settings.findChild<QAction *>(QStringLiteral("openInEditorAction"))->trigger();
        auto *editor = tab.settings.findChild<QTextEdit *>(QStringLiteral("textEdit"));
        editor->setPlainText(editor->toPlainText() + QString::fromUtf8(appended));
        root.clearCommands();
        editor->window()->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        QVERIFY(Waited::idle(*qobject_cast<FileEditor *>(editor->window())));
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Error")});
        QVERIFY2(watcher.texts().constFirst().contains(shown), qPrintable(watcher.texts().constFirst()));
        QVERIFY(editor->window()->isVisible());
        QCOMPARE(root.readFile(CommonFile), before);
        QCOMPARE(root.commands(), QStringList());
        QCOMPARE(tab.rows(), SampleRows);
    }

    void fileChooser_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("address");
        QTest::newRow("chosen") << false << QStringLiteral("/var/log/events");
        QTest::newRow("cancelled-keeps-typed") << true << QStringLiteral("/typed");
    }

    void fileChooser()
    {
        QFETCH(bool, cancel);
        QFETCH(QString, address);
        TestRoot root;
        root.copySampleSystem();
        ChooserAnswer answer(cancel ? QString() : QStringLiteral("/var/log/events"));
        Tab tab;
        tab.fill({QStringLiteral("file"), QStringLiteral("copy"), QStringLiteral("/typed")});
        tab.dialog->findChild<QToolButton *>(QStringLiteral("chooseFileButton"))->click();
        QCOMPARE(answer.asked(), QList<PathChooser::Kind>{PathChooser::Kind::ExistingFile});
        QCOMPARE(tab.dialog->findChild<QLineEdit *>(QStringLiteral("addressEdit"))->text(), address);
    }

    void editorReloads()
    {
        TestRoot root;
        root.copySampleSystem();
        root.setRunningUnits({});
        Tab tab;
        tab.settings.findChild<QAction *>(QStringLiteral("openInEditorAction"))->trigger();
        auto *editor = tab.settings.findChild<QTextEdit *>(QStringLiteral("textEdit"));
        QVERIFY(editor->window()->isVisible());
        editor->setPlainText(editor->toPlainText().replace(QStringLiteral("velta_central_dst"), QStringLiteral("velta_backup_dst")));
        editor->window()->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        QVERIFY(Waited::idle(*qobject_cast<FileEditor *>(editor->window())));
        QCOMPARE(tab.rows().value(1), QStringLiteral("Network|velta_backup_dst|192.0.2.10 port(514) transport(tcp) flags(syslog-protocol)"));
        // The renamed destination now counts as existing.
        tab.fill({QStringLiteral("file"), QStringLiteral("velta_backup_dst"), QStringLiteral("/x")});
        QVERIFY(!tab.okButton()->isEnabled());
    }
};

QTEST_MAIN(DestinationsTest)
#include "destinationstest.moc"
