#include "common/settingsexporter.h"
#include "common/settingsimporter.h"
#include "messageboxwatcher.h"
#include "platform/paths.h"
#include "testroot.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

// The export and import tabs with the real configuration manager behind them.
class SettingsTransferTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_home; // stands for root's home
    QByteArray m_previousHome;
    QByteArray m_previousSudoUser;
    QString m_previousWorkDir;

    // The tab's path field, typed into as a user would.
    static void typePath(QWidget *tab, const QString &path)
    {
        auto *edit = tab->findChild<QLineEdit *>(QStringLiteral("fileLineEdit"));
        QVERIFY(edit);
        edit->setText(path);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        m_previousHome = qgetenv("HOME");
        m_previousSudoUser = qgetenv("SUDO_USER");
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
        qunsetenv("SUDO_USER");
    }

    void cleanup()
    {
        QDir::setCurrent(m_previousWorkDir);
        qputenv("HOME", m_previousHome);
        qputenv("SUDO_USER", m_previousSudoUser);
        m_root.reset();
        m_home.reset();
    }

    void exportPathCheck_data()
    {
        QTest::addColumn<QString>("sudoUser");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("workDir");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("allowed");
        const QString alice = QStringLiteral("alice");
        const QString root = QStringLiteral("/root");
        const QString cwd = QStringLiteral("/");
        QTest::newRow("sudo-user-home") << alice << root << cwd << QStringLiteral("/home/alice/cfg.tar.gz") << true;
        QTest::newRow("sudo-user-subdirectory") << alice << root << cwd << QStringLiteral("/home/alice/saved/cfg.tar.gz") << true;
        QTest::newRow("sibling-home-sharing-the-prefix") << alice << root << cwd << QStringLiteral("/home/alice2/cfg.tar.gz") << false;
        QTest::newRow("escape-with-dot-dot") << alice << root << cwd << QStringLiteral("/home/alice/../../etc/cfg.tar.gz") << false;
        QTest::newRow("dot-dot-staying-inside") << alice << root << cwd << QStringLiteral("/home/alice/saved/../cfg.tar.gz") << true;
        QTest::newRow("another-users-home") << alice << root << cwd << QStringLiteral("/home/bob/cfg.tar.gz") << false;
        QTest::newRow("the-home-directory-itself") << alice << root << cwd << QStringLiteral("/home/alice") << false;
        QTest::newRow("outside-every-home") << alice << root << cwd << QStringLiteral("/tmp/cfg.tar.gz") << false;
        QTest::newRow("own-home") << alice << root << cwd << QStringLiteral("/root/cfg.tar.gz") << true;
        QTest::newRow("own-home-sharing-the-prefix") << alice << root << cwd << QStringLiteral("/rootfs/cfg.tar.gz") << false;
        QTest::newRow("own-home-under-tmp") << alice << QStringLiteral("/tmp/roothome") << cwd << QStringLiteral("/tmp/roothome/cfg.tar.gz") << true;
        QTest::newRow("own-home-is-the-root-directory") << QString() << cwd << cwd << QStringLiteral("/etc/cfg.tar.gz") << false;
        QTest::newRow("no-sudo-user-any-home") << QString() << root << cwd << QStringLiteral("/home/bob/cfg.tar.gz") << true;
        QTest::newRow("no-sudo-user-home-directory") << QString() << root << cwd << QStringLiteral("/home") << false;
        QTest::newRow("no-sudo-user-escape") << QString() << root << cwd << QStringLiteral("/home/../etc/cfg.tar.gz") << false;
        QTest::newRow("relative-judged-absolute") << alice << root << cwd << QStringLiteral("home/alice/cfg.tar.gz") << true;
        QTest::newRow("relative-from-elsewhere") << alice << root << QStringLiteral("/tmp") << QStringLiteral("cfg.tar.gz") << false;
        QTest::newRow("relative-climbing-into-home") << alice << root << QStringLiteral("/tmp") << QStringLiteral("../home/alice/cfg.tar.gz") << true;
    }

    void exportPathCheck()
    {
        QFETCH(QString, sudoUser);
        QFETCH(QString, home);
        QFETCH(QString, workDir);
        QFETCH(QString, path);
        QFETCH(bool, allowed);
        qputenv("SUDO_USER", sudoUser.toUtf8());
        qputenv("HOME", home.toUtf8());
        QVERIFY(QDir::setCurrent(workDir));
        QCOMPARE(SettingsExporter::isPathAllowed(path), allowed);
    }

    void exportMessages_data()
    {
        QTest::addColumn<QString>("path"); // "~" stands for the home directory
        QTest::addColumn<bool>("configured");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("written"); // the archive that must exist afterwards, if any

        const QString error = QStringLiteral("Error");
        QTest::newRow("exported") << QStringLiteral("~/cfg.tar.gz") << true << true << QStringLiteral("Information")
                                  << QStringLiteral("Configuration exported successfully") << QStringLiteral("~/cfg.tar.gz");
        QTest::newRow("relative-path-as-typed") << QStringLiteral("cfg.tar.gz") << true << true << QStringLiteral("Information")
                                                << QStringLiteral("Configuration exported successfully") << QStringLiteral("~/cfg.tar.gz");
        QTest::newRow("empty-path") << QString() << true << false << error << QStringLiteral("No file selected") << QString();
        QTest::newRow("outside-home") << QStringLiteral("~/../cfg.tar.gz") << true << false << error
                                      << QStringLiteral("The output file cannot be saved outside the root's home directory!") << QString();
        QTest::newRow("tool-fails") << QStringLiteral("~/cfg.tar.gz") << false << false << error << QStringLiteral("Can not export configuration!")
                                    << QString();
    }

    void exportMessages()
    {
        QFETCH(QString, path);
        QFETCH(bool, configured);
        QFETCH(bool, result);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QString, written);
        if (configured) {
            m_root->writeFile(QString(Paths::EventsFile), "{\"id\":\"USER_LOGIN\"}\n");
        }
        // Relative paths resolve against the working directory, for the check and the tool alike.
        QVERIFY(QDir::setCurrent(m_home->path()));
        path.replace(QLatin1Char('~'), m_home->path());
        written.replace(QLatin1Char('~'), m_home->path());

        SettingsExporter exporter;
        typePath(&exporter, path);
        MessageBoxWatcher watcher;
        QCOMPARE(exporter.exportConfig(), result);
        QCOMPARE(watcher.titles(), QStringList{title});
        QCOMPARE(watcher.texts(), QStringList{text});
        const QStringList archives = QDir(m_home->path()).entryList(QDir::Files);
        QCOMPARE(archives, written.isEmpty() ? QStringList() : QStringList{QFileInfo(written).fileName()});
    }

    void importMessages_data()
    {
        QTest::addColumn<QString>("archive"); // "valid", "damaged", "missing" or empty
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("imported") << QStringLiteral("valid") << true << QStringList();
        QTest::newRow("empty-path") << QString() << false << QStringList{QStringLiteral("No file selected")};
        QTest::newRow("missing-archive") << QStringLiteral("missing") << false << QStringList{QStringLiteral("Can not import configuration!")};
        QTest::newRow("damaged-archive") << QStringLiteral("damaged") << false << QStringList{QStringLiteral("Can not import configuration!")};
    }

    void importMessages()
    {
        QFETCH(QString, archive);
        QFETCH(bool, result);
        QFETCH(QStringList, texts);
        m_root->writeFile(QString(Paths::EventsFile), "saved\n");
        const QString path = archive.isEmpty() ? QString() : m_home->filePath(archive + QLatin1String(".tar.gz"));
        if (archive == QLatin1String("valid")) {
            SettingsExporter exporter;
            typePath(&exporter, path);
            MessageBoxWatcher exportWatcher;
            QVERIFY(exporter.exportConfig());
        } else if (archive == QLatin1String("damaged")) {
            m_root->writeFile(QStringLiteral("/test/damaged"), "not an archive\n");
            QVERIFY(QFile::copy(m_root->placed(QStringLiteral("/test/damaged")), path));
        }
        m_root->writeFile(QString(Paths::EventsFile), "changed\n");

        SettingsImporter importer;
        typePath(&importer, path);
        MessageBoxWatcher watcher;
        QCOMPARE(importer.importConfig(), result);
        QCOMPARE(watcher.texts(), texts);
        for (const QString &title : watcher.titles()) {
            QCOMPARE(title, QStringLiteral("Error"));
        }
        QCOMPARE(m_root->readFile(QString(Paths::EventsFile)), result ? QByteArray("saved\n") : QByteArray("changed\n"));
    }

    void cancelledBrowseEmptiesField_data()
    {
        QTest::addColumn<bool>("exporting");
        QTest::addColumn<int>("acceptMode");
        QTest::addColumn<QStringList>("nameFilters");
        QTest::newRow("export-save-dialog") << true << int(QFileDialog::AcceptSave) << QStringList{QStringLiteral("*.tar.gz")};
        QTest::newRow("import-open-dialog") << false << int(QFileDialog::AcceptOpen) << QStringList{QFileDialog().nameFilters()};
    }

    void cancelledBrowseEmptiesField()
    {
        QFETCH(bool, exporting);
        QFETCH(int, acceptMode);
        QFETCH(QStringList, nameFilters);
        std::unique_ptr<QWidget> tab;
        if (exporting) {
            tab = std::make_unique<SettingsExporter>();
        } else {
            tab = std::make_unique<SettingsImporter>();
        }
        typePath(tab.get(), QStringLiteral("/home/alice/old.tar.gz"));

        MessageBoxWatcher watcher;
        QList<QPair<int, QStringList>> dialogs; // accept mode and filters of each dialog seen
        watcher.setDialogHandler([&](QWidget *widget) {
            auto *dialog = qobject_cast<QFileDialog *>(widget);
            if (!dialog) {
                return false;
            }
            dialogs.append({int(dialog->acceptMode()), dialog->nameFilters()});
            dialog->reject();
            return true;
        });
        tab->findChild<QToolButton *>(QStringLiteral("fileToolButton"))->click();
        QCOMPARE(dialogs, (QList<QPair<int, QStringList>>{{acceptMode, nameFilters}}));
        QCOMPARE(tab->findChild<QLineEdit *>(QStringLiteral("fileLineEdit"))->text(), QString());
        QVERIFY(watcher.boxes().isEmpty());
    }
};

QTEST_MAIN(SettingsTransferTest)
#include "settingstransfertest.moc"
