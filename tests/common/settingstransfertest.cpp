#include "common/settingsexporter.h"
#include "common/settingsimporter.h"
#include "messageboxwatcher.h"
#include "testroot.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

// The export and import tabs: where an archive may go, and the browse button.
// Every path is one of the managed system, under a test root.
class SettingsTransferTest : public QObject
{
    Q_OBJECT

    QByteArray m_previousHome;
    QByteArray m_previousSudoUser;
    QString m_previousWorkDir;
    std::unique_ptr<TestRoot> m_root;

    // "@S" the sudo user's home, "@N" its name, "@O" another home, "@H" our home (system paths).
    static QString expand(QString text)
    {
        return text.replace(QLatin1String("@S"), QLatin1String("/home/alice"))
            .replace(QLatin1String("@N"), QLatin1String("alice"))
            .replace(QLatin1String("@O"), QLatin1String("/home/bob"))
            .replace(QLatin1String("@H"), QLatin1String("/root"));
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
        // Real folders: the check resolves them.
        for (const QString &dir :
             {QStringLiteral("@S/saved"), QStringLiteral("@S2"), QStringLiteral("@O"), QStringLiteral("@H"), QStringLiteral("@H2"), QStringLiteral("/etc")}) {
            QVERIFY(QDir().mkpath(m_root->placed(expand(dir))));
        }
        // Links that lead out of the system root, and inside it.
        QVERIFY(QFile::link(QStringLiteral("/etc"), m_root->placed(expand(QStringLiteral("@S/etc-link")))));
        QVERIFY(QFile::link(QDir::tempPath(), m_root->placed(expand(QStringLiteral("@S/outside-link")))));
        QVERIFY(QFile::link(QStringLiteral("saved"), m_root->placed(expand(QStringLiteral("@S/saved-link")))));
        QVERIFY(QFile::link(QStringLiteral("../../root"), m_root->placed(expand(QStringLiteral("@S/own-home-link")))));
    }

    void cleanup()
    {
        QDir::setCurrent(m_previousWorkDir);
        qputenv("HOME", m_previousHome);
        qputenv("SUDO_USER", m_previousSudoUser);
        m_root.reset();
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
        QTest::newRow("link-in-home-leaving-the-system-root") << user << own << cwd << "@S/outside-link/cfg.tar.gz" << refused;
        // ".." of the system's "/" is "/" again, not the folder that holds the system root.
        QTest::newRow("climbing-above-the-system-root") << user << own << cwd << "/../../root/cfg.tar.gz"
                                                        << "@H/cfg.tar.gz";
        QTest::newRow("relative-climbing-above-the-system-root") << user << own << cwd << "../../../root/cfg.tar.gz"
                                                                 << "@H/cfg.tar.gz";
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
        // The tool gets the path under the system root.
        QCOMPARE(SettingsExporter::allowedTarget(expand(path)), target.isEmpty() ? QString() : m_root->placed(expand(target)));
    }

    // The empty export field says where an archive may go, before anything is refused.
    void exportFieldSaysWhere_data()
    {
        QTest::addColumn<QString>("sudoUser");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("placeholder");
        QTest::newRow("sudo-user") << QStringLiteral("alice") << QStringLiteral("/root")
                                   << QStringLiteral("An archive in /home/alice or in /root, e.g. /root/events.tar.gz");
        QTest::newRow("no-sudo-user") << QString() << QStringLiteral("/root")
                                      << QStringLiteral("An archive in a home folder in /home or in /root, e.g. /root/events.tar.gz");
        QTest::newRow("own-home-is-the-root-directory")
            << QStringLiteral("alice") << QStringLiteral("/") << QStringLiteral("An archive in /home/alice, e.g. /home/alice/events.tar.gz");
    }

    void exportFieldSaysWhere()
    {
        QFETCH(QString, sudoUser);
        QFETCH(QString, home);
        QFETCH(QString, placeholder);
        qputenv("SUDO_USER", sudoUser.toUtf8());
        qputenv("HOME", home.toUtf8());
        SettingsExporter tab;
        auto *edit = tab.findChild<QLineEdit *>(QStringLiteral("fileLineEdit"));
        edit->setText(QStringLiteral("/root/old.tar.gz"));
        tab.clear();
        QCOMPARE(edit->text(), QString());
        QCOMPARE(edit->placeholderText(), placeholder);
        QCOMPARE(edit->toolTip(), placeholder);
        // The example itself is accepted.
        QVERIFY(!SettingsExporter::allowedTarget(placeholder.section(QStringLiteral("e.g. "), 1)).isEmpty());
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
