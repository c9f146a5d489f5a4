#include "platform/stagedfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <sys/stat.h>

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

    // Modes are chosen, not inherited from whoever started the writer.
    void modesWhateverTheUmask_data()
    {
        QTest::addColumn<int>("before"); // the file's mode before, or -1 when new
        QTest::addColumn<int>("after");

        QTest::newRow("new") << -1 << 0644;
        QTest::newRow("kept") << 0640 << 0640;
        QTest::newRow("world-writable-closed") << 0666 << 0664;
    }

    void modesWhateverTheUmask()
    {
        QFETCH(int, before);
        QFETCH(int, after);
        QTemporaryDir dir;
        const QByteArray target = QFile::encodeName(dir.filePath(QStringLiteral("velta-syslog.rules")));
        if (before >= 0) {
            QVERIFY(StagedFile::replace(QFile::decodeName(target), "old\n"));
            QCOMPARE(::chmod(target.constData(), mode_t(before)), 0);
        }
        const mode_t mask = ::umask(0);
        const bool replaced = StagedFile::replace(QFile::decodeName(target), "new\n");
        ::umask(mask);
        QVERIFY(replaced);
        struct stat status;
        QCOMPARE(::stat(target.constData(), &status), 0);
        QCOMPARE(int(status.st_mode & 07777), after);
    }

    // A name at the file system's limit still gets a temporary beside it, and
    // what a killed writer left of it is found again.
    void longestNames()
    {
        QTemporaryDir dir;
        const QString name(NAME_MAX, QLatin1Char('n'));
        const QByteArray leftover = StagedFile::temporaryName(QFile::encodeName(name));
        QVERIFY(leftover.size() <= NAME_MAX);
        QVERIFY(StagedFile::isTemporaryOf(leftover, QFile::encodeName(name)));
        QFile stray(dir.filePath(QFile::decodeName(leftover)));
        QVERIFY(stray.open(QIODevice::WriteOnly));
        stray.close();
        QVERIFY(StagedFile::replace(dir.filePath(name), "x"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{name});
    }
};

QTEST_GUILESS_MAIN(StagedFileTest)

#include "stagedfiletest.moc"
