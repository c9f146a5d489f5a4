#include "common/settingsexporter.h"
#include "common/settingsimporter.h"
#include "messageboxwatcher.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

// The export and import tabs: where an archive may go, and the browse button.
class SettingsTransferTest : public QObject
{
    Q_OBJECT

    QByteArray m_previousHome;
    QByteArray m_previousSudoUser;
    QString m_previousWorkDir;
    // Real folders: the check resolves them. Homes of the user behind sudo and
    // of another user under /home, our own home elsewhere.
    std::unique_ptr<QTemporaryDir> m_sudoHome;
    std::unique_ptr<QTemporaryDir> m_otherHome;
    QTemporaryDir m_ownHome;

    // "@S" the sudo user's home, "@N" its name, "@O" another home, "@H" our home.
    QString expand(QString text) const
    {
        return text.replace(QLatin1String("@S"), m_sudoHome->path())
            .replace(QLatin1String("@N"), QFileInfo(m_sudoHome->path()).fileName())
            .replace(QLatin1String("@O"), m_otherHome->path())
            .replace(QLatin1String("@H"), m_ownHome.path());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        m_previousHome = qgetenv("HOME");
        m_previousSudoUser = qgetenv("SUDO_USER");
        m_previousWorkDir = QDir::currentPath();
        QVERIFY(QDir().mkpath(QStringLiteral("/home")));
        m_sudoHome = std::make_unique<QTemporaryDir>(QStringLiteral("/home/quortest-XXXXXX"));
        m_otherHome = std::make_unique<QTemporaryDir>(QStringLiteral("/home/quortest-XXXXXX"));
        QVERIFY(m_sudoHome->isValid() && m_otherHome->isValid() && m_ownHome.isValid());
        for (const QString &dir : {QStringLiteral("@S/saved"), QStringLiteral("@S2"), QStringLiteral("@H2")}) {
            QVERIFY(QDir().mkpath(expand(dir)));
        }
        QVERIFY(QFile::link(QStringLiteral("/etc"), expand(QStringLiteral("@S/etc-link"))));
        QVERIFY(QFile::link(expand(QStringLiteral("@S/saved")), expand(QStringLiteral("@S/saved-link"))));
        QVERIFY(QFile::link(m_ownHome.path(), expand(QStringLiteral("@S/own-home-link"))));
    }

    void cleanupTestCase()
    {
        QDir(expand(QStringLiteral("@S2"))).removeRecursively();
        QDir(expand(QStringLiteral("@H2"))).removeRecursively();
    }

    void cleanup()
    {
        QDir::setCurrent(m_previousWorkDir);
        qputenv("HOME", m_previousHome);
        qputenv("SUDO_USER", m_previousSudoUser);
    }

    void exportPathCheck_data()
    {
        QTest::addColumn<QString>("sudoUser");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("workDir");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("target"); // empty when refused
        const QString user = QStringLiteral("@N");
        const QString own = QStringLiteral("@H");
        const QString cwd = QStringLiteral("/");
        const QString refused;
        QTest::newRow("sudo-user-home") << user << own << cwd << "@S/cfg.tar.gz"
                                        << "@S/cfg.tar.gz";
        QTest::newRow("sudo-user-subdirectory") << user << own << cwd << "@S/saved/cfg.tar.gz"
                                                << "@S/saved/cfg.tar.gz";
        QTest::newRow("sibling-home-sharing-the-prefix") << user << own << cwd << "@S2/cfg.tar.gz" << refused;
        QTest::newRow("escape-with-dot-dot") << user << own << cwd << "@S/../../etc/cfg.tar.gz" << refused;
        QTest::newRow("dot-dot-staying-inside") << user << own << cwd << "@S/saved/../cfg.tar.gz"
                                                << "@S/cfg.tar.gz";
        QTest::newRow("another-users-home") << user << own << cwd << "@O/cfg.tar.gz" << refused;
        QTest::newRow("the-home-directory-itself") << user << own << cwd << "@S" << refused;
        QTest::newRow("outside-every-home") << user << own << cwd << "/tmp/cfg.tar.gz" << refused;
        QTest::newRow("own-home") << user << own << cwd << "@H/cfg.tar.gz"
                                  << "@H/cfg.tar.gz";
        QTest::newRow("own-home-sharing-the-prefix") << user << own << cwd << "@H2/cfg.tar.gz" << refused;
        QTest::newRow("own-home-is-the-root-directory") << QString() << cwd << cwd << "/etc/cfg.tar.gz" << refused;
        QTest::newRow("no-sudo-user-any-home") << QString() << own << cwd << "@O/cfg.tar.gz"
                                               << "@O/cfg.tar.gz";
        QTest::newRow("no-sudo-user-home-directory") << QString() << own << cwd << "/home" << refused;
        QTest::newRow("no-sudo-user-escape") << QString() << own << cwd << "/home/../etc/cfg.tar.gz" << refused;
        QTest::newRow("relative-judged-absolute") << user << own << cwd << "home/@N/cfg.tar.gz"
                                                  << "@S/cfg.tar.gz";
        QTest::newRow("relative-from-elsewhere") << user << own << "/tmp"
                                                 << "cfg.tar.gz" << refused;
        QTest::newRow("relative-climbing-into-home") << user << own << "/tmp"
                                                     << "../home/@N/cfg.tar.gz"
                                                     << "@S/cfg.tar.gz";
        // Links are judged by where they lead, and the tool gets that place.
        QTest::newRow("link-in-home-to-a-root-folder") << user << own << cwd << "@S/etc-link/shadow" << refused;
        QTest::newRow("link-in-home-to-its-own-folder") << user << own << cwd << "@S/saved-link/cfg.tar.gz"
                                                        << "@S/saved/cfg.tar.gz";
        QTest::newRow("link-in-home-to-our-home") << user << own << cwd << "@S/own-home-link/cfg.tar.gz"
                                                  << "@H/cfg.tar.gz";
        QTest::newRow("missing-folder") << user << own << cwd << "@S/missing/cfg.tar.gz" << refused;
    }

    void exportPathCheck()
    {
        QFETCH(QString, sudoUser);
        QFETCH(QString, home);
        QFETCH(QString, workDir);
        QFETCH(QString, path);
        QFETCH(QString, target);
        qputenv("SUDO_USER", expand(sudoUser).toUtf8());
        qputenv("HOME", expand(home).toUtf8());
        QVERIFY(QDir::setCurrent(workDir));
        QCOMPARE(SettingsExporter::allowedTarget(expand(path)), expand(target));
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
        auto *edit = tab->findChild<QLineEdit *>(QStringLiteral("fileLineEdit"));
        edit->setText(QStringLiteral("/home/alice/old.tar.gz"));

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
        QCOMPARE(edit->text(), QString());
        QVERIFY(watcher.boxes().isEmpty());
    }
};

QTEST_MAIN(SettingsTransferTest)
#include "settingstransfertest.moc"
