#include "childprocess.h"
#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "platform/paths.h"
#include "plugin/quoradminevents.h"
#include "testroot.h"

#include <QAbstractItemModelTester>
#include <QFileSystemWatcher>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

namespace
{
const QString Reboot = QStringLiteral("Reboot");
const QString RebootQuestion = QStringLiteral("The audit settings will take effect only after the system is rebooted.\nReboot now?");

// The sample system with the directories the writers need and the fake window-manager tool.
void prepareSampleSystem(const TestRoot &root)
{
    root.copySampleSystem();
    QDir().mkpath(root.placed(QStringLiteral("/etc/audit/rules.d")));
    QDir().mkpath(root.placed(Paths::SyslogNgConfDir));
    root.installFake(QStringLiteral("quor-wmfunc"), Paths::WmFuncTool);
}

QModelIndex eventInView(QTreeView *view, const QString &id)
{
    QAbstractItemModel *model = view->model();
    const QModelIndexList found = model->match(model->index(0, 0), CheckableTreeModel::IdRole, id, 1, Qt::MatchExactly | Qt::MatchRecursive);
    return found.value(0);
}

int savedCheckState(const QuorAdminEvents &module, const QString &id)
{
    const EventTreeItem *item = module.savedModel()->root()->findById(id);
    return item ? item->checkState() : -1;
}

QStringList switchCommands(const TestRoot &root)
{
    return root.commands().filter(QRegularExpression(QStringLiteral("^sudo systemctl (start|stop|restart) ")));
}
}

// Loading, saving and applying on the sample system, with the fakes for the services.
class QuorAdminEventsStorageTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<TestRoot>();
        prepareSampleSystem(*m_root);
        m_module = std::make_unique<QuorAdminEvents>(nullptr, QVariantList());
        m_view = m_module->findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        QVERIFY(m_view);
        m_module->load();
        // The sample audit store predates the sample settings: one save brings them in step.
        MessageBoxWatcher watcher;
        m_module->save();
        QTRY_COMPARE(switchCommands(*m_root).size(), 2);
        m_root->clearCommands();
    }

    void cleanup()
    {
        m_module.reset();
        m_root.reset();
    }

    void applyWritesTheChange()
    {
        QAbstractItemModelTester tester(m_view->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(m_module.get(), qOverload<bool>(&KCModule::changed));
        // Switched off in the sample's current settings, and without dependencies.
        const QModelIndex event = eventInView(m_view, QStringLiteral("package-updated"));
        QVERIFY(event.isValid());
        QCOMPARE(event.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));

        QVERIFY(m_view->model()->setData(event, Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(changed.takeLast().at(0).toBool(), true);
        QVERIFY(m_view->model()->setData(event, Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(changed.takeLast().at(0).toBool(), false);
        QVERIFY(m_view->model()->setData(event, Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(changed.takeLast().at(0).toBool(), true);

        MessageBoxWatcher watcher;
        m_module->save();
        QCOMPARE(watcher.boxes().size(), 0);
        const QString settings = QString::fromUtf8(m_root->readFile(Paths::EventsFile));
        QVERIFY2(settings.contains(QRegularExpression(QStringLiteral("\"package-updated\" : \\{ \"enabled\" : \"1\""))), qPrintable(settings));
        // Reloaded: the saved model now holds what was written.
        QCOMPARE(savedCheckState(*m_module, QStringLiteral("package-updated")), int(Qt::Checked));
        QCOMPARE(changed.takeLast().at(0).toBool(), false);
        QTRY_COMPARE(switchCommands(*m_root),
                     (QStringList{QStringLiteral("sudo systemctl restart auditd"), QStringLiteral("sudo systemctl restart syslog-ng")}));
    }

    void rebootQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QByteArray>("sudoUid");
        QTest::addColumn<QStringList>("toolCalls");

        QTest::newRow("no") << int(QMessageBox::No) << QByteArray("1000") << QStringList();
        QTest::newRow("yes") << int(QMessageBox::Yes) << QByteArray("1000")
                             << QStringList{QStringLiteral("quor-wmfunc QUORWM_REBOOT XDG_RUNTIME_DIR=/run/user/1000")};
    }

    void rebootQuestion()
    {
        QFETCH(int, answer);
        QFETCH(QByteArray, sudoUid);
        QFETCH(QStringList, toolCalls);

        // The only event that switches the audit type "audit".
        const QModelIndex auditEvent = eventInView(m_view, QStringLiteral("audit-config-changed"));
        QVERIFY(m_view->model()->setData(auditEvent, Qt::Unchecked, Qt::CheckStateRole));
        const QByteArray previousUid = qgetenv("SUDO_UID");
        qputenv("SUDO_UID", sudoUid);
        MessageBoxWatcher watcher;
        watcher.queueAnswer(QMessageBox::StandardButton(answer));
        m_module->save();
        qputenv("SUDO_UID", previousUid);
        QCOMPARE(watcher.titles(), QStringList{Reboot});
        QCOMPARE(watcher.texts(), QStringList{RebootQuestion});
        QCOMPARE(m_root->commands().filter(QStringLiteral("quor-wmfunc")), toolCalls);
        QVERIFY(!QString::fromUtf8(m_root->readFile(Paths::AuditTypeStore)).contains(QLatin1String("audit")));
        QTRY_COMPARE(switchCommands(*m_root).size(), 2);

        // Without a new reason the next save asks nothing.
        watcher.clear();
        m_module->save();
        QCOMPARE(watcher.boxes().size(), 0);
    }

    void outsideChangeReloads()
    {
        QSignalSpy resets(m_module->savedModel(), &QAbstractItemModel::modelReset);
        QCOMPARE(savedCheckState(*m_module, QStringLiteral("usb-device-connected")), int(Qt::Unchecked));
        m_root->writeFile(Paths::EventsFile, "{\n\t\"usb-device-connected\" : { \"enabled\" : \"1\" }\n}\n");
        QTRY_COMPARE(savedCheckState(*m_module, QStringLiteral("usb-device-connected")), int(Qt::Checked));
        QCOMPARE(resets.size(), 1);
    }

    void ownSaveDoesNotReload()
    {
        QSignalSpy resets(m_module->savedModel(), &QAbstractItemModel::modelReset);
        // A watcher of our own tells when the notice of the save's write has arrived.
        QFileSystemWatcher probe({m_root->placed(Paths::EventsFile)});
        QSignalSpy noticed(&probe, &QFileSystemWatcher::fileChanged);
        m_module->save();
        QCOMPARE(resets.size(), 1);
        QTRY_VERIFY(!noticed.isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(resets.size(), 1);
        // The page still follows outside changes after its own save.
        m_root->writeFile(Paths::EventsFile, "{\n\t\"usb-device-connected\" : { \"enabled\" : \"1\" }\n}\n");
        QTRY_COMPARE(savedCheckState(*m_module, QStringLiteral("usb-device-connected")), int(Qt::Checked));
        QCOMPARE(resets.size(), 2);
    }

    void loadTakesStockOfNotificationFiles()
    {
        // Written after the first load: the next load must see it. The common
        // file of the same prefix is no notification file.
        m_root->writeFile(Paths::PerEventFilePrefix + QStringLiteral("user-login-failed.conf"), "log { };\n");
        m_root->writeFile(Paths::CommonSyslogNgFile, "@version: 3.38\n");
        m_module->load();
        const EventTreeItem *root = m_module->savedModel()->root();
        QVERIFY(root->findById(QStringLiteral("user-login-failed"))->notificationsOn());
        QVERIFY(!root->findById(QStringLiteral("user-logout"))->notificationsOn());
    }

    void missingEventSettings_data()
    {
        QTest::addColumn<bool>("removeDir");
        QTest::addColumn<bool>("emptyDir");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");

        const QString box = QStringLiteral(
            "BOX\tNo event configuration detected\tThe directory \"/usr/share/syslog-ng-mod-velta/event-settings\" does not exist or is "
            "empty.\\nThe application cannot continue and will be terminated.\n");
        QTest::newRow("present") << false << false << 0 << QStringLiteral("BUILT\nLOADED\n");
        QTest::newRow("missing") << true << false << 255 << QStringLiteral("BUILT\n") + box;
        QTest::newRow("empty") << true << true << 255 << QStringLiteral("BUILT\n") + box;
    }

    void missingEventSettings()
    {
        QFETCH(bool, removeDir);
        QFETCH(bool, emptyDir);
        QFETCH(int, exitCode);
        QFETCH(QString, output);

        if (removeDir) {
            QVERIFY(QDir(m_root->placed(Paths::EventSettingsDir)).removeRecursively());
        }
        if (emptyDir) {
            QVERIFY(QDir().mkpath(m_root->placed(Paths::EventSettingsDir)));
        }
        const ChildRun run = runChild(QStringLiteral(MODULEPROBE_PATH), {QStringLiteral("--load")}, QProcessEnvironment::systemEnvironment());
        QVERIFY2(!run.crashed, qPrintable(run.output));
        QCOMPARE(run.exitCode, exitCode);
        const QStringList lines = run.output.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^(BOX\t|BUILT|LOADED)")));
        QCOMPARE(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'), output);
    }

private:
    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<QuorAdminEvents> m_module;
    QTreeView *m_view = nullptr; // Not owned.
};

QTEST_MAIN(QuorAdminEventsStorageTest)
#include "quoradmineventsstoragetest.moc"
