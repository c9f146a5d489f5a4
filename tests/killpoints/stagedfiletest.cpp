#include "platform/stagedfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The atomic writer on its own: what a killed write leaves and what the next write does.
class StagedFileTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void leftoversOfTheFileGo_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("removed");

        QTest::newRow("leftover") << "settings.conf.Ab3dE9~" << true;
        QTest::newRow("other-file's-leftover") << "other.conf.Ab3dE9~" << false;
        QTest::newRow("no-tilde") << "settings.conf.Ab3dE9" << false;
        QTest::newRow("editor-backup") << "settings.conf~" << false;
        QTest::newRow("longer-suffix") << "settings.conf.Ab3dE9x~" << false;
        QTest::newRow("not-alphanumeric") << "settings.conf.Ab-dE9~" << false;
    }

    void leftoversOfTheFileGo()
    {
        QFETCH(QString, entry);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("settings.conf"));
        QFile stray(dir.filePath(entry));
        QVERIFY(stray.open(QIODevice::WriteOnly));
        stray.close();

        QVERIFY(StagedFile::replace(target, "new\n"));
        QCOMPARE(QFile::exists(dir.filePath(entry)), !removed);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), removed ? 1 : 2);
    }

    void replacesWholeKeepingPermissions()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("rules"));
        QVERIFY(StagedFile::replace(target, "old\n"));
        QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        // A link in the file's place is replaced, never written through.
        const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(StagedFile::replace(elsewhere, "untouched"));
        QVERIFY(QFile::link(elsewhere, dir.filePath(QStringLiteral("link"))));

        QVERIFY(StagedFile::replace(target, "new\n"));
        QVERIFY(StagedFile::replace(dir.filePath(QStringLiteral("link")), "through the link?"));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("new\n"));
        QCOMPARE(file.permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        QFile other(elsewhere);
        QVERIFY(other.open(QIODevice::ReadOnly));
        QCOMPARE(other.readAll(), QByteArray("untouched"));
    }

    void uncommittedGoesAway()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("file"));
        {
            StagedFile staged;
            QVERIFY(staged.stage(target, "never"));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
        }
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
        StagedFile staged;
        QVERIFY(!staged.stage(dir.filePath(QStringLiteral("missing/file")), "x"));
        QVERIFY(staged.errorString().startsWith(QLatin1String("cannot create a temporary file: ")));
    }
};

QTEST_GUILESS_MAIN(StagedFileTest)

#include "stagedfiletest.moc"
