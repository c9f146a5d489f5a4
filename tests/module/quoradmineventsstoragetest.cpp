#include "childprocess.h"
#include "eventmenu.h"
#include "hungprogram.h"
#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "model/eventswriter.h"
#include "model/eventtreeitem.h"
#include "model/singleeventsparser.h"
#include "pageapply.h"
#include "platform/paths.h"
#include "plugin/quoradminevents.h"
#include "testroot.h"

#include <KMessageWidget>

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QJsonDocument>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <functional>

#include <sys/stat.h>

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

// What the page shows of a tree and what Apply writes from it: every shown
// item with its texts, kind, check state and marks, and the settings lines.
QStringList shownAndWritten(const EventTreeItem *root)
{
    QStringList lines;
    std::function<void(const EventTreeItem *, const QString &)> visit = [&](const EventTreeItem *item, const QString &indent) {
        for (int row = 0; row < item->childCount(); ++row) {
            const EventTreeItem *child = item->child(row);
            if (!child->isVisible()) {
                continue;
            }
            lines << indent
                    + QStringLiteral("%1|%2|%3|kind %4|check %5|notify %6|load %7|editable %8")
                          .arg(child->id(), child->data(0).toString(), child->data(1).toString())
                          .arg(child->kind())
                          .arg(child->checkState())
                          .arg(child->notificationsOn())
                          .arg(child->generatesLoad())
                          .arg(child->isEditable());
            visit(child, indent + QLatin1String("  "));
        }
    };
    visit(root, QString());
    return lines + EventsWriter(Paths::placed(Paths::EventsFile), QString()).lines(root);
}

QStringList switchCommands(const TestRoot &root)
{
    return root.commands().filter(QRegularExpression(QStringLiteral("^sudo (systemctl (start|stop|restart) |syslog-ng-ctl reload)")));
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
        PageApply::run(*m_module);
        QTRY_VERIFY(!SngHandler::instance()->busy());
        m_root->clearCommands();
    }

    void cleanup()
    {
        m_module.reset();
        m_root.reset();
    }

    // A file Apply writes, changed outside since the page read it: Apply writes
    // nothing and asks; Cancel keeps the page's edits, Reload shows the files.
    void applyRefusesFilesChangedOutside_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("reload");
        QTest::newRow("audit-rules-cancel") << QString(Paths::AuditRulesFile) << false;
        QTest::newRow("audit-rules-reload") << QString(Paths::AuditRulesFile) << true;
        // The settings file is watched: the page reloads when it changes.
    }

    void applyRefusesFilesChangedOutside()
    {
        QFETCH(QString, file);
        QFETCH(bool, reload);
        const QModelIndex event = eventInView(m_view, QStringLiteral("package-updated"));
        QVERIFY(m_view->model()->setData(event, Qt::Checked, Qt::CheckStateRole));
        const QByteArray settings = m_root->readFile(Paths::EventsFile);
        const QByteArray outside = file == Paths::AuditRulesFile ? QByteArray("-w /etc/shadow -p wa -k outside\n") : settings + "\n";
        m_root->writeFile(file, outside);

        MessageBoxWatcher watcher;
        if (reload) {
            watcher.queueAnswer(QMessageBox::Yes);
        }
        PageApply::run(*m_module);
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("File changed outside this module")});
        QCOMPARE(watcher.texts().constFirst(),
                 QStringLiteral("The file %1 was changed outside this module since it was opened. Nothing was written.\n\n"
                                "Reload it (your edits on this page are lost)?")
                     .arg(file));
        QCOMPARE(m_root->readFile(file), outside);
        if (file != Paths::EventsFile) {
            QCOMPARE(m_root->readFile(Paths::EventsFile), settings);
        }
        QCOMPARE(savedCheckState(*m_module, QStringLiteral("package-updated")), int(Qt::Unchecked));
        QCOMPARE(eventInView(m_view, QStringLiteral("package-updated")).data(Qt::CheckStateRole).toInt(), int(reload ? Qt::Unchecked : Qt::Checked));
        QVERIFY(switchCommands(*m_root).isEmpty());
    }

    void applyWritesTheChange()
    {
        QAbstractItemModelTester tester(m_view->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(m_module.get(), qOverload<bool>(&QuorAdminEvents::changed));
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
        PageApply::run(*m_module);
        QCOMPARE(watcher.boxes().size(), 0);
        const QString settings = QString::fromUtf8(m_root->readFile(Paths::EventsFile));
        QVERIFY2(settings.contains(QRegularExpression(QStringLiteral("\"package-updated\" : \\{ \"enabled\" : \"1\""))), qPrintable(settings));
        // Reloaded: the saved model now holds what was written.
        QCOMPARE(savedCheckState(*m_module, QStringLiteral("package-updated")), int(Qt::Checked));
        QCOMPARE(changed.takeLast().at(0).toBool(), false);
        // Only the settings file changed: syslog-ng reads it, auditd does not.
        QTRY_COMPARE(switchCommands(*m_root), QStringList{QStringLiteral("sudo syslog-ng-ctl reload")});
        QTRY_VERIFY(!SngHandler::instance()->busy());
        auto *message = m_module->findChild<KMessageWidget *>(QStringLiteral("messageWidget"));
        // Reloaded, not restarted, and the page says which.
        QVERIFY2(message->text().endsWith(QLatin1String("syslog-ng reloaded the changed files without a restart.")), qPrintable(message->text()));
        QCOMPARE(message->messageType(), KMessageWidget::Positive);
    }

    // The page's message line tells of the last action only: the banner of an
    // Apply goes when the next Apply is refused, and a failed restart replaces it.
    void messagesTellOfTheLastActionOnly()
    {
        auto *message = m_module->findChild<KMessageWidget *>(QStringLiteral("messageWidget"));
        QVERIFY(m_view->model()->setData(eventInView(m_view, QStringLiteral("package-updated")), Qt::Checked, Qt::CheckStateRole));
        MessageBoxWatcher watcher;
        PageApply::run(*m_module);
        QVERIFY(message->isVisibleTo(m_module.get()));
        QVERIFY2(message->text().startsWith(QLatin1String("Applied.")), qPrintable(message->text()));
        QTRY_VERIFY(!SngHandler::instance()->busy());

        m_root->writeFile(QStringLiteral("/etc/syslog-ng/conf.d/local.conf"), "log { source(velta_events_src); destination(nowhere); };\n");
        QVERIFY(m_view->model()->setData(eventInView(m_view, QStringLiteral("package-updated")), Qt::Unchecked, Qt::CheckStateRole));
        PageApply::run(*m_module);
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Error")});
        QVERIFY(!message->isVisibleTo(m_module.get()));

        QVERIFY(QFile::remove(m_root->placed(QStringLiteral("/etc/syslog-ng/conf.d/local.conf"))));
        TestRoot::setFakeVariable("QUOR_FAKE_FAIL", "reload syslog-ng");
        PageApply::run(*m_module);
        QTRY_VERIFY(!SngHandler::instance()->busy());
        TestRoot::setFakeVariable("QUOR_FAKE_FAIL", {});
        QCOMPARE(message->messageType(), KMessageWidget::Error);
        QVERIFY2(message->text().startsWith(QLatin1String("syslog-ng refused the new configuration")), qPrintable(message->text()));
        QVERIFY2(!message->text().contains(QLatin1String("Applied")), qPrintable(message->text()));
    }

    // Apply restarts what reads the files it changed: nothing when none changed.
    void applyWithoutChangeRestartsNothing()
    {
        MessageBoxWatcher watcher;
        PageApply::run(*m_module);
        QTest::qWait(200);
        QVERIFY(!SngHandler::instance()->busy());
        QCOMPARE(switchCommands(*m_root), QStringList());
        auto *message = m_module->findChild<KMessageWidget *>(QStringLiteral("messageWidget"));
        QVERIFY2(!message->text().contains(QLatin1String("restart")), qPrintable(message->text()));
    }

    // Files Apply creates are root's to write and everyone's to read, whatever
    // umask the settings centre was started with; the page sets its own.
    void modesWhateverTheUmask()
    {
        QVERIFY(QFile::remove(m_root->placed(Paths::AuditRulesFile)));
        // Read again: a file gone since the page read it is a change outside the page.
        m_module->load();
        const mode_t previous = ::umask(0);
        {
            const QuorAdminEvents module(nullptr, {});
            QCOMPARE(::umask(0), mode_t(022));
        }
        QVERIFY(m_view->model()->setData(eventInView(m_view, QStringLiteral("package-updated")), Qt::Checked, Qt::CheckStateRole));
        MessageBoxWatcher watcher;
        PageApply::run(*m_module);
        ::umask(previous);
        for (const QString &path : {QString(Paths::AuditRulesFile), QString(Paths::EventsFile)}) {
            struct stat status;
            QCOMPARE(::stat(QFile::encodeName(m_root->placed(path)).constData(), &status), 0);
            QCOMPARE(status.st_mode & 07777, mode_t(0644));
        }
    }

    void rebootQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QByteArray>("sudoUid");
        QTest::addColumn<QStringList>("toolCalls");
        QTest::addColumn<QByteArray>("toolRefusal"); // what the tool says when it fails
        QTest::addColumn<QString>("failureShown"); // in the page; empty: none

        const QStringList called{QStringLiteral("quor-wmfunc QUORWM_REBOOT XDG_RUNTIME_DIR=/run/user/1000")};
        QTest::newRow("no") << int(QMessageBox::No) << QByteArray("1000") << QStringList() << QByteArray() << QString();
        QTest::newRow("yes") << int(QMessageBox::Yes) << QByteArray("1000") << called << QByteArray() << QString();
        QTest::newRow("yes-refused") << int(QMessageBox::Yes) << QByteArray("1000") << called << QByteArray("no session manager on the session bus\n")
                                     << QStringLiteral(
                                            "The reboot could not be requested: /usr/bin/quor-wmfunc QUORWM_REBOOT ended with exit code 1: no session "
                                            "manager on the session bus");
    }

    void rebootQuestion()
    {
        QFETCH(int, answer);
        QFETCH(QByteArray, sudoUid);
        QFETCH(QStringList, toolCalls);
        QFETCH(QByteArray, toolRefusal);
        QFETCH(QString, failureShown);
        if (!toolRefusal.isEmpty()) {
            m_root->writeFile(QStringLiteral("/test/wmfunc-refusal"), toolRefusal);
        }

        // The only event that switches the audit type "audit".
        const QModelIndex auditEvent = eventInView(m_view, QStringLiteral("audit-config-changed"));
        QVERIFY(m_view->model()->setData(auditEvent, Qt::Unchecked, Qt::CheckStateRole));
        const QByteArray previousUid = qgetenv("SUDO_UID");
        qputenv("SUDO_UID", sudoUid);
        MessageBoxWatcher watcher;
        watcher.queueAnswer(QMessageBox::StandardButton(answer));
        PageApply::run(*m_module);
        qputenv("SUDO_UID", previousUid);
        QCOMPARE(watcher.titles(), QStringList{Reboot});
        QCOMPARE(watcher.texts(), QStringList{RebootQuestion});
        // Enter does not reboot.
        QCOMPARE(watcher.boxes().constFirst().defaultButton, QMessageBox::No);
        QCOMPARE(m_root->commands().filter(QStringLiteral("quor-wmfunc")), toolCalls);
        auto *message = m_module->findChild<KMessageWidget *>(QStringLiteral("messageWidget"));
        if (failureShown.isEmpty()) {
            QVERIFY2(!message->text().contains(QLatin1String("reboot")), qPrintable(message->text()));
        } else {
            QVERIFY2(message->text().contains(failureShown), qPrintable(message->text()));
            QCOMPARE(message->messageType(), KMessageWidget::Error);
        }
        QVERIFY(!QString::fromUtf8(m_root->readFile(Paths::AuditTypeStore)).contains(QLatin1String("audit")));
        // The audit rules changed too: auditd is restarted after syslog-ng.
        QTRY_COMPARE(switchCommands(*m_root), (QStringList{QStringLiteral("sudo syslog-ng-ctl reload"), QStringLiteral("sudo systemctl restart auditd")}));

        // Without a new reason the next save asks nothing.
        watcher.clear();
        PageApply::run(*m_module);
        QCOMPARE(watcher.boxes().size(), 0);
    }

    // A syslog-ng configuration the check refuses stops Apply before anything is
    // written or restarted; the page keeps its edits.
    void refusedConfigurationStopsApply()
    {
        m_root->writeFile(QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-extra.conf"),
                          "log { source(velta_events_src); filter(no_such_filter); destination(velta_json_dst); };\n");
        const QByteArray settingsBefore = m_root->readFile(Paths::EventsFile);
        const QModelIndex event = eventInView(m_view, QStringLiteral("package-updated"));
        QVERIFY(m_view->model()->setData(event, Qt::Checked, Qt::CheckStateRole));
        QSignalSpy changed(m_module.get(), qOverload<bool>(&QuorAdminEvents::changed));
        MessageBoxWatcher watcher;
        PageApply::run(*m_module);
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Error")});
        QVERIFY2(watcher.texts().constFirst().contains(QLatin1String("filter(no_such_filter)")), qPrintable(watcher.texts().constFirst()));
        QVERIFY2(watcher.texts().constFirst().contains(QLatin1String("Nothing was saved")), qPrintable(watcher.texts().constFirst()));
        QCOMPARE(m_root->readFile(Paths::EventsFile), settingsBefore);
        QTRY_VERIFY(!changed.isEmpty() && changed.constLast().at(0).toBool());
        QCOMPARE(switchCommands(*m_root), QStringList());
        QCOMPARE(event.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    }

    // A per-event file left by an older version names a Python class that
    // cannot be imported here. The page says so when it opens, with the file,
    // the line and the way out. A change that leaves the file as it is is
    // asked about and written without restarting syslog-ng; switching the
    // event's notifications off removes the file, and the problem with it.
    void problemOnDiskShownAndFixable_data()
    {
        QTest::addColumn<bool>("notificationsOff"); // else an unrelated event is switched
        QTest::addColumn<int>("answer"); // to the question about the problem
        QTest::newRow("unrelated-change-written") << false << int(QMessageBox::Yes);
        QTest::newRow("unrelated-change-not-written") << false << int(QMessageBox::No);
        QTest::newRow("notifications-off-removes-it") << true << int(QMessageBox::No);
    }

    void problemOnDiskShownAndFixable()
    {
        QFETCH(bool, notificationsOff);
        QFETCH(int, answer);
        const QString oldFile = QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-user-login.conf");
        m_root->writeFile(oldFile,
                          "destination d_old_notifier { python(class(\"velta_old_notifier.Notifier\")); };\n"
                          "log { source(velta_events_src); parser(velta_events_parser); destination(d_old_notifier); };\n");
        // The page opens on the system as it is now.
        m_module = std::make_unique<QuorAdminEvents>(nullptr, QVariantList());
        m_view = m_module->findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        m_module->load();
        auto *problem = m_module->findChild<KMessageWidget *>(QStringLiteral("diskProblemMessage"));
        QTRY_VERIFY_WITH_TIMEOUT(problem->isVisibleTo(m_module.get()), 60000);
        QVERIFY2(problem->text().contains(oldFile + QStringLiteral(":1: the Python class \"velta_old_notifier.Notifier\" cannot be imported")),
                 qPrintable(problem->text()));
        QVERIFY2(problem->text().contains(QStringLiteral("notifications of the event \"User login\": switch its notifications off")),
                 qPrintable(problem->text()));

        const QByteArray settingsBefore = m_root->readFile(Paths::EventsFile);
        m_root->clearCommands();
        MessageBoxWatcher watcher;
        watcher.queueAnswer(QMessageBox::StandardButton(answer));
        if (notificationsOff) {
            QVERIFY(EventMenu::trigger(m_module.get(), QStringLiteral("User login"), QStringLiteral("Disable notifications sending")));
        } else {
            const QModelIndex event = eventInView(m_view, QStringLiteral("package-updated"));
            QVERIFY(m_view->model()->setData(event, event.data(Qt::CheckStateRole).toInt() == Qt::Checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole));
        }
        PageApply::run(*m_module);
        auto *message = m_module->findChild<KMessageWidget *>(QStringLiteral("messageWidget"));
        if (notificationsOff) {
            // Checked on the configuration it leaves: nothing to ask.
            QCOMPARE(watcher.titles(), QStringList());
            QVERIFY(!m_root->exists(oldFile));
            QTRY_VERIFY_WITH_TIMEOUT(!problem->isVisibleTo(m_module.get()), 60000);
            // syslog-ng runs: its files are reloaded.
            QTRY_VERIFY(switchCommands(*m_root).contains(QStringLiteral("sudo syslog-ng-ctl reload")));
            return;
        }
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Problem on disk")});
        QVERIFY2(watcher.texts().constFirst().contains(oldFile + QStringLiteral(". This change leaves that file as it is, so the problem remains")),
                 qPrintable(watcher.texts().constFirst()));
        QCOMPARE(watcher.boxes().constFirst().defaultButton, QMessageBox::No);
        QVERIFY(m_root->exists(oldFile));
        QCOMPARE(m_root->readFile(Paths::EventsFile) != settingsBefore, answer == QMessageBox::Yes);
        if (answer == QMessageBox::Yes) {
            QVERIFY2(message->text().contains(QLatin1String("The logging service was not restarted: syslog-ng still refuses the configuration on disk.")),
                     qPrintable(message->text()));
        }
        // syslog-ng is never restarted onto the refused file.
        QTest::qWait(200);
        QVERIFY(!switchCommands(*m_root).contains(QStringLiteral("sudo systemctl restart syslog-ng")));
        QVERIFY(!switchCommands(*m_root).contains(QStringLiteral("sudo syslog-ng-ctl reload")));
        QVERIFY(problem->isVisibleTo(m_module.get()));
    }

    void oneRebootQuestionAfterApply_data()
    {
        QTest::addColumn<bool>("auditChange");
        QTest::addColumn<bool>("discarded"); // the page reloads before Apply, as after an import
        QTest::addColumn<QString>("question");

        const QString audit = QStringLiteral("The audit settings will take effect only after the system is rebooted.\n");
        const QString notification = QStringLiteral("The notification settings will take effect only after the system is rebooted.\n");
        QTest::newRow("notification-files-only") << false << false << notification + QStringLiteral("Reboot now?");
        QTest::newRow("with-audit-change") << true << false << audit + notification + QStringLiteral("Reboot now?");
        QTest::newRow("discarded-then-audit-change") << true << true << audit + QStringLiteral("Reboot now?");
    }

    // Handing the notification file to the users asks nothing while edits are
    // unsaved; Apply asks once, after writing, for every reason together.
    void oneRebootQuestionAfterApply()
    {
        QFETCH(bool, auditChange);
        QFETCH(bool, discarded);
        QFETCH(QString, question);
        m_root->writeFile(Paths::RootNotifyrc, "[Event/userLogin]\nAction=Popup\n");
        // A home of an account every system has, so that the file is handed over.
        QVERIFY(QDir(m_root->path()).rename(QStringLiteral("home/bob"), QStringLiteral("home/daemon")));
        MessageBoxWatcher watcher;
        m_module->notificationsUpdated();
        QVERIFY(!watcher.titles().contains(Reboot));
        watcher.clear();
        if (discarded) {
            m_module->load();
        }
        if (auditChange) {
            QVERIFY(m_view->model()->setData(eventInView(m_view, QStringLiteral("audit-config-changed")), Qt::Unchecked, Qt::CheckStateRole));
        }
        const QByteArray settingsBefore = m_root->readFile(Paths::EventsFile);
        PageApply::run(*m_module);
        QCOMPARE(watcher.titles(), QStringList{Reboot});
        QCOMPARE(watcher.texts(), QStringList{question});
        QCOMPARE(m_root->readFile(Paths::EventsFile) != settingsBefore, auditChange);
        watcher.clear();
        PageApply::run(*m_module);
        QCOMPARE(watcher.boxes().size(), 0);
    }

    // Settings of an event the package no longer describes survive Apply as
    // they were, and the page says that some were not found.
    void settingsOfMissingEventsKept()
    {
        const QByteArray kept = "\t\"retired-event\" : { \"enabled\" : \"1\", \"filter-values\" : { \"program\" : [ \"a\", 2 ] } }";
        QByteArray settings = m_root->readFile(Paths::EventsFile);
        settings.insert(settings.indexOf("{") + 2, kept + ",\n");
        m_root->writeFile(Paths::EventsFile, settings);
        m_module->load();
        auto *note = m_module->findChild<QLabel *>(QStringLiteral("missingEventsLabel"));
        QVERIFY(note && !note->isHidden());
        QCOMPARE(note->toolTip(), QStringLiteral("retired-event"));
        QVERIFY(m_view->model()->setData(eventInView(m_view, QStringLiteral("package-updated")), Qt::Checked, Qt::CheckStateRole));
        MessageBoxWatcher watcher;
        PageApply::run(*m_module);
        const QByteArray written = m_root->readFile(Paths::EventsFile);
        QVERIFY2(written.contains(kept), written.constData());
        QVERIFY(QJsonDocument::fromJson(written).isObject());
        QVERIFY(!note->isHidden());
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
        PageApply::run(*m_module);
        QCOMPARE(resets.size(), 1);
        QTRY_VERIFY(!noticed.isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(resets.size(), 1);
        // The page still follows outside changes after its own save.
        m_root->writeFile(Paths::EventsFile, "{\n\t\"usb-device-connected\" : { \"enabled\" : \"1\" }\n}\n");
        QTRY_COMPARE(savedCheckState(*m_module, QStringLiteral("usb-device-connected")), int(Qt::Checked));
        QCOMPARE(resets.size(), 2);
    }

    void applyKeepsWhatAParseGives_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("key"); // empty: the event's check box
        QTest::addColumn<QVariant>("value");

        QTest::newRow("event-switched-on") << QStringLiteral("package-updated") << QString() << QVariant();
        QTest::newRow("event-with-links-switched-on") << QStringLiteral("usb-device-connected") << QString() << QVariant();
        QTest::newRow("number-edited") << QStringLiteral("disk-space-low") << QStringLiteral("check_interval") << QVariant(QStringLiteral("120"));
        QTest::newRow("load-mark-edited") << QStringLiteral("kernel-module-loaded") << QStringLiteral("generates-load") << QVariant(QStringLiteral("0"));
        QTest::newRow("nothing-changed") << QStringLiteral("package-updated") << QStringLiteral("-") << QVariant();
    }

    // Apply keeps the tree it wrote instead of reading it back: what the page
    // shows, its saved state and what the next Apply writes are those of a new
    // parse of the written files.
    void applyKeepsWhatAParseGives()
    {
        QFETCH(QString, event);
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QModelIndex index = eventInView(m_view, event);
        QVERIFY(index.isValid());
        if (key.isEmpty()) {
            QVERIFY(m_view->model()->setData(index, QVariant(), Qt::CheckStateRole));
        } else if (key != QLatin1String("-")) {
            // Through the model itself: the dictionary may hide the parameter from the view.
            CheckableTreeModel *model = m_module->currentModel();
            EventTreeItem *parameter = model->root()->findById(event)->findChildById(key);
            QVERIFY(parameter);
            QVERIFY(model->setData(model->indexFromItem(parameter, 1), value, Qt::EditRole));
        }
        QSignalSpy changed(m_module.get(), qOverload<bool>(&QuorAdminEvents::changed));
        MessageBoxWatcher watcher;
        watcher.queueAnswer(QMessageBox::No);
        PageApply::run(*m_module);
        QCOMPARE(changed.takeLast().at(0).toBool(), false);

        SingleEventsParser parser(Paths::placed(Paths::EventsFile));
        const std::unique_ptr<EventTreeItem> reread(parser.parse());
        const QStringList expected = shownAndWritten(reread.get());
        QCOMPARE(shownAndWritten(m_module->currentModel()->root()), expected);
        QCOMPARE(shownAndWritten(m_module->savedModel()->root()), expected);
        // Saved again unchanged, the files stay as they are.
        const QByteArray written = m_root->readFile(Paths::EventsFile);
        PageApply::run(*m_module);
        QCOMPARE(m_root->readFile(Paths::EventsFile), written);
        QCOMPARE(shownAndWritten(m_module->currentModel()->root()), expected);
    }

    void packageChangedBeforeApplyIsRead_data()
    {
        QTest::addColumn<QString>("file"); // below the package folder
        QTest::newRow("event-added-to-group") << QStringLiteral("services/new-event");
        QTest::newRow("group-added") << QStringLiteral("newgroup/new-event");
    }

    // A package change that the page has not reloaded yet when Apply runs is
    // read by the Apply, as it always was.
    void packageChangedBeforeApplyIsRead()
    {
        QFETCH(QString, file);
        QVERIFY(m_view->model()->setData(eventInView(m_view, QStringLiteral("package-updated")), QVariant(), Qt::CheckStateRole));
        // No event loop runs between the change and Apply: the watcher has not told yet.
        m_root->writeFile(Paths::EventSettingsDir + QLatin1Char('/') + file, R"({"enabled": 1, "name_en": "New event"})");
        MessageBoxWatcher watcher;
        PageApply::run(*m_module);
        QVERIFY(m_module->savedModel()->root()->findById(QStringLiteral("new-event")));
        QVERIFY(m_module->currentModel()->root()->findById(QStringLiteral("new-event")));
        QCOMPARE(savedCheckState(*m_module, QStringLiteral("package-updated")), int(Qt::Checked));
    }

    // After an Apply that kept its tree, an outside change of the settings is
    // read again from the files.
    void outsideChangeAfterApplyReloads()
    {
        QVERIFY(m_view->model()->setData(eventInView(m_view, QStringLiteral("package-updated")), QVariant(), Qt::CheckStateRole));
        MessageBoxWatcher watcher;
        PageApply::run(*m_module);
        QCOMPARE(savedCheckState(*m_module, QStringLiteral("usb-device-connected")), int(Qt::Unchecked));
        m_root->writeFile(Paths::EventsFile, "{\n\t\"usb-device-connected\" : { \"enabled\" : \"1\" }\n}\n");
        QTRY_COMPARE(savedCheckState(*m_module, QStringLiteral("usb-device-connected")), int(Qt::Checked));
        QCOMPARE(eventInView(m_view, QStringLiteral("usb-device-connected")).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
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

    // Apply runs its programs without blocking the page: while one hangs the
    // page is busy and takes no second Apply, and closing the page returns at
    // once and leaves no child behind.
    void closingDuringHungApplyReturnsAtOnce_data()
    {
        QTest::addColumn<QString>("hungProgram"); // a program of the table, or a system path
        QTest::newRow("syslog-ng-check") << QStringLiteral("syslog-ng");
        QTest::newRow("snapshot") << QString(Paths::ConfigManagerTool);
    }

    void closingDuringHungApplyReturnsAtOnce()
    {
        QFETCH(QString, hungProgram);

        QTemporaryDir bin;
        QVERIFY(bin.isValid() && HungProgram::write(hungProgram, bin.path(), *m_root));
        const QString pidFile = HungProgram::pidFile(bin.path());

        QSignalSpy finished(m_module.get(), &QuorAdminEvents::applyFinished);
        m_module->save();
        QTRY_VERIFY_WITH_TIMEOUT(!HungProgram::startedPid(pidFile).isEmpty(), 60000);
        QCOMPARE(finished.count(), 0);
        QVERIFY(!m_view->isEnabled());
        // A second Apply while the first waits starts nothing.
        m_module->save();
        QCOMPARE(finished.count(), 0);

        const QByteArray pid = HungProgram::startedPid(pidFile);
        QElapsedTimer closing;
        closing.start();
        m_module.reset();
        QVERIFY2(closing.elapsed() < 1000, qPrintable(QString::number(closing.elapsed())));
        QTRY_VERIFY(HungProgram::isGone(pid));
    }

private:
    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<QuorAdminEvents> m_module;
    QTreeView *m_view = nullptr; // Not owned.
};

QTEST_MAIN(QuorAdminEventsStorageTest)
#include "quoradmineventsstoragetest.moc"
