#include "chooseranswer.h"
#include "editors/diskspacemondialog.h"
#include "editors/fileeditor.h"
#include "editors/filesdialog.h"
#include "messageboxwatcher.h"
#include "platform/paths.h"
#include "testroot.h"
#include "waited.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QJsonDocument>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

namespace
{
QStringList listRows(const FilesDialog &dialog)
{
    QStringList rows;
    const auto *list = dialog.findChild<QListWidget *>(QStringLiteral("filesList"));
    for (int row = 0; row < list->count(); ++row) {
        rows << list->item(row)->text();
    }
    return rows;
}

void pressOk(QDialog &dialog)
{
    dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok)->click();
}

void clickAdd(QDialog &dialog)
{
    dialog.findChild<QToolButton *>(QStringLiteral("addButton"))->click();
}
}

class EditorsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void filesRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("accepted");
        QTest::newRow("blank-element-between") << QStringLiteral("/etc/passwd,   ,/etc/shadow")
                                               << QStringList{QStringLiteral("/etc/passwd"), QStringLiteral("/etc/shadow")}
                                               << QStringLiteral("/etc/passwd, /etc/shadow");
        QTest::newRow("newline-element") << QStringLiteral("/etc/hosts,\n,/etc/group")
                                         << QStringList{QStringLiteral("/etc/hosts"), QStringLiteral("/etc/group")} << QStringLiteral("/etc/hosts, /etc/group");
        QTest::newRow("one-row-no-trailing-comma") << QStringLiteral(" /etc/passwd ") << QStringList{QStringLiteral("/etc/passwd")}
                                                   << QStringLiteral("/etc/passwd");
        QTest::newRow("empty") << QString() << QStringList() << QString();
    }

    void filesRoundTrip()
    {
        QFETCH(QString, value);
        QFETCH(QStringList, rows);
        QFETCH(QString, accepted);
        FilesDialog dialog;
        dialog.setData(QStringLiteral("/left/over"));
        dialog.setData(value);
        QCOMPARE(listRows(dialog), rows);
        QSignalSpy edited(&dialog, &FilesDialog::fileListEdited);
        dialog.show();
        pressOk(dialog);
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited.at(0).at(0).toString(), accepted);
        QVERIFY(!dialog.isVisible());
    }

    void filesChooser_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("chosen"); // system path; empty cancels
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("error");
        QTest::newRow("file") << 0 << QStringLiteral("/etc/passwd") << QStringList{QStringLiteral("/etc/hosts"), QStringLiteral("/etc/passwd")} << QString();
        QTest::newRow("directory") << 1 << QStringLiteral("/var/log") << QStringList{QStringLiteral("/etc/hosts"), QStringLiteral("/var/log")} << QString();
        QTest::newRow("cancelled") << 0 << QString() << QStringList{QStringLiteral("/etc/hosts")} << QString();
        QTest::newRow("space-refused")
            << 0 << QStringLiteral("/etc/my file") << QStringList{QStringLiteral("/etc/hosts")}
            << QStringLiteral("The path \"/etc/my file\" contains a space or a comma. Audit rules cannot watch such a path, so it was not added.");
        QTest::newRow("comma-refused") << 1 << QStringLiteral("/var/a,b") << QStringList{QStringLiteral("/etc/hosts")}
                                       << QStringLiteral(
                                              "The path \"/var/a,b\" contains a space or a comma. Audit rules cannot watch such a path, so it was not added.");
    }

    void filesChooser()
    {
        QFETCH(int, mode);
        QFETCH(QString, chosen);
        QFETCH(QStringList, rows);
        QFETCH(QString, error);
        MessageBoxWatcher watcher;
        ChooserAnswer answer(chosen);
        FilesDialog dialog;
        dialog.setMode(mode);
        dialog.setData(QStringLiteral("/etc/hosts"));
        clickAdd(dialog);
        QCOMPARE(answer.asked(), QList<PathChooser::Kind>{mode == 0 ? PathChooser::Kind::ExistingFile : PathChooser::Kind::ExistingDirectory});
        QCOMPARE(listRows(dialog), rows);
        QCOMPARE(watcher.texts(), error.isEmpty() ? QStringList() : QStringList{error});
        if (!error.isEmpty()) {
            QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Error")});
        }
        const auto *list = dialog.findChild<QListWidget *>(QStringLiteral("filesList"));
        QCOMPARE(list->currentRow(), rows.size() > 1 ? rows.size() - 1 : -1);
    }

    void filesRemove()
    {
        FilesDialog dialog;
        dialog.setData(QStringLiteral("/a, /b, /c"));
        auto *list = dialog.findChild<QListWidget *>(QStringLiteral("filesList"));
        list->setCurrentRow(1);
        auto *remove = dialog.findChild<QToolButton *>(QStringLiteral("removeButton"));
        remove->click();
        QCOMPARE(listRows(dialog), (QStringList{QStringLiteral("/a"), QStringLiteral("/c")}));
        list->clearSelection();
        remove->click();
        QCOMPARE(list->count(), 2);
    }

    void diskSpaceRoundTrip_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("paths");
        QTest::addColumn<QString>("accepted");
        QTest::newRow("one-row-no-comma") << QStringLiteral("[{\"path\": \"/var\", \"limit_bytes\": \"10\", \"limit_percent\": \"90.0\"}]")
                                          << QStringLiteral("/var")
                                          << QStringLiteral("[ { \"path\": \"/var\", \"limit_bytes\": \"10\", \"limit_percent\": \"90.0\" } ]");
        QTest::newRow("two-rows") << QStringLiteral("[{\"path\": \"/var\"}, {\"path\": \"/home\", \"limit_bytes\": 5}]") << QStringLiteral("/var, /home")
                                  << QStringLiteral(
                                         "[ { \"path\": \"/var\", \"limit_bytes\": \"\", \"limit_percent\": \"\" },"
                                         "{ \"path\": \"/home\", \"limit_bytes\": \"5\", \"limit_percent\": \"\" } ]");
        QTest::newRow("not-an-array") << QStringLiteral("{\"path\": \"/var\"}") << QString() << QStringLiteral("[  ]");
        QTest::newRow("non-objects-take-no-row") << QStringLiteral("[1, \"x\", {\"path\": \"/tmp\"}]") << QStringLiteral("/tmp")
                                                 << QStringLiteral("[ { \"path\": \"/tmp\", \"limit_bytes\": \"\", \"limit_percent\": \"\" } ]");
        QTest::newRow("unknown-key-keeps-path") << QStringLiteral("[{\"path\": \"/srv\", \"zone\": \"a\"}]") << QStringLiteral("/srv")
                                                << QStringLiteral("[ { \"path\": \"/srv\", \"limit_bytes\": \"\", \"limit_percent\": \"\" } ]");
        QTest::newRow("quote-in-path") << QStringLiteral("[{\"path\": \"/srv/a\\\"b\\\\c\"}]") << QStringLiteral("/srv/a\"b\\c")
                                       << QStringLiteral("[ { \"path\": \"/srv/a\\\"b\\\\c\", \"limit_bytes\": \"\", \"limit_percent\": \"\" } ]");
    }

    void diskSpaceRoundTrip()
    {
        QFETCH(QString, json);
        QFETCH(QString, paths);
        QFETCH(QString, accepted);
        DiskSpaceMonDialog dialog;
        dialog.setData(QStringLiteral("[{\"path\": \"/left\"}, {\"path\": \"/over\"}, {\"path\": \"/rows\"}]"));
        dialog.setData(json);
        QSignalSpy edited(&dialog, &DiskSpaceMonDialog::directoriesEdited);
        dialog.show();
        pressOk(dialog);
        QCOMPARE(edited.count(), 1);
        const QVariantList values = edited.at(0).at(0).toList();
        QCOMPARE(values.value(0).toString(), paths);
        QCOMPARE(values.value(1).toString(), accepted);
        QJsonParseError parseError;
        QJsonDocument::fromJson(accepted.toUtf8(), &parseError);
        QCOMPARE(parseError.error, QJsonParseError::NoError);
    }

    void diskSpaceLimitsChecked_data()
    {
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<QString>("percent");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::newRow("bytes-not-a-number")
            << "abc-5"
            << "90.0"
            << QStringLiteral("Row 1: \"%1\" is not a size; Size limit takes a whole number of bytes or a number with a unit such as KiB, MiB or GiB.")
                   .arg(QStringLiteral("abc-5"));
        QTest::newRow("bytes-negative")
            << "-1"
            << "90.0"
            << QStringLiteral("Row 1: \"%1\" is not a size; Size limit takes a whole number of bytes or a number with a unit such as KiB, MiB or GiB.")
                   .arg(QStringLiteral("-1"));
        QTest::newRow("bytes-fraction")
            << "1.5"
            << "90.0"
            << QStringLiteral("Row 1: \"%1\" is not a size; Size limit takes a whole number of bytes or a number with a unit such as KiB, MiB or GiB.")
                   .arg(QStringLiteral("1.5"));
        QTest::newRow("percent-over-100") << "10"
                                          << "150"
                                          << "Row 1: Limit (%) is a percentage from 0 to 100, not 150.";
        QTest::newRow("percent-below-0") << "10"
                                         << "-0.5"
                                         << "Row 1: Limit (%) is a percentage from 0 to 100, not -0.5.";
        QTest::newRow("percent-word") << "10"
                                      << "ten"
                                      << "Row 1: \"ten\" is not a number; Limit (%) takes a number.";
        QTest::newRow("edges-accepted") << "0"
                                        << "100" << QString();
        QTest::newRow("fraction-percent-accepted") << "104857600"
                                                   << "99.5" << QString();
        QTest::newRow("unset-accepted") << ""
                                        << "" << QString();
        QTest::newRow("bytes-unknown-unit")
            << "10 parsecs"
            << "90"
            << QStringLiteral("Row 1: \"%1\" is not a size; Size limit takes a whole number of bytes or a number with a unit such as KiB, MiB or GiB.")
                   .arg(QStringLiteral("10 parsecs"));
        QTest::newRow("bytes-beyond-64-bits")
            << "99999999 TiB"
            << "90"
            << QStringLiteral("Row 1: \"%1\" is not a size; Size limit takes a whole number of bytes or a number with a unit such as KiB, MiB or GiB.")
                   .arg(QStringLiteral("99999999 TiB"));
        QTest::newRow("bytes-with-unit-accepted") << "100 MiB"
                                                  << "90" << QString();
    }

    void diskSpaceLimitsChecked()
    {
        QFETCH(QString, bytes);
        QFETCH(QString, percent);
        QFETCH(QString, refusal);
        MessageBoxWatcher watcher;
        DiskSpaceMonDialog dialog;
        dialog.setData(QStringLiteral("[{\"path\": \"/var\", \"limit_bytes\": \"1\", \"limit_percent\": \"1\"}]"));
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("directoriesTable"));
        table->item(0, 1)->setText(bytes);
        table->item(0, 2)->setText(percent);
        QSignalSpy edited(&dialog, &DiskSpaceMonDialog::directoriesEdited);
        dialog.show();
        pressOk(dialog);
        if (refusal.isEmpty()) {
            QCOMPARE(edited.count(), 1);
            QVERIFY(!dialog.isVisible());
            QVERIFY(watcher.boxes().isEmpty());
        } else {
            QCOMPARE(edited.count(), 0);
            QVERIFY(dialog.isVisible());
            QCOMPARE(watcher.texts(), QStringList{refusal});
            QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Disk space limits")});
        }
    }

    // Sizes shown with units and typed with them; stored in bytes, and a cell
    // left alone keeps its value to the byte.
    void diskSpaceSizes_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("typed"); // empty: left alone
        QTest::addColumn<QString>("written");
        QTest::newRow("whole-mebibytes") << "104857600"
                                         << "100 MiB" << QString() << "104857600";
        QTest::newRow("not-whole-kept-to-the-byte") << "52428801"
                                                    << "50.00 MiB" << QString() << "52428801";
        QTest::newRow("small") << "512"
                               << "512 B" << QString() << "512";
        QTest::newRow("not-a-number-as-it-stands") << "lots"
                                                   << "lots" << QString() << "lots";
        QTest::newRow("typed-gibibytes") << "1"
                                         << "1 B"
                                         << "1.5 GiB"
                                         << "1610612736";
        QTest::newRow("typed-short-unit") << "1"
                                          << "1 B"
                                          << "2k"
                                          << "2048";
        QTest::newRow("typed-jedec-unit") << "1"
                                          << "1 B"
                                          << "10 MB"
                                          << "10485760";
        QTest::newRow("typed-lower-case") << "1"
                                          << "1 B"
                                          << "3 gib"
                                          << "3221225472";
        QTest::newRow("typed-bytes") << "1"
                                     << "1 B"
                                     << " 4096 "
                                     << "4096";
        QTest::newRow("typed-as-shown") << "1"
                                        << "1 B"
                                        << "100 MiB"
                                        << "104857600";
        QTest::newRow("typed-nearest-byte") << "1"
                                            << "1 B"
                                            << "0.1 KiB"
                                            << "102";
    }

    void diskSpaceSizes()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        DiskSpaceMonDialog dialog;
        dialog.setData(QStringLiteral("[{\"path\": \"/var\", \"limit_bytes\": \"%1\", \"limit_percent\": \"95.0\"}]").arg(stored));
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("directoriesTable"));
        QCOMPARE(table->item(0, 1)->text(), shown);
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("95"));
        if (!typed.isEmpty()) {
            table->item(0, 1)->setText(typed);
        }
        QSignalSpy edited(&dialog, &DiskSpaceMonDialog::directoriesEdited);
        dialog.show();
        pressOk(dialog);
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited.at(0).at(0).toList().value(1).toString(),
                 QStringLiteral("[ { \"path\": \"/var\", \"limit_bytes\": \"%1\", \"limit_percent\": \"95.0\" } ]").arg(written));
    }

    void diskSpaceChooser_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("rows");
        QTest::newRow("chosen") << false << 2;
        QTest::newRow("cancelled") << true << 1;
    }

    void diskSpaceChooser()
    {
        QFETCH(bool, cancel);
        QFETCH(int, rows);
        ChooserAnswer answer(cancel ? QString() : QStringLiteral("/srv/data"));
        DiskSpaceMonDialog dialog;
        dialog.setData(QStringLiteral("[{\"path\": \"/var\"}]"));
        clickAdd(dialog);
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("directoriesTable"));
        QCOMPARE(answer.asked(), QList<PathChooser::Kind>{PathChooser::Kind::ExistingDirectory});
        QCOMPARE(table->rowCount(), rows);
        if (!cancel) {
            QCOMPARE(table->item(1, 0)->text(), QStringLiteral("/srv/data"));
            // Shown with its unit; stored in bytes as before.
            QCOMPARE(table->item(1, 1)->text(), QStringLiteral("100 MiB"));
            QCOMPARE(table->item(1, 2)->text(), QStringLiteral("100"));
            QSignalSpy edited(&dialog, &DiskSpaceMonDialog::directoriesEdited);
            dialog.show();
            pressOk(dialog);
            QCOMPARE(edited.count(), 1);
            QVERIFY(edited.at(0).at(0).toList().value(1).toString().contains(
                QStringLiteral("{ \"path\": \"/srv/data\", \"limit_bytes\": \"104857600\", \"limit_percent\": \"100.0\" }")));
        }
    }

    void fileEditorSaves_data()
    {
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QStringList>("commands");
        const QString common = QStringLiteral("/etc/syslog-ng/conf.d/mod-velta.conf");
        const QStringList both{QStringLiteral("syslog-ng"), QStringLiteral("auditd")};
        const QString status = QStringLiteral("sudo systemctl status syslog-ng");
        // As Apply: a changed file of syslog-ng's makes it take the file: a
        // running one reloads it, a stopped one is started.
        QTest::newRow("syslog-ng-running") << both << common << true << QStringList{status, QStringLiteral("sudo syslog-ng-ctl reload")};
        QTest::newRow("syslog-ng-stopped") << QStringList() << common << true << QStringList{status, QStringLiteral("sudo systemctl restart syslog-ng")};
        QTest::newRow("unchanged") << both << common << false << QStringList();
        QTest::newRow("file-syslog-ng-does-not-read") << both << QStringLiteral("/etc/velta-notes.conf") << true << QStringList();
    }

    void fileEditorSaves()
    {
        QFETCH(QStringList, running);
        QFETCH(QString, path);
        QFETCH(bool, changed);
        QFETCH(QStringList, commands);
        TestRoot root;
        root.copySampleSystem();
        root.setRunningUnits(running);
        root.writeFile(path, "# Журнал событий\n");
        FileEditor editor(path);
        auto *text = editor.findChild<QTextEdit *>(QStringLiteral("textEdit"));
        // Nothing is read before the editor is opened.
        QVERIFY(text->toPlainText().isEmpty());

        // Changed on disk meanwhile: showing the editor reads it then.
        root.writeFile(path, "# Сервер ñ\n");
        editor.show();
        QCOMPARE(text->toPlainText(), QStringLiteral("# Сервер ñ\n"));
        const QString wanted = changed ? QStringLiteral("# Сервер ñ\ndestination d { file(\"/x\"); };\n") : QStringLiteral("# Сервер ñ\n");
        text->setPlainText(wanted);
        QSignalSpy written(&editor, &FileEditor::fileWritten);
        const QStringList snapshots = QDir(root.placed(Paths::SnapshotDir)).entryList(QDir::Files);
        pressOk(editor);
        QVERIFY(Waited::idle(editor));
        QCOMPARE(written.count(), 1);
        QCOMPARE(QString::fromUtf8(root.readFile(path)), wanted);
        // A snapshot before a change only.
        QCOMPARE(QDir(root.placed(Paths::SnapshotDir)).entryList(QDir::Files).size(), snapshots.size() + (changed ? 1 : 0));
        if (!commands.isEmpty()) {
            QTRY_COMPARE(root.commands(), commands);
        } else {
            QTest::qWait(200);
            QCOMPARE(root.commands(), QStringList());
        }
    }

    void fileEditorWriteFailure()
    {
        TestRoot root;
        MessageBoxWatcher watcher;
        FileEditor editor(QStringLiteral("/no/such/dir/file.conf"));
        QSignalSpy written(&editor, &FileEditor::fileWritten);
        editor.show();
        editor.findChild<QTextEdit *>(QStringLiteral("textEdit"))->setPlainText(QStringLiteral("text"));
        pressOk(editor);
        QTRY_COMPARE(watcher.titles(), QStringList{QStringLiteral("Error")});
        QCOMPARE(written.count(), 0);
        QVERIFY(editor.isVisible());
        QVERIFY(root.commands().isEmpty());
    }
};

QTEST_MAIN(EditorsTest)
#include "editorstest.moc"
