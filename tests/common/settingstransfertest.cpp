#include "common/settingsexporter.h"
#include "common/settingsimporter.h"
#include "messageboxwatcher.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

// The export and import tabs: where an archive may go, and the browse button.
class SettingsTransferTest : public QObject
{
    Q_OBJECT

    QByteArray m_previousHome;
    QByteArray m_previousSudoUser;
    QString m_previousWorkDir;

private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        m_previousHome = qgetenv("HOME");
        m_previousSudoUser = qgetenv("SUDO_USER");
        m_previousWorkDir = QDir::currentPath();
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
