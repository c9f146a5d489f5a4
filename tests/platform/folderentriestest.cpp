// A folder's entries read name by name: a name that is not UTF-8 is kept
// apart and hides none of its siblings, whichever Qt the module is built with.
#include "platform/folderentries.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A reader may skip its own look at an entry the listing marks a plain
// file: the mark is right exactly for regular files that are not links.
void verifyPlainFiles(const FolderEntries &listing)
{
    QCOMPARE(listing.plainFiles.size(), listing.entries.size());
    for (int index = 0; index < listing.entries.size(); ++index) {
        const QFileInfo &entry = listing.entries.at(index);
        QCOMPARE(listing.plainFiles.at(index), entry.isFile() && !entry.isSymLink());
    }
}

class FolderEntriesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void read_data()
    {
        // Names as bytes; a name ending in "->" is made a link to nothing, one
        // ending in "|" a FIFO (neither ending is part of the name), the rest
        // regular files.
        QTest::addColumn<QByteArrayList>("made");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QByteArrayList>("undecodable");

        QTest::newRow("siblings-of-a-name-not-utf-8") << QByteArrayList{"a", "bad\xff", "good", "z"}
                                                      << QStringList{QStringLiteral("a"), QStringLiteral("good"), QStringLiteral("z")}
                                                      << QByteArrayList{"bad\xff"};
        QTest::newRow("only-names-not-utf-8") << QByteArrayList{"\xfe\xff"} << QStringList() << QByteArrayList{"\xfe\xff"};
        QTest::newRow("cut-character") << QByteArrayList{"\xd0\x90\xd1", "\xd0\x90\xd1\x83"} << QStringList{QStringLiteral("Ау")}
                                       << QByteArrayList{"\xd0\x90\xd1"};
        QTest::newRow("hidden-links-and-fifos-in-name-order")
            << QByteArrayList{"lower", "Upper", ".hidden", "fifo|", "dangling->"}
            << QStringList{QStringLiteral(".hidden"), QStringLiteral("Upper"), QStringLiteral("dangling"), QStringLiteral("fifo"), QStringLiteral("lower")}
            << QByteArrayList();
        QByteArrayList many;
        QStringList manyEntries;
        QByteArrayList manyUndecodable;
        for (int n = 10; n < 50; ++n) {
            many << QByteArray::number(n) << QByteArray::number(n) + '\xff';
            manyEntries << QString::number(n);
            manyUndecodable << QByteArray::number(n) + '\xff';
        }
        QTest::newRow("many-interleaved") << many << manyEntries << manyUndecodable;
    }

    void read()
    {
        QFETCH(QByteArrayList, made);
        QFETCH(QStringList, entries);
        QFETCH(QByteArrayList, undecodable);
        QTemporaryDir dir;
        const auto placed = [&dir](const QByteArray &name) {
            return QByteArray(QFile::encodeName(dir.path()) + '/' + name);
        };
        for (const QByteArray &entry : made) {
            if (entry.endsWith("->")) {
                QCOMPARE(::symlink("nothing-here", placed(entry.chopped(2)).constData()), 0);
            } else if (entry.endsWith('|')) {
                QCOMPARE(::mkfifo(placed(entry.chopped(1)).constData(), 0600), 0);
            } else {
                const int fd = ::open(placed(entry).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                QVERIFY(fd >= 0);
                ::close(fd);
            }
        }
        const FolderEntries listing = FolderEntries::read(dir.path());
        QStringList names;
        for (const QFileInfo &entry : listing.entries) {
            QCOMPARE(entry.path(), dir.path());
            names.append(entry.fileName());
        }
        QCOMPARE(names, entries);
        verifyPlainFiles(listing);
        QByteArrayList apart = listing.undecodable;
        std::sort(apart.begin(), apart.end());
        std::sort(undecodable.begin(), undecodable.end());
        QCOMPARE(apart, undecodable);
        // QTemporaryDir cannot remove what it cannot name.
        for (const QByteArray &name : std::as_const(apart)) {
            QCOMPARE(::unlink(placed(name).constData()), 0);
        }
    }

    // The filtered listing is QDir's own on a folder QDir can list whole, and
    // stays so when names that are not UTF-8 stand among the entries.
    void namesAsQDirListsThem_data()
    {
        QTest::addColumn<QStringList>("wildcards");
        QTest::addColumn<int>("kinds");
        const QStringList conf{QStringLiteral("*.conf")};
        QTest::newRow("files") << QStringList() << int(QDir::Files);
        QTest::newRow("conf-files-and-hidden") << conf << int(QDir::Files | QDir::Hidden);
        QTest::newRow("conf-anything") << conf << int(QDir::Files | QDir::Dirs | QDir::System | QDir::Hidden);
        QTest::newRow("folders-and-hidden") << QStringList() << int(QDir::Dirs | QDir::Hidden);
        QTest::newRow("files-and-system") << QStringList{QStringLiteral("*~"), QStringLiteral("*.CONF")} << int(QDir::Files | QDir::System);
        QTest::newRow("system-only") << QStringList() << int(QDir::System | QDir::Hidden);
    }

    void namesAsQDirListsThem()
    {
        QFETCH(QStringList, wildcards);
        QFETCH(int, kinds);
        const QDir::Filters filters(kinds);
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.path()) + '/';
        for (const char *file : {"a.conf", "B.conf", ".hidden.conf", "notes", "old.conf~", "Z.CONF"}) {
            QVERIFY(QFile(dir.filePath(QString::fromLatin1(file))).open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.conf")));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral(".hidden-folder")));
        QCOMPARE(::symlink("a.conf", QByteArray(path + "link-to-file.conf").constData()), 0);
        QCOMPARE(::symlink("folder.conf", QByteArray(path + "link-to-folder").constData()), 0);
        QCOMPARE(::symlink("nothing", QByteArray(path + "dangling.conf").constData()), 0);
        QCOMPARE(::mkfifo(QByteArray(path + "pipe.conf").constData(), 0600), 0);
        const QStringList expected = QDir(dir.path()).entryList(wildcards, filters | QDir::NoDotAndDotDot, QDir::Name);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(FolderEntries::names(dir.path(), wildcards, filters), expected);
        verifyPlainFiles(FolderEntries::read(dir.path()));

        const QByteArrayList bad{"\xff.conf", "m\xfe.conf", "\xd0.conf~"};
        for (const QByteArray &name : bad) {
            const int fd = ::open(QByteArray(path + name).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        QCOMPARE(FolderEntries::names(dir.path(), wildcards, filters), expected);
        for (const QByteArray &name : bad) {
            QCOMPARE(::unlink(QByteArray(path + name).constData()), 0);
        }
    }

    void missingFolder()
    {
        QTemporaryDir dir;
        const FolderEntries listing = FolderEntries::read(dir.filePath(QStringLiteral("missing")));
        QVERIFY(listing.entries.isEmpty());
        QVERIFY(listing.undecodable.isEmpty());
    }
};

QTEST_GUILESS_MAIN(FolderEntriesTest)
#include "folderentriestest.moc"
