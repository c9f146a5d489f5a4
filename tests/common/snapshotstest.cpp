#include "common/commonsettingswindow.h"
#include "editors/fileeditor.h"
#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "pageapply.h"
#include "platform/paths.h"
#include "plugin/quoradminevents.h"
#include "services/snghandler.h"
#include "testroot.h"
#include "waited.h"

#include <QDialogButtonBox>
#include <QDirIterator>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

namespace
{
using Files = QMap<QString, QByteArray>;

// Every file of the system but the test's own and the snapshots.
Files systemFiles(const TestRoot &root)
{
    Files files;
    QDirIterator it(root.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next().mid(root.path().size());
        // The applied record notes each import: state, not configuration.
        if (!name.startsWith(QLatin1String("/test/")) && !name.startsWith(Paths::SnapshotDir) && name != Paths::AppliedRecordFile) {
            files.insert(name, root.readFile(name));
        }
    }
    return files;
}

void pressOk(QDialog *window)
{
    window->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok)->click();
    // The settings window and the file editor run their programs on the event loop.
    if (const auto *settings = qobject_cast<CommonSettingsWindow *>(window)) {
        QVERIFY(Waited::idle(*settings));
    } else if (const auto *editor = qobject_cast<FileEditor *>(window)) {
        QVERIFY(Waited::idle(*editor));
    }
}

enum class Write { Apply, RotationOk, DestinationsOk, EditorSave };
}
Q_DECLARE_METATYPE(Write)

// Every write of the module keeps the configuration before it, and the import
// tab goes back to it.
class SnapshotsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<QuorAdminEvents> m_module;

    QStringList snapshotNames() const
    {
        return QDir(m_root->placed(Paths::SnapshotDir)).entryList(QDir::Files, QDir::Name);
    }

    QStringList restarts() const
    {
        return m_root->commands().filter(QRegularExpression(QStringLiteral("systemctl restart|syslog-ng-ctl reload")));
    }

    void write(Write kind)
    {
        if (kind == Write::Apply) {
            auto *view = m_module->findChild<QTreeView *>(QStringLiteral("singleEventsView"));
            const QModelIndexList found = view->model()->match(view->model()->index(0, 0),
                                                               CheckableTreeModel::IdRole,
                                                               QStringLiteral("package-updated"),
                                                               1,
                                                               Qt::MatchExactly | Qt::MatchRecursive);
            QCOMPARE(found.size(), 1);
            QVERIFY(view->model()->setData(found.first(), Qt::Checked, Qt::CheckStateRole));
            PageApply::run(*m_module);
            return;
        }
        if (kind == Write::EditorSave) {
            FileEditor editor(Paths::CommonSyslogNgFile);
            editor.show();
            auto *text = editor.findChild<QTextEdit *>(QStringLiteral("textEdit"));
            text->setPlainText(text->toPlainText() + QLatin1String("# edited\n"));
            pressOk(&editor);
            return;
        }
        CommonSettingsWindow window;
        window.open();
        QVERIFY(Waited::idle(window));
        if (kind == Write::RotationOk) {
            window.findChild<QSpinBox *>(QStringLiteral("numberOfLogs"))->setValue(3);
        } else {
            window.findChild<QTableView *>(QStringLiteral("destinationsView"))->selectRow(1);
            window.findChild<QToolButton *>(QStringLiteral("removeButton"))->click();
        }
        window.findChild<QTabWidget *>(QStringLiteral("tabWidget"))
            ->setCurrentWidget(window.findChild<QWidget *>(kind == Write::RotationOk ? QStringLiteral("logRotateTab") : QStringLiteral("destinationsTab")));
        pressOk(&window);
    }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<TestRoot>();
        m_root->copySampleSystem();
        QVERIFY(QDir().mkpath(m_root->placed(QStringLiteral("/etc/audit/rules.d"))));
        m_root->installFake(QStringLiteral("quor-wmfunc"), Paths::WmFuncTool);
        const QString tool = m_root->placed(Paths::ConfigManagerTool);
        QVERIFY(QDir().mkpath(QFileInfo(tool).absolutePath()));
        QFile::remove(tool); // the test root installs it already
        QVERIFY(QFile::link(QStringLiteral(CONFIG_MANAGER_PATH), tool));
        m_module = std::make_unique<QuorAdminEvents>(nullptr, QVariantList());
        m_module->load();
        // The first Apply writes the audit files the sample lacks; it keeps the sample as it was.
        MessageBoxWatcher watcher;
        PageApply::run(*m_module);
        QTRY_VERIFY(!SngHandler::instance()->busy());
        m_root->clearCommands();
        QCOMPARE(snapshotNames().size(), 1);
        // That Apply leaves the sample's files as they were, and a snapshot the
        // same as the newest is not kept again: each case starts without one.
        for (const QString &name : snapshotNames()) {
            QVERIFY(QFile::remove(m_root->placed(Paths::SnapshotDir) + QLatin1Char('/') + name));
        }
    }

    void cleanup()
    {
        m_module.reset();
        m_root.reset();
    }

    void refusedChangeKeepsNoSnapshot();
    void failedSnapshotStopsTheWrite_data();
    void failedSnapshotStopsTheWrite();
    void oneOkOneSnapshot();

    void eachWriteIsKeptAndRestored_data()
    {
        QTest::addColumn<Write>("kind");
        QTest::addColumn<QString>("changedFile");
        QTest::addColumn<bool>("restarts");
        QTest::newRow("apply") << Write::Apply << QString(Paths::EventsFile) << true;
        QTest::newRow("settings-ok-rotation") << Write::RotationOk << QString(Paths::LogRotateFile) << false;
        QTest::newRow("settings-ok-destinations") << Write::DestinationsOk << QString(Paths::CommonSyslogNgFile) << true;
        QTest::newRow("editor-save") << Write::EditorSave << QString(Paths::CommonSyslogNgFile) << true;
    }

    void eachWriteIsKeptAndRestored()
    {
        QFETCH(Write, kind);
        QFETCH(QString, changedFile);
        QFETCH(bool, restarts);
        const Files before = systemFiles(*m_root);
        const QStringList kept = snapshotNames();

        MessageBoxWatcher watcher;
        write(kind);
        QCOMPARE(watcher.texts(), QStringList());
        if (restarts) {
            QTRY_VERIFY(!this->restarts().isEmpty());
        }
        QVERIFY(m_root->readFile(changedFile) != before.value(changedFile));
        const QStringList taken = snapshotNames();
        QCOMPARE(taken.size(), kept.size() + 1);

        // Listed newest first, with the files it would change.
        CommonSettingsWindow window;
        QSignalSpy imported(&window, &CommonSettingsWindow::configurationImported);
        window.open();
        QVERIFY(Waited::idle(window));
        auto *list = window.findChild<QTreeWidget *>(QStringLiteral("snapshotsView"));
        QCOMPARE(list->topLevelItemCount(), taken.size());
        QTreeWidgetItem *newest = list->topLevelItem(0);
        QVERIFY2(newest->text(1).split(QStringLiteral(", ")).contains(changedFile), qPrintable(newest->text(1)));
        newest->setSelected(true);
        window.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentWidget(window.findChild<QWidget *>(QStringLiteral("importTab")));
        // Asked first, with the file that goes back.
        watcher.queueAnswer(QMessageBox::Yes);
        pressOk(&window);
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Import configuration")});
        QVERIFY2(watcher.texts().constFirst().contains(changedFile + QLatin1String(" (replaced)")), qPrintable(watcher.texts().constFirst()));
        QVERIFY(!window.isVisible());
        QCOMPARE(imported.count(), 1);
        QCOMPARE(systemFiles(*m_root), before);
    }
};

// A change refused before it is written leaves no snapshot behind.
void SnapshotsTest::refusedChangeKeepsNoSnapshot()
{
    const QStringList kept = snapshotNames();
    m_root->writeFile(QStringLiteral("/etc/syslog-ng/conf.d/local.conf"), "log { source(velta_events_src); destination(nowhere); };\n");
    for (const Write kind : {Write::Apply, Write::EditorSave, Write::DestinationsOk}) {
        MessageBoxWatcher watcher;
        write(kind);
        QVERIFY2(watcher.titles().contains(QStringLiteral("Error")), qPrintable(watcher.texts().join(QLatin1Char('\n'))));
    }
    QCOMPARE(snapshotNames(), kept);
    QCOMPARE(restarts(), QStringList());
}

void SnapshotsTest::failedSnapshotStopsTheWrite_data()
{
    QTest::addColumn<Write>("kind");
    QTest::addColumn<QString>("changedFile");
    QTest::addColumn<bool>("goOn");
    for (const bool goOn : {false, true}) {
        const char *answer = goOn ? "-go-on" : "-stop";
        QTest::newRow(qPrintable(QStringLiteral("apply") + QLatin1String(answer))) << Write::Apply << QString(Paths::EventsFile) << goOn;
        QTest::newRow(qPrintable(QStringLiteral("settings-ok-rotation") + QLatin1String(answer))) << Write::RotationOk << QString(Paths::LogRotateFile) << goOn;
        QTest::newRow(qPrintable(QStringLiteral("settings-ok-destinations") + QLatin1String(answer)))
            << Write::DestinationsOk << QString(Paths::CommonSyslogNgFile) << goOn;
        QTest::newRow(qPrintable(QStringLiteral("editor-save") + QLatin1String(answer))) << Write::EditorSave << QString(Paths::CommonSyslogNgFile) << goOn;
    }
}

// A snapshot that cannot be taken stops the change, unless the administrator
// goes on without one.
void SnapshotsTest::failedSnapshotStopsTheWrite()
{
    QFETCH(Write, kind);
    QFETCH(QString, changedFile);
    QFETCH(bool, goOn);
    m_root->writeFile(Paths::ConfigManagerTool, "#!/bin/sh\necho 'no space left on the disk' >&2\nexit 1\n");
    QVERIFY(QFile::setPermissions(m_root->placed(Paths::ConfigManagerTool), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray before = m_root->readFile(changedFile);

    MessageBoxWatcher watcher;
    watcher.queueAnswer(goOn ? QMessageBox::Yes : QMessageBox::No);
    write(kind);
    QCOMPARE(watcher.titles().constFirst(), QStringLiteral("No snapshot"));
    QVERIFY2(watcher.texts().constFirst().contains(QLatin1String("no space left on the disk")), qPrintable(watcher.texts().constFirst()));
    QCOMPARE(m_root->readFile(changedFile) != before, goOn);
    if (!goOn && kind != Write::Apply) {
        // The window or editor says why nothing was written.
        QCOMPARE(watcher.titles().mid(1), QStringList{QStringLiteral("Error")});
        QVERIFY2(watcher.texts().constLast().contains(QLatin1String("no snapshot")), qPrintable(watcher.texts().constLast()));
    }
    if (goOn && kind != Write::RotationOk) {
        QTRY_COMPARE(restarts().size(), 1);
    } else {
        QTest::qWait(100);
        QCOMPARE(restarts(), QStringList());
    }
}

// One OK of the settings window that saves two tabs keeps one snapshot.
void SnapshotsTest::oneOkOneSnapshot()
{
    const QStringList kept = snapshotNames();
    CommonSettingsWindow window;
    window.open();
    QVERIFY(Waited::idle(window));
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    tabs->setCurrentWidget(window.findChild<QWidget *>(QStringLiteral("logRotateTab")));
    window.findChild<QSpinBox *>(QStringLiteral("numberOfLogs"))->setValue(3);
    tabs->setCurrentWidget(window.findChild<QWidget *>(QStringLiteral("destinationsTab")));
    window.findChild<QTableView *>(QStringLiteral("destinationsView"))->selectRow(1);
    window.findChild<QToolButton *>(QStringLiteral("removeButton"))->click();
    MessageBoxWatcher watcher;
    watcher.queueAnswer(QMessageBox::Save);
    const QByteArray rotation = m_root->readFile(Paths::LogRotateFile);
    const QByteArray destinations = m_root->readFile(Paths::CommonSyslogNgFile);
    pressOk(&window);
    QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Unsaved changes")});
    QVERIFY(m_root->readFile(Paths::LogRotateFile) != rotation);
    QVERIFY(m_root->readFile(Paths::CommonSyslogNgFile) != destinations);
    QCOMPARE(snapshotNames().size(), kept.size() + 1);
    QTRY_COMPARE(restarts(), QStringList{QStringLiteral("sudo syslog-ng-ctl reload")});
}

QTEST_MAIN(SnapshotsTest)
#include "snapshotstest.moc"
