#include "common/commonsettingswindow.h"
#include "messageboxwatcher.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "testroot.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

// The common parameters window: which tab acts on OK, and how it closes.
class CommonSettingsWindowTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_home; // stands for root's home
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
    }

    // Prepares the archive a row names: the current configuration, or one holding a foreign file.
    QString makeArchive(const QString &kind) const
    {
        const QString path = m_home->filePath(kind + QLatin1String(".tar.gz"));
        if (kind == QLatin1String("exported")) {
            const Process::Result result = Process::run(m_root->placed(Paths::ConfigManagerTool), {QStringLiteral("-o"), path}, 60000);
            return result.exitCode == 0 ? path : QString();
        }
        if (kind == QLatin1String("foreign")) {
            m_root->writeFile(QStringLiteral("/test/src/etc/passwd"), "root::0:0::/:/bin/sh\n");
            const Process::Result result =
                Process::run(QStringLiteral("tar"),
                             {QStringLiteral("-czf"), path, QStringLiteral("-C"), m_root->placed(QStringLiteral("/test/src")), QStringLiteral("etc/passwd")},
                             60000);
            return result.exitCode == 0 ? path : QString();
        }
        if (kind == QLatin1String("link")) {
            // What a user could put into the home in place of the archive.
            m_root->writeFile(QStringLiteral("/etc/shadow"), "secret");
            return QFile::link(m_root->placed(QStringLiteral("/etc/shadow")), path) ? path : QString();
        }
        if (kind.startsWith(QLatin1String("relative:"))) {
            return kind.mid(9);
        }
        return kind.isEmpty() ? QString() : m_home->filePath(kind);
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
        m_home = std::make_unique<QTemporaryDir>();
        const QString tool = m_root->placed(Paths::ConfigManagerTool);
        QVERIFY(QDir().mkpath(QFileInfo(tool).absolutePath()));
        QVERIFY(QFile::link(QStringLiteral(CONFIG_MANAGER_PATH), tool));
        qputenv("HOME", m_home->path().toUtf8());
        m_root->writeFile(QString(Paths::EventsFile), "saved\n");
        QVERIFY(QDir::setCurrent(m_home->path()));
    }

    void cleanup()
    {
        QDir::setCurrent(m_previousWorkDir);
        qputenv("HOME", m_previousHome);
        m_root.reset();
        m_home.reset();
    }

    void okOnTransferTabs_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("archive"); // "exported", "foreign", "relative:" and a name as typed, a name in the home, or empty
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
        const QByteArray changed("changed\n");
        QTest::newRow("export-done") << exportTab << QStringLiteral("new.tar.gz") << true << 0 << exported << changed;
        // Relative paths resolve against the working directory, the home here, for the check and the tool alike.
        QTest::newRow("export-relative-path") << exportTab << QStringLiteral("relative:new.tar.gz") << true << 0 << exported << changed;
        QTest::newRow("export-empty-path") << exportTab << QString() << false << 0 << empty << changed;
        QTest::newRow("export-outside-home") << exportTab << QStringLiteral("../new.tar.gz") << false << 0
                                             << QStringList{QStringLiteral("The output file cannot be saved outside the root's home directory!")} << changed;
        QTest::newRow("export-missing-folder") << exportTab << QStringLiteral("missing-dir/new.tar.gz") << false << 0
                                               << QStringList{QStringLiteral("The output file cannot be saved outside the root's home directory!")} << changed;
        QTest::newRow("export-tool-refuses-link") << exportTab << QStringLiteral("link") << false << 0 << exportFailed << changed;
        QTest::newRow("import-done") << importTab << QStringLiteral("exported") << true << 1 << QStringList() << QByteArray("saved\n");
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
        m_root->writeFile(QString(Paths::EventsFile), "changed\n");

        CommonSettingsWindow window;
        QSignalSpy finished(&window, &QDialog::finished);
        QList<bool> visibleAtImport;
        connect(&window, &CommonSettingsWindow::configurationImported, this, [&] {
            visibleAtImport << window.isVisible();
        });
        window.open();
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        tabs->setCurrentWidget(window.findChild<QWidget *>(tab));
        pathField(&window, tab)->setText(path);

        MessageBoxWatcher watcher;
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
            QCOMPARE(QFileInfo(m_home->filePath(QStringLiteral("new.tar.gz"))).isFile(), closes);
        }
        if (archive == QLatin1String("link")) {
            QVERIFY(QFileInfo(path).isSymLink());
            QCOMPARE(m_root->readFile(QStringLiteral("/etc/shadow")), QByteArray("secret"));
        }
    }

    void okSavesOnlyCurrentTab_data()
    {
        QTest::addColumn<QString>("closeOn"); // the tab current at OK, or "cancel"
        QTest::addColumn<int>("rotated"); // the number of rotated logs afterwards, in the file and the tab
        QTest::addColumn<int>("destinations"); // destination rows afterwards, in the file and the tab
        QTest::newRow("rotation-tab") << QStringLiteral("logRotateTab") << 3 << 2;
        QTest::newRow("destinations-tab") << QStringLiteral("destinationsTab") << 10 << 1;
        QTest::newRow("export-tab") << QStringLiteral("exportTab") << 10 << 2;
        QTest::newRow("cancel") << QStringLiteral("cancel") << 10 << 2;
    }

    void okSavesOnlyCurrentTab()
    {
        QFETCH(QString, closeOn);
        QFETCH(int, rotated);
        QFETCH(int, destinations);
        m_root->copySampleSystem();
        CommonSettingsWindow window;
        window.open();
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
        pathField(&window, QStringLiteral("exportTab"))->setText(m_home->filePath(QStringLiteral("cfg.tar.gz")));

        MessageBoxWatcher watcher;
        if (closeOn == QLatin1String("cancel")) {
            window.reject();
        } else {
            tabs->setCurrentWidget(window.findChild<QWidget *>(closeOn));
            pressOk(&window);
        }
        QVERIFY(!window.isVisible());
        QVERIFY(m_root->readFile(QString(Paths::LogRotateFile)).contains(QStringLiteral("rotate %1\n").arg(rotated).toUtf8()));
        QCOMPARE(m_root->readFile(QString(Paths::CommonSyslogNgFile)).count("destination velta_"), destinations);
        window.open();
        QCOMPARE(numberOfLogs->value(), rotated);
        QCOMPARE(view->model()->rowCount(), destinations);
    }

    void cancelThenOpenClearsPaths()
    {
        CommonSettingsWindow window;
        QSignalSpy imported(&window, &CommonSettingsWindow::configurationImported);
        QSignalSpy finished(&window, &QDialog::finished);
        window.open();
        const QStringList tabs{QStringLiteral("exportTab"), QStringLiteral("importTab")};
        for (const QString &tab : tabs) {
            pathField(&window, tab)->setText(m_home->filePath(QStringLiteral("cfg.tar.gz")));
        }
        MessageBoxWatcher watcher;
        window.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Cancel)->click();
        QVERIFY(!window.isVisible());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toInt(), int(QDialog::Rejected));

        window.open();
        for (const QString &tab : tabs) {
            QCOMPARE(pathField(&window, tab)->text(), QString());
        }
        QVERIFY(!QFileInfo::exists(m_home->filePath(QStringLiteral("cfg.tar.gz"))));
        QCOMPARE(imported.count(), 0);
        QVERIFY(watcher.boxes().isEmpty());
    }
};

QTEST_MAIN(CommonSettingsWindowTest)
#include "commonsettingswindowtest.moc"
