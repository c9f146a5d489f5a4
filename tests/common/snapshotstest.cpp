#include "common/commonsettingswindow.h"
#include "editors/fileeditor.h"
#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "platform/paths.h"
#include "plugin/quoradminevents.h"
#include "testroot.h"

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
        return m_root->commands().filter(QStringLiteral("systemctl restart"));
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
            m_module->save();
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
        QVERIFY(QFile::link(QStringLiteral(CONFIG_MANAGER_PATH), tool));
        m_module = std::make_unique<QuorAdminEvents>(nullptr, QVariantList());
        m_module->load();
        // The first Apply writes the audit files the sample lacks; it keeps the sample as it was.
        MessageBoxWatcher watcher;
        m_module->save();
        QTRY_COMPARE(restarts().size(), 2);
        m_root->clearCommands();
        QCOMPARE(snapshotNames().size(), 1);
    }

    void cleanup()
    {
        m_module.reset();
        m_root.reset();
    }

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

QTEST_MAIN(SnapshotsTest)
#include "snapshotstest.moc"
