#include "common/commonsettingswindow.h"
#include "hungprogram.h"
#include "messageboxwatcher.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "testroot.h"
#include "waited.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace
{
// Root's home, as the system knows it.
const QString Home = QStringLiteral("/root");
}

// The common parameters window: which tab acts on OK, and how it closes.
class CommonSettingsWindowTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRoot> m_root;
    QByteArray m_previousHome;
    QString m_previousWorkDir;

    static QLineEdit *pathField(CommonSettingsWindow *window, const QString &tab)
    {
        auto *page = window->findChild<QWidget *>(tab);
        return page ? page->findChild<QLineEdit *>(QStringLiteral("fileLineEdit")) : nullptr;
    }

    static void pressOk(CommonSettingsWindow *window)
    {
        window->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok)->click();
        QVERIFY(Waited::idle(*window));
    }

    // Prepares the archive a row names (the current configuration, or one
    // holding a foreign file) and gives its path as the administrator types
    // it: a path of the system, in root's home "/root".
    QString makeArchive(const QString &kind) const
    {
        const QString path = Home + QLatin1Char('/') + kind + QLatin1String(".tar.gz");
        const QString placed = m_root->placed(path);
        if (kind == QLatin1String("exported")) {
            const Process::Result result = Process::run(m_root->placed(Paths::ConfigManagerTool), {QStringLiteral("-o"), placed}, 60000);
            return result.exitCode == 0 ? path : QString();
        }
        if (kind == QLatin1String("foreign")) {
            m_root->writeFile(QStringLiteral("/test/src/etc/passwd"), "root::0:0::/:/bin/sh\n");
            const Process::Result result =
                Process::run(QStringLiteral("/bin/tar"),
                             {QStringLiteral("-czf"), placed, QStringLiteral("-C"), m_root->placed(QStringLiteral("/test/src")), QStringLiteral("etc/passwd")},
                             60000);
            return result.exitCode == 0 ? path : QString();
        }
        if (kind == QLatin1String("link")) {
            // What a user could put into the home in place of the archive.
            m_root->writeFile(QStringLiteral("/etc/shadow"), "secret");
            return QFile::link(m_root->placed(QStringLiteral("/etc/shadow")), placed) ? path : QString();
        }
        if (kind.startsWith(QLatin1String("relative:"))) {
            return kind.mid(9);
        }
        return kind.isEmpty() || kind.startsWith(QLatin1Char('/')) ? kind : Home + QLatin1Char('/') + kind;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_previousHome = qgetenv("HOME");
        m_previousWorkDir = QDir::currentPath();
    }

    void init()
    {
        m_root = std::make_unique<TestRoot>();
        QVERIFY(QDir().mkpath(m_root->placed(Home)));
        const QString tool = m_root->placed(Paths::ConfigManagerTool);
        QVERIFY(QDir().mkpath(QFileInfo(tool).absolutePath()));
        QFile::remove(tool); // the test root installs it already
        QVERIFY(QFile::link(QStringLiteral(CONFIG_MANAGER_PATH), tool));
        qputenv("HOME", Home.toUtf8());
        m_root->writeFile(QString(Paths::EventsFile), "{ \"saved\": {} }\n");
        // Relative paths are paths of the system too: from "/" they lead into "/root".
        QVERIFY(QDir::setCurrent(QStringLiteral("/")));
    }

    void cleanup()
    {
        QDir::setCurrent(m_previousWorkDir);
        qputenv("HOME", m_previousHome);
        m_root.reset();
    }

    void okOnTransferTabs_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("archive"); // "exported", "foreign", "relative:" and a path as typed, a name in the home, a system path, or empty
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("imports");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QByteArray>("settings"); // the settings file afterwards

        const QString exportTab = QStringLiteral("exportTab");
        const QString importTab = QStringLiteral("importTab");
        const QStringList exported{QStringLiteral("Configuration exported successfully")};
        const QStringList empty{QStringLiteral("No file selected")};
        const QStringList exportFailed{QStringLiteral("Can not export configuration!")};
        const QStringList importFailed{QStringLiteral("Can not import configuration!")};
        const QByteArray changed("{ \"changed\": {} }\n");
        QTest::newRow("export-done") << exportTab << QStringLiteral("new.tar.gz") << true << 0 << exported << changed;
        // Relative paths resolve against the working directory, "/" here, for the check and the tool alike.
        QTest::newRow("export-relative-path") << exportTab << QStringLiteral("relative:root/new.tar.gz") << true << 0 << exported << changed;
        QTest::newRow("export-empty-path") << exportTab << QString() << false << 0 << empty << changed;
        QTest::newRow("export-outside-home") << exportTab << QStringLiteral("relative:root/../new.tar.gz") << false << 0
                                             << QStringList{QStringLiteral("The output file cannot be saved outside the root's home directory!")} << changed;
        QTest::newRow("export-missing-folder") << exportTab << QStringLiteral("missing-dir/new.tar.gz") << false << 0
                                               << QStringList{QStringLiteral("The output file cannot be saved outside the root's home directory!")} << changed;
        // Asked first, as every existing file is, then refused by the tool.
        QTest::newRow("export-tool-refuses-link")
            << exportTab << QStringLiteral("link") << false << 0
            << QStringList{QStringLiteral("/root/link.tar.gz exists already. Replace it with the configuration as it is now?"), exportFailed.constFirst()}
            << changed;
        QTest::newRow("import-done") << importTab << QStringLiteral("exported") << true << 1
                                     << QStringList{QStringLiteral("Importing /root/exported.tar.gz changes the configuration:")}
                                     << QByteArray("{ \"saved\": {} }\n");
        QTest::newRow("import-empty-path") << importTab << QString() << false << 0 << empty << changed;
        QTest::newRow("import-foreign-file") << importTab << QStringLiteral("foreign") << false << 0 << importFailed << changed;
        QTest::newRow("import-missing-archive") << importTab << QStringLiteral("missing.tar.gz") << false << 0 << importFailed << changed;
    }

    void okOnTransferTabs()
    {
        QFETCH(QString, tab);
        QFETCH(QString, archive);
        QFETCH(bool, closes);
        QFETCH(int, imports);
        QFETCH(QStringList, texts);
        QFETCH(QByteArray, settings);
        const QString path = makeArchive(archive);
        QVERIFY(archive.isEmpty() || !path.isEmpty());
        m_root->writeFile(QString(Paths::EventsFile), "{ \"changed\": {} }\n");

        CommonSettingsWindow window;
        QSignalSpy finished(&window, &QDialog::finished);
        QList<bool> visibleAtImport;
        connect(&window, &CommonSettingsWindow::configurationImported, this, [&] {
            visibleAtImport << window.isVisible();
        });
        window.open();
        QVERIFY(Waited::idle(window));
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        tabs->setCurrentWidget(window.findChild<QWidget *>(tab));
        pathField(&window, tab)->setText(path);

        MessageBoxWatcher watcher;
        watcher.queueAnswer(QMessageBox::Yes);
        pressOk(&window);
        // A refused import adds what the tool said after a blank line.
        QStringList headlines;
        for (const QString &text : watcher.texts()) {
            headlines << text.section(QStringLiteral("\n\n"), 0, 0);
            if (headlines.constLast() == QLatin1String("Can not import configuration!")) {
                QVERIFY2(!text.section(QStringLiteral("\n\n"), 1).isEmpty(), qPrintable(text));
            }
        }
        QCOMPARE(headlines, texts);
        QCOMPARE(window.isVisible(), !closes);
        QCOMPARE(finished.count(), closes ? 1 : 0);
        if (closes) {
            QCOMPARE(finished.first().first().toInt(), int(QDialog::Accepted));
        } else {
            // Kept open with the path still there, to be corrected.
            QCOMPARE(pathField(&window, tab)->text(), path);
        }
        // Emitted once per successful import, while the window still stands.
        QCOMPARE(visibleAtImport, QVector<bool>(imports, true).toList());
        QCOMPARE(m_root->readFile(QString(Paths::EventsFile)), settings);
        if (tab == QLatin1String("exportTab")) {
            // Saved in the system's home, named in the message.
            QCOMPARE(m_root->exists(QStringLiteral("/root/new.tar.gz")), closes);
            QVERIFY(!QFileInfo::exists(QStringLiteral("/root/new.tar.gz")));
            if (closes) {
                QCOMPARE(watcher.texts().constFirst().section(QStringLiteral("\n\n"), 1), QStringLiteral("Saved as /root/new.tar.gz."));
            }
        }
        if (archive == QLatin1String("link")) {
            QVERIFY(QFileInfo(m_root->placed(path)).isSymLink());
            QCOMPARE(m_root->readFile(QStringLiteral("/etc/shadow")), QByteArray("secret"));
        }
    }

    // An existing archive is replaced only when the administrator says so;
    // the question offers No first.
    void exportAsksBeforeReplacing_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("replaced");

        QTest::newRow("yes") << int(QMessageBox::Yes) << true;
        QTest::newRow("no") << int(QMessageBox::No) << false;
    }

    void exportAsksBeforeReplacing()
    {
        QFETCH(int, answer);
        QFETCH(bool, replaced);
        m_root->writeFile(QStringLiteral("/root/kept.tar.gz"), "an archive of last week");
        CommonSettingsWindow window;
        window.open();
        QVERIFY(Waited::idle(window));
        window.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentWidget(window.findChild<QWidget *>(QStringLiteral("exportTab")));
        pathField(&window, QStringLiteral("exportTab"))->setText(QStringLiteral("/root/kept.tar.gz"));
        MessageBoxWatcher watcher;
        watcher.queueAnswer(QMessageBox::StandardButton(answer));
        pressOk(&window);
        QCOMPARE(watcher.texts().constFirst(), QStringLiteral("/root/kept.tar.gz exists already. Replace it with the configuration as it is now?"));
        QCOMPARE(watcher.boxes().constFirst().defaultButton, QMessageBox::No);
        QCOMPARE(m_root->readFile(QStringLiteral("/root/kept.tar.gz")) != "an archive of last week", replaced);
        QCOMPARE(window.isVisible(), !replaced);
    }

    void okSavesOnlyCurrentTab_data()
    {
        QTest::addColumn<QString>("closeOn"); // the tab current at OK, or "cancel"
        QTest::addColumn<int>("answerButton"); // to the question about unsaved tabs
        QTest::addColumn<QString>("asked"); // the tabs the question names
        QTest::addColumn<int>("rotated"); // the number of rotated logs afterwards, in the file and the tab
        QTest::addColumn<int>("destinations"); // destination rows afterwards, in the file and the tab
        const QString both = QStringLiteral("Destinations, Main log rotation");
        const int discard = QMessageBox::Discard;
        const int save = QMessageBox::Save;
        QTest::newRow("rotation-tab") << QStringLiteral("logRotateTab") << discard << QStringLiteral("Destinations") << 3 << 2;
        QTest::newRow("destinations-tab") << QStringLiteral("destinationsTab") << discard << QStringLiteral("Main log rotation") << 10 << 1;
        QTest::newRow("export-tab") << QStringLiteral("exportTab") << discard << both << 10 << 2;
        QTest::newRow("cancel") << QStringLiteral("cancel") << discard << both << 10 << 2;
        QTest::newRow("rotation-tab-saves-others") << QStringLiteral("logRotateTab") << save << QStringLiteral("Destinations") << 3 << 1;
        QTest::newRow("export-tab-saves-others") << QStringLiteral("exportTab") << save << both << 3 << 1;
        QTest::newRow("cancel-saves") << QStringLiteral("cancel") << save << both << 3 << 1;
        QTest::newRow("go-back") << QStringLiteral("logRotateTab") << int(QMessageBox::Cancel) << QStringLiteral("Destinations") << 10 << 2;
    }

    // OK acts on the current tab; edits on the others, and all edits at closing,
    // are saved or dropped only as the administrator answers.
    void okSavesOnlyCurrentTab()
    {
        QFETCH(QString, closeOn);
        QFETCH(int, answerButton);
        const auto answer = QMessageBox::StandardButton(answerButton);
        QFETCH(QString, asked);
        QFETCH(int, rotated);
        QFETCH(int, destinations);
        m_root->copySampleSystem();
        CommonSettingsWindow window;
        window.open();
        QVERIFY(Waited::idle(window));
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        auto *numberOfLogs = window.findChild<QSpinBox *>(QStringLiteral("numberOfLogs"));
        QCOMPARE(numberOfLogs->value(), 10);
        numberOfLogs->setValue(3);
        // Remove the second destination of the sample file.
        auto *view = window.findChild<QTableView *>(QStringLiteral("destinationsView"));
        QCOMPARE(view->model()->rowCount(), 2);
        QCOMPARE(view->model()->index(1, 1).data().toString(), QStringLiteral("velta_central_dst"));
        view->selectRow(1);
        window.findChild<QToolButton *>(QStringLiteral("removeButton"))->click();
        QCOMPARE(view->model()->rowCount(), 1);
        pathField(&window, QStringLiteral("exportTab"))->setText(QStringLiteral("/root/cfg.tar.gz"));

        MessageBoxWatcher watcher;
        watcher.queueAnswer(answer);
        if (closeOn == QLatin1String("cancel")) {
            window.reject();
            QVERIFY(Waited::idle(window));
        } else {
            tabs->setCurrentWidget(window.findChild<QWidget *>(closeOn));
            pressOk(&window);
        }
        QCOMPARE(watcher.titles().value(0), QStringLiteral("Unsaved changes"));
        QCOMPARE(watcher.texts().value(0), QStringLiteral("Changes on %1 are not saved. Save them, discard them, or go back?").arg(asked));
        QVERIFY(m_root->readFile(QString(Paths::LogRotateFile)).contains(QStringLiteral("rotate %1\n").arg(rotated).toUtf8()));
        QCOMPARE(m_root->readFile(QString(Paths::CommonSyslogNgFile)).count("destination velta_"), destinations);
        if (answer == QMessageBox::Cancel) {
            // Back in the window with every edit in place.
            QVERIFY(window.isVisible());
            QCOMPARE(numberOfLogs->value(), 3);
            QCOMPARE(view->model()->rowCount(), 1);
            return;
        }
        QVERIFY(!window.isVisible());
        window.open();
        QVERIFY(Waited::idle(window));
        QCOMPARE(numberOfLogs->value(), rotated);
        QCOMPARE(view->model()->rowCount(), destinations);
    }

    // Each opening reads the files again: what changed while the window was
    // closed is shown, and a save keeps it.
    void reopenedWindowReadsTheFiles()
    {
        m_root->copySampleSystem();
        CommonSettingsWindow window;
        window.open();
        QVERIFY(Waited::idle(window));
        auto *numberOfLogs = window.findChild<QSpinBox *>(QStringLiteral("numberOfLogs"));
        auto *view = window.findChild<QTableView *>(QStringLiteral("destinationsView"));
        QCOMPARE(numberOfLogs->value(), 10);
        QCOMPARE(view->model()->rowCount(), 2);
        window.reject();
        QVERIFY(Waited::idle(window));

        const QByteArray rotation = m_root->readFile(QString(Paths::LogRotateFile)).replace("rotate 10", "rotate 7");
        m_root->writeFile(QString(Paths::LogRotateFile), rotation);
        const QByteArray common = m_root->readFile(QString(Paths::CommonSyslogNgFile)) + "\ndestination outside_dst { file(\"/var/log/outside\"); };\n";
        m_root->writeFile(QString(Paths::CommonSyslogNgFile), common);

        window.open();
        QVERIFY(Waited::idle(window));
        QCOMPARE(numberOfLogs->value(), 7);
        QCOMPARE(view->model()->rowCount(), 3);
        numberOfLogs->setValue(5);
        window.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentWidget(window.findChild<QWidget *>(QStringLiteral("logRotateTab")));
        MessageBoxWatcher watcher;
        pressOk(&window);
        QVERIFY(watcher.boxes().isEmpty());
        QVERIFY(!window.isVisible());
        QCOMPARE(m_root->readFile(QString(Paths::LogRotateFile)), QByteArray(rotation).replace("rotate 7", "rotate 5"));
        QCOMPARE(m_root->readFile(QString(Paths::CommonSyslogNgFile)), common);
    }

    // A file edited behind the open window: OK writes nothing, says so, and
    // keeps the window open; Reload shows the file as it is now.
    void okRefusesFileChangedBehind_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<bool>("reload");
        QTest::newRow("rotation-cancel") << QStringLiteral("logRotateTab") << false;
        QTest::newRow("rotation-reload") << QStringLiteral("logRotateTab") << true;
        QTest::newRow("destinations-cancel") << QStringLiteral("destinationsTab") << false;
        QTest::newRow("destinations-reload") << QStringLiteral("destinationsTab") << true;
    }

    void okRefusesFileChangedBehind()
    {
        QFETCH(QString, tab);
        QFETCH(bool, reload);
        const bool rotation = tab == QLatin1String("logRotateTab");
        m_root->copySampleSystem();
        CommonSettingsWindow window;
        window.open();
        QVERIFY(Waited::idle(window));
        window.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentWidget(window.findChild<QWidget *>(tab));
        auto *numberOfLogs = window.findChild<QSpinBox *>(QStringLiteral("numberOfLogs"));
        auto *view = window.findChild<QTableView *>(QStringLiteral("destinationsView"));
        const QString file = rotation ? QString(Paths::LogRotateFile) : QString(Paths::CommonSyslogNgFile);
        if (rotation) {
            numberOfLogs->setValue(3);
        } else {
            view->selectRow(1);
            window.findChild<QToolButton *>(QStringLiteral("removeButton"))->click();
            QCOMPARE(view->model()->rowCount(), 1);
        }
        const QByteArray outside = rotation ? m_root->readFile(file).replace("rotate 10", "rotate 8") : m_root->readFile(file) + "# etckeeper\n";
        m_root->writeFile(file, outside);

        MessageBoxWatcher watcher;
        if (reload) {
            watcher.queueAnswer(QMessageBox::Yes);
        }
        pressOk(&window);
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("File changed outside this module")});
        QVERIFY(watcher.texts().constFirst().startsWith(QStringLiteral("The file %1 was changed outside this module since it was opened.").arg(file)));
        QVERIFY(window.isVisible());
        QCOMPARE(m_root->readFile(file), outside);
        if (rotation) {
            QCOMPARE(numberOfLogs->value(), reload ? 8 : 3);
        } else {
            QCOMPARE(view->model()->rowCount(), reload ? 2 : 1);
        }
    }

    void cancelThenOpenClearsPaths()
    {
        CommonSettingsWindow window;
        QSignalSpy imported(&window, &CommonSettingsWindow::configurationImported);
        QSignalSpy finished(&window, &QDialog::finished);
        window.open();
        QVERIFY(Waited::idle(window));
        const QStringList tabs{QStringLiteral("exportTab"), QStringLiteral("importTab")};
        for (const QString &tab : tabs) {
            pathField(&window, tab)->setText(QStringLiteral("/root/cfg.tar.gz"));
        }
        MessageBoxWatcher watcher;
        window.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Cancel)->click();
        QVERIFY(Waited::idle(window));
        QVERIFY(!window.isVisible());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toInt(), int(QDialog::Rejected));

        window.open();
        QVERIFY(Waited::idle(window));
        for (const QString &tab : tabs) {
            QCOMPARE(pathField(&window, tab)->text(), QString());
        }
        QVERIFY(!m_root->exists(QStringLiteral("/root/cfg.tar.gz")));
        QCOMPARE(imported.count(), 0);
        QVERIFY(watcher.boxes().isEmpty());
    }

    // The window's programs run on the event loop: while one hangs the window
    // stays responsive and busy, a second OK starts nothing, and closing it
    // returns at once and leaves no child behind.
    void closingDuringHungProgramReturnsAtOnce_data()
    {
        QTest::addColumn<QString>("hungProgram"); // a program of the table, or a system path
        QTest::addColumn<QString>("hangsOn"); // the first argument it hangs with; empty: any
        // What OK acts on: a removed destination, or an archive on the export or
        // import tab; empty: OK is not pressed, the window's opening runs the program.
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QStringList>("asked"); // the titles of the boxes shown before the program hangs
        const QString tool = Paths::ConfigManagerTool;
        QTest::newRow("logrotate-check") << QStringLiteral("logrotate") << QString() << QString() << QStringList();
        QTest::newRow("syslog-ng-check") << QStringLiteral("syslog-ng") << QString() << QStringLiteral("destinationsTab") << QStringList();
        QTest::newRow("snapshot") << tool << QString() << QStringLiteral("destinationsTab") << QStringList();
        QTest::newRow("snapshot-list") << tool << QStringLiteral("--list-snapshots") << QString() << QStringList();
        QTest::newRow("export") << tool << QStringLiteral("-o") << QStringLiteral("exportTab") << QStringList();
        QTest::newRow("preview") << tool << QStringLiteral("--diff") << QStringLiteral("importTab") << QStringList();
        QTest::newRow("import") << tool << QStringLiteral("-i") << QStringLiteral("importTab") << QStringList{QStringLiteral("Import configuration")};
    }

    void closingDuringHungProgramReturnsAtOnce()
    {
        QFETCH(QString, hungProgram);
        QFETCH(QString, hangsOn);
        QFETCH(QString, tab);
        QFETCH(QStringList, asked);
        m_root->copySampleSystem();
        // An archive that differs from the configuration as it is.
        const QString archive = tab == QLatin1String("importTab") ? makeArchive(QStringLiteral("exported")) : QStringLiteral("/root/new.tar.gz");
        QVERIFY(!archive.isEmpty());
        m_root->writeFile(QString(Paths::EventsFile), "{ \"changed\": {} }\n");
        const QByteArray events = m_root->readFile(QString(Paths::EventsFile));
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const QString pidFile = HungProgram::pidFile(bin.path());

        MessageBoxWatcher watcher;
        auto window = std::make_unique<CommonSettingsWindow>();
        QPushButton *ok = window->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok);
        if (!tab.isEmpty()) {
            window->open();
            QVERIFY(Waited::idle(*window));
            window->findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentWidget(window->findChild<QWidget *>(tab));
            if (tab == QLatin1String("destinationsTab")) {
                window->findChild<QTableView *>(QStringLiteral("destinationsView"))->selectRow(1);
                window->findChild<QToolButton *>(QStringLiteral("removeButton"))->click();
            } else {
                pathField(window.get(), tab)->setText(archive);
            }
        }
        // Hung only now: the window's opening above runs the same programs.
        QVERIFY(HungProgram::write(hungProgram, bin.path(), *m_root, hangsOn));
        for (int i = 0; i < asked.size(); ++i) {
            watcher.queueAnswer(QMessageBox::Yes);
        }
        if (!tab.isEmpty()) {
            ok->click();
        } else {
            window->open();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!HungProgram::startedPid(pidFile).isEmpty(), 60000);
        QVERIFY(window->isBusy());
        QVERIFY(!ok->isEnabled());
        // Still answering: the event loop runs, and a second OK starts nothing.
        QSignalSpy ended(window.get(), &CommonSettingsWindow::actionFinished);
        window->accept();
        QTest::qWait(50);
        QCOMPARE(ended.count(), 0);
        QCOMPARE(watcher.titles(), asked);
        QVERIFY(window->isVisible());

        const QByteArray pid = HungProgram::startedPid(pidFile);
        QElapsedTimer closing;
        closing.start();
        window->reject();
        QVERIFY(!window->isVisible());
        window.reset();
        QVERIFY2(closing.elapsed() < 1000, qPrintable(QString::number(closing.elapsed())));
        QTRY_VERIFY(HungProgram::isGone(pid));
        // Nothing was written, exported or imported.
        QCOMPARE(m_root->readFile(QString(Paths::CommonSyslogNgFile)).count("destination velta_"), 2);
        QCOMPARE(m_root->readFile(QString(Paths::EventsFile)), events);
        QVERIFY(!m_root->exists(QStringLiteral("/root/new.tar.gz")));
    }
};

QTEST_MAIN(CommonSettingsWindowTest)
#include "commonsettingswindowtest.moc"
