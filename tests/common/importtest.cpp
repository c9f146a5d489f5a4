#include "common/commonsettingswindow.h"
#include "editors/reviewchangesdialog.h"
#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "plugin/quoradminevents.h"
#include "testroot.h"
#include "waited.h"

#include <KMessageWidget>

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>

#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

namespace
{
const QString Archive = QStringLiteral("/root/cfg.tar.gz");
const QString PerEventFile = QStringLiteral("/etc/syslog-ng/conf.d/mod-velta-user-login.conf");
const QByteArray PerEventText = "log { source(velta_events_src); parser(velta_events_parser); destination(velta_json_dst); };\n";
// The files the archive changes, in the words of the page and the tabs.
const QString Listing = QStringLiteral(
    "Events: /etc/audit/rules.d/velta-syslog.rules (added), /etc/velta-syslog.conf (replaced)\n"
    "Main log rotation: /etc/logrotate.d/syslog-ng-mod-velta (replaced)\n"
    "Notifications: /etc/syslog-ng/conf.d/mod-velta-user-login.conf (removed)");
}

// An import through the module's settings window: what it would change is
// asked first, and the page says what was imported and what was restarted.
class ImportTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRoot> m_root;
    QByteArray m_previousHome;

    // An archive at Archive (a path of the system) holding the current files
    // with the given changes; the system keeps its files.
    void makeArchive(bool withChanges)
    {
        const QStringList touched{QString(Paths::EventsFile), QString(Paths::AuditRulesFile), QString(Paths::LogRotateFile)};
        QMap<QString, QByteArray> before;
        for (const QString &path : touched) {
            before.insert(path, m_root->readFile(path));
        }
        if (withChanges) {
            m_root->writeFile(Paths::EventsFile, "{\n}\n");
            m_root->writeFile(Paths::LogRotateFile, m_root->readFile(Paths::LogRotateFile).replace("rotate 10", "rotate 4"));
        }
        const Process::Result exported = Process::run(m_root->placed(Paths::ConfigManagerTool), {QStringLiteral("-o"), m_root->placed(Archive)}, 60000);
        QCOMPARE(exported.exitCode, 0);
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            m_root->writeFile(it.key(), it.value());
        }
        if (withChanges) {
            // Added by the import: the system lacks it; removed: the archive lacks it.
            QVERIFY(QFile::remove(m_root->placed(Paths::AuditRulesFile)));
            m_root->writeFile(PerEventFile, PerEventText);
        }
    }

    // The question's line naming whom the archive at Archive comes from, as the tool names it.
    QString signedBy() const
    {
        const Process::Result diff = Process::run(m_root->placed(Paths::ConfigManagerTool),
                                                  {QStringLiteral("--diff"), m_root->placed(Archive), QStringLiteral("--json")},
                                                  60000,
                                                  Process::Channels::Separate);
        const QString signer = QJsonDocument::fromJson(diff.output).object().value(QStringLiteral("signer")).toString();
        return signer.isEmpty() ? QString() : QStringLiteral("Signed by: ") + signer + QStringLiteral("\n\n");
    }

    // Opens the settings window of the page on its import tab and presses OK
    // with path in the field.
    static CommonSettingsWindow *pressImport(QuorAdminEvents &module, const QString &path)
    {
        module.findChild<QPushButton *>(QStringLiteral("commonSettingsButton"))->click();
        auto *window = module.findChild<CommonSettingsWindow *>();
        Waited::idle(*window);
        window->findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentWidget(window->findChild<QWidget *>(QStringLiteral("importTab")));
        window->findChild<QWidget *>(QStringLiteral("importTab"))->findChild<QLineEdit *>(QStringLiteral("fileLineEdit"))->setText(path);
        QSignalSpy imported(window, &CommonSettingsWindow::configurationImported);
        QSignalSpy shown(&module, &QuorAdminEvents::importShown);
        window->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok)->click();
        Waited::idle(*window);
        // The page shows an import once syslog-ng has checked what it left.
        if (!QTest::qWaitFor([&imported, &shown] {
                return shown.count() == imported.count();
            })) {
            qWarning("the page did not show the import");
        }
        return window;
    }

private Q_SLOTS:
    void init()
    {
        m_root = std::make_unique<TestRoot>();
        m_root->copySampleSystem();
        const QString tool = m_root->placed(Paths::ConfigManagerTool);
        QVERIFY(QDir().mkpath(QFileInfo(tool).absolutePath()));
        QFile::remove(tool); // the test root installs it already
        QVERIFY(QFile::link(QStringLiteral(CONFIG_MANAGER_PATH), tool));
        m_previousHome = qgetenv("HOME");
        qputenv("HOME", "/root");
    }

    void cleanup()
    {
        qputenv("HOME", m_previousHome);
        m_root.reset();
    }

    void importAsksAndReports_data()
    {
        QTest::addColumn<bool>("withChanges");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("boxes"); // title and text of each box shown
        QTest::addColumn<bool>("imported");
        QTest::addColumn<QString>("message"); // in the page afterwards, empty when none

        const QStringList question{QStringLiteral("Import configuration"),
                                   QStringLiteral("Importing /root/cfg.tar.gz changes the configuration:\n\n") + Listing
                                       + QStringLiteral("\n\nThe logging service is restarted afterwards. Import it?")};
        QTest::newRow("answered-yes") << true << int(QMessageBox::Yes) << question << true
                                      << QStringLiteral("Imported from /root/cfg.tar.gz:\n") + Listing
                + QStringLiteral("\nThe logging service is being restarted.");
        QTest::newRow("answered-no") << true << int(QMessageBox::No) << question << false << QString();
        QTest::newRow("nothing-to-import") << false << int(QMessageBox::Yes)
                                           << QStringList{QStringLiteral("Information"),
                                                          QStringLiteral("/root/cfg.tar.gz holds the configuration as it is; nothing was imported.")}
                                           << false << QString();
    }

    void importAsksAndReports()
    {
        QFETCH(bool, withChanges);
        QFETCH(int, answer);
        QFETCH(QStringList, boxes);
        QFETCH(bool, imported);
        QFETCH(QString, message);
        makeArchive(withChanges);
        const QByteArray events = m_root->readFile(Paths::EventsFile);
        QVERIFY(signedBy().startsWith(QLatin1String("Signed by: root@")));
        for (QString &text : boxes) {
            if (text.startsWith(QLatin1String("Importing "))) {
                text.replace(Listing + QLatin1String("\n\n"), Listing + QLatin1String("\n\n") + signedBy());
            }
        }

        MessageBoxWatcher watcher;
        QuorAdminEvents module(nullptr, {});
        module.load();
        module.findChild<QPushButton *>(QStringLiteral("commonSettingsButton"))->click();
        auto *window = module.findChild<CommonSettingsWindow *>();
        QVERIFY(window && Waited::idle(*window));
        QVERIFY(window->isVisible());
        QSignalSpy importedSpy(window, &CommonSettingsWindow::configurationImported);
        window->findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentWidget(window->findChild<QWidget *>(QStringLiteral("importTab")));
        window->findChild<QWidget *>(QStringLiteral("importTab"))->findChild<QLineEdit *>(QStringLiteral("fileLineEdit"))->setText(Archive);
        m_root->clearCommands();

        QSignalSpy shownSpy(&module, &QuorAdminEvents::importShown);
        // What the page said when it showed the import: the restart it started
        // may end, and say so, before the checks below run.
        QString shownMessage;
        connect(&module, &QuorAdminEvents::importShown, this, [&module, &shownMessage] {
            shownMessage = module.findChild<KMessageWidget *>(QStringLiteral("messageWidget"))->text();
        });
        watcher.queueAnswer(QMessageBox::StandardButton(answer));
        window->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok)->click();
        QVERIFY(Waited::idle(*window));
        QTRY_COMPARE(shownSpy.count(), importedSpy.count());
        QStringList shown;
        for (const MessageBoxWatcher::Box &box : watcher.boxes()) {
            shown << box.title << box.text;
        }
        QCOMPARE(shown, boxes);
        QCOMPARE(importedSpy.count(), imported ? 1 : 0);
        // Only No keeps the window open, with the path, to choose again.
        QCOMPARE(window->isVisible(), answer == QMessageBox::No);
        QCOMPARE(m_root->readFile(Paths::EventsFile) != events, imported);
        QCOMPARE(m_root->exists(PerEventFile), withChanges && !imported);
        QCOMPARE(m_root->exists(Paths::AuditRulesFile), !withChanges || imported);
        auto *page = module.findChild<KMessageWidget *>(QStringLiteral("messageWidget"));
        QCOMPARE(page->isVisibleTo(&module), imported);
        if (imported) {
            QCOMPARE(page->messageType(), KMessageWidget::Positive);
            QCOMPARE(shownMessage, message);
            QTRY_VERIFY(m_root->commands().contains(QStringLiteral("sudo syslog-ng-ctl reload")));
        }
    }

    // The chosen file is swapped for another archive while the question is
    // shown: what is imported is what the question showed.
    void importsWhatWasShown()
    {
        makeArchive(false);
        const QByteArray quiet = m_root->readFile(Archive);
        m_root->writeFile(Paths::EventsFile, "{\n}\n");
        makeArchive(false);
        const QByteArray shown = m_root->readFile(Archive);
        const QByteArray events = m_root->readFile(Paths::EventsFile);
        m_root->writeFile(Paths::EventsFile, "{\n\t\"user-login\" : { \"enabled\": \"0\" }\n}\n");

        MessageBoxWatcher watcher;
        watcher.queueAnswer(QMessageBox::Yes);
        watcher.setBeforeAnswer([this, &quiet](const MessageBoxWatcher::Box &) {
            m_root->writeFile(Archive, quiet);
        });
        QuorAdminEvents module(nullptr, {});
        module.load();
        pressImport(module, Archive);

        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Import configuration")});
        QCOMPARE(m_root->readFile(Archive), quiet);
        QCOMPARE(m_root->readFile(Paths::EventsFile), events);
        QVERIFY(shown != quiet);
        // Nothing of the copy is left behind.
        QCOMPARE(QDir(m_root->placed(Paths::ImportDir)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    // A link in the archive's place is refused before anything is read or asked.
    void linkRefused()
    {
        makeArchive(true);
        const QString link = QStringLiteral("/root/link.tar.gz");
        QVERIFY(QFile::link(m_root->placed(Archive), m_root->placed(link)));
        const QByteArray events = m_root->readFile(Paths::EventsFile);

        MessageBoxWatcher watcher;
        QuorAdminEvents module(nullptr, {});
        module.load();
        pressImport(module, link);

        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Error")});
        QVERIFY2(watcher.texts().constFirst().contains(QLatin1String("link.tar.gz: a symbolic link")), qPrintable(watcher.texts().constFirst()));
        QCOMPARE(m_root->readFile(Paths::EventsFile), events);
    }

    // "Review changes..." in the question opens the review at once, over the
    // question; the question is still there when it closes, and Yes imports.
    void reviewFromTheQuestion()
    {
        makeArchive(true);
        const QByteArray events = m_root->readFile(Paths::EventsFile);

        MessageBoxWatcher watcher;
        // The review opens while the first watcher is busy with the question:
        // a second one, on a timer of its own, closes it.
        MessageBoxWatcher reviews;
        QWidget *question = nullptr; // not owned
        QStringList reviewed; // the files of each review shown, and what it was shown over
        reviews.setDialogHandler([&question, &reviewed](QWidget *modal) {
            auto *review = qobject_cast<ReviewChangesDialog *>(modal);
            if (!review || review->isBusy()) {
                return false;
            }
            const bool overQuestion = review->parentWidget() && review->parentWidget()->window() == question;
            reviewed << review->paths().join(QLatin1Char(',')) << (overQuestion ? QStringLiteral("over the question") : QStringLiteral("elsewhere"));
            review->reject();
            return true;
        });
        watcher.setBeforeAnswer([&question, &reviewed](const MessageBoxWatcher::Box &) {
            question = QApplication::activeModalWidget();
            QPushButton *button = nullptr;
            const QList<QPushButton *> buttons = question->findChildren<QPushButton *>();
            for (QPushButton *candidate : buttons) {
                if (candidate->text() == QLatin1String("Review changes...")) {
                    button = candidate;
                }
            }
            QVERIFY(button);
            button->click(); // returns once the review has closed
            QCOMPARE(reviewed.size(), 2);
            QVERIFY(question->isVisible());
        });
        watcher.queueAnswer(QMessageBox::Yes);
        QuorAdminEvents module(nullptr, {});
        module.load();
        pressImport(module, Archive);

        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Import configuration")});
        QCOMPARE(reviewed,
                 (QStringList{QStringLiteral("/etc/audit/rules.d/velta-syslog.rules,/etc/logrotate.d/syslog-ng-mod-velta,"
                                             "/etc/syslog-ng/conf.d/mod-velta-user-login.conf,/etc/velta-syslog.conf"),
                              QStringLiteral("over the question")}));
        QVERIFY(m_root->readFile(Paths::EventsFile) != events);
        QVERIFY(!m_root->exists(PerEventFile));
    }

    // With edits pending on the page, the question says that the import
    // discards them and offers Cancel; after the import the page shows the
    // imported configuration, after Cancel it still has its edits.
    void importAsksAboutPageEdits_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("cancel") << int(QMessageBox::Cancel);
        QTest::newRow("yes") << int(QMessageBox::Yes);
    }

    void importAsksAboutPageEdits()
    {
        QFETCH(int, answer);
        const bool imported = answer == QMessageBox::Yes;
        makeArchive(true);
        const QByteArray events = m_root->readFile(Paths::EventsFile);

        MessageBoxWatcher watcher;
        QuorAdminEvents module(nullptr, {});
        module.load();
        auto *view = module.findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        const QModelIndexList found = view->model()->match(view->model()->index(0, 0),
                                                           CheckableTreeModel::IdRole,
                                                           QStringLiteral("package-updated"),
                                                           1,
                                                           Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        const int state = found.first().data(Qt::CheckStateRole).toInt();
        QVERIFY(view->model()->setData(found.first(), state == Qt::Checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole));
        QVERIFY(module.currentModel()->differsFrom(*module.savedModel()));

        module.findChild<QPushButton *>(QStringLiteral("commonSettingsButton"))->click();
        auto *window = module.findChild<CommonSettingsWindow *>();
        QVERIFY(window && Waited::idle(*window));
        window->findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentWidget(window->findChild<QWidget *>(QStringLiteral("importTab")));
        window->findChild<QWidget *>(QStringLiteral("importTab"))->findChild<QLineEdit *>(QStringLiteral("fileLineEdit"))->setText(Archive);
        QSignalSpy importedSpy(window, &CommonSettingsWindow::configurationImported);
        QSignalSpy shown(&module, &QuorAdminEvents::importShown);
        watcher.queueAnswer(QMessageBox::StandardButton(answer));
        window->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok)->click();
        QVERIFY(Waited::idle(*window));
        QTRY_COMPARE(shown.count(), importedSpy.count());

        QCOMPARE(watcher.titles().value(0), QStringLiteral("Import configuration"));
        QCOMPARE(watcher.texts().value(0),
                 QStringLiteral("Importing /root/cfg.tar.gz changes the configuration:\n\n") + Listing + QStringLiteral("\n\n") + signedBy()
                     + QStringLiteral("The page has changes that are not applied yet. The import discards them, and the page then shows the "
                                      "imported configuration.\n\nThe logging service is restarted afterwards. Import it?"));
        QCOMPARE(m_root->readFile(Paths::EventsFile) != events, imported);
        QCOMPARE(window->isVisible(), !imported);
        // Imported: the page holds what is on disk now; cancelled: its edit.
        QCOMPARE(module.currentModel()->differsFrom(*module.savedModel()), !imported);
        const QModelIndexList now = view->model()->match(view->model()->index(0, 0),
                                                         CheckableTreeModel::IdRole,
                                                         QStringLiteral("package-updated"),
                                                         1,
                                                         Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(now.size(), 1);
        if (!imported) {
            QVERIFY(now.first().data(Qt::CheckStateRole).toInt() != state);
        }
    }

    // An archive no trusted key signed is read only when the administrator
    // says so, in a question that says why and defaults to No; the path it
    // names is shown as typed, tags and all.
    void untrustedArchiveAsked_data()
    {
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<bool>("imported");
        QTest::newRow("declined") << QList<int>{QMessageBox::No} << false;
        QTest::newRow("admitted-and-imported") << QList<int>{QMessageBox::Yes, QMessageBox::Yes} << true;
    }

    void untrustedArchiveAsked()
    {
        QFETCH(QList<int>, answers);
        QFETCH(bool, imported);
        const QString archive = QStringLiteral("/root/<b>cfg.tar.gz");
        m_root->writeFile(QStringLiteral("/test/plain") + Paths::EventsFile, "{\n}\n");
        QCOMPARE(Process::run(QStringLiteral("/bin/tar"),
                              {QStringLiteral("-czf"),
                               m_root->placed(archive),
                               QStringLiteral("-C"),
                               m_root->placed(QStringLiteral("/test/plain")),
                               QString(Paths::EventsFile).mid(1)},
                              60000)
                     .exitCode,
                 0);
        MessageBoxWatcher watcher;
        for (const int answer : answers) {
            watcher.queueAnswer(QMessageBox::StandardButton(answer));
        }
        QList<Qt::TextFormat> formats;
        watcher.setBeforeAnswer([&formats](const MessageBoxWatcher::Box &box) {
            for (const QLabel *label : QApplication::activeModalWidget()->findChildren<QLabel *>()) {
                if (label->text() == box.text) {
                    formats << label->textFormat();
                }
            }
        });
        QuorAdminEvents module(nullptr, {});
        module.load();
        pressImport(module, archive);

        const QString warning = QStringLiteral(
            "/root/<b>cfg.tar.gz cannot be trusted: the archive is not signed; it is imported only with --allow-unsigned.\n\nImport it only when "
            "you know where it comes from and what it holds. Read it anyway?");
        QCOMPARE(watcher.texts().value(0), warning);
        QCOMPARE(watcher.boxes().value(0).defaultButton, QMessageBox::No);
        QCOMPARE(watcher.texts().size(), answers.size());
        if (imported) {
            QVERIFY2(watcher.texts().value(1).startsWith(QLatin1String("Importing /root/<b>cfg.tar.gz changes the configuration:"))
                         && watcher.texts().value(1).contains(QLatin1String("\n\nSigned by: nobody (unsigned, admitted by --allow-unsigned)\n\n")),
                     qPrintable(watcher.texts().value(1)));
        }
        QCOMPARE(formats.size(), answers.size());
        QCOMPARE(formats.count(Qt::PlainText), answers.size());
        QCOMPARE(m_root->readFile(Paths::EventsFile) == "{\n}\n", imported);
    }
};

QTEST_MAIN(ImportTest)
#include "importtest.moc"
