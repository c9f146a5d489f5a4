#include "platform/userfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

// Files in a folder a user controls, as root reads and replaces them.
class UserFolderTest : public QObject
{
    Q_OBJECT

    static mode_t modeOf(const QString &path)
    {
        struct stat status;
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
    }

private Q_SLOTS:
    // A read stops as soon as it holds the file as long as fstat found it;
    // sizes about the reader's chunk are where that could cut a file short.
    void regularReadsEverySizeWhole_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("ok");
        for (const int size : {0, 1, 65535, 65536, 65537, 3 * 65536 + 7}) {
            QTest::addRow("%d", size) << size << size << true;
        }
        QTest::newRow("over-the-limit-by-one") << 65537 << 65536 << false;
    }

    void regularReadsEverySizeWhole()
    {
        QFETCH(int, size);
        QFETCH(int, limit);
        QFETCH(bool, ok);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("file"));
        QByteArray bytes(size, Qt::Uninitialized);
        for (int index = 0; index < size; ++index) {
            bytes[index] = char('a' + index % 23);
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == size);
        file.close();
        for (const FileRead::Result &read : {FileRead::regular(path, limit), FileRead::regularNoFollow(path, limit)}) {
            QCOMPARE(read.ok, ok);
            QCOMPARE(read.data, ok ? bytes : QByteArray());
        }
    }

    void writeChoosesTheMode_data()
    {
        QTest::addColumn<int>("before"); // -1: no file yet
        QTest::addColumn<int>("mode"); // UserFolder::Mode
        QTest::addColumn<int>("after");

        QTest::newRow("new-shared") << -1 << int(UserFolder::Mode::KeepExisting) << 0644;
        QTest::newRow("user's-private-file-stays-private") << 0600 << int(UserFolder::Mode::KeepExisting) << 0600;
        QTest::newRow("new-private") << -1 << int(UserFolder::Mode::Private) << 0600;
        QTest::newRow("private-whatever-it-was") << 0644 << int(UserFolder::Mode::Private) << 0600;
    }

    void writeChoosesTheMode()
    {
        QFETCH(int, before);
        QFETCH(int, mode);
        QFETCH(int, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("velta-event-watcher.notifyrc"));
        if (before >= 0) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(before)), 0);
        }
        const UserFolder folder = UserFolder::open(QStringLiteral("/"), dir.path(), 0, 0, UserFolder::Owners::Anyone);
        QVERIFY(folder.isOpen());
        QString error;
        QVERIFY2(folder.write(QStringLiteral("velta-event-watcher.notifyrc"), "[Event/x]\n", &error, UserFolder::Mode(mode)), qPrintable(error));
        QCOMPARE(int(modeOf(path)), after);
    }

    // Whatever is not the user's own plain file is refused without being read.
    void readRefuses_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");

        QTest::newRow("hard-link") << "hard-link"
                                   << "has other hard links";
        QTest::newRow("symbolic-link") << "symbolic-link"
                                       << "a symbolic link";
        QTest::newRow("fifo") << "fifo"
                              << "not a regular file";
        QTest::newRow("another-user's") << "foreign"
                                        << "belongs to another user (uid 4321)";
    }

    void readRefuses()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QByteArray secret = QFile::encodeName(dir.filePath(QStringLiteral("secret")));
        QFile file(QFile::decodeName(secret));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("root only\n");
        file.close();
        const QByteArray entry = QFile::encodeName(dir.filePath(QStringLiteral("entry")));
        if (kind == QLatin1String("hard-link")) {
            QCOMPARE(::link(secret.constData(), entry.constData()), 0);
        } else if (kind == QLatin1String("symbolic-link")) {
            QCOMPARE(::symlink(secret.constData(), entry.constData()), 0);
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(entry.constData(), 0600), 0);
        } else {
            QCOMPARE(::rename(secret.constData(), entry.constData()), 0);
            QCOMPARE(::chown(entry.constData(), 4321, 4321), 0);
        }
        const UserFolder folder = UserFolder::open(QStringLiteral("/"), dir.path(), 1234, 1234, UserFolder::Owners::RootOrUser);
        QVERIFY(folder.isOpen());
        const FileRead::Result read = folder.read(QStringLiteral("entry"), 1024);
        QVERIFY(!read.ok);
        QVERIFY(read.data.isEmpty());
        QVERIFY2(read.error.endsWith(QLatin1String("entry: ") + reason), qPrintable(read.error));
    }
};

QTEST_GUILESS_MAIN(UserFolderTest)
#include "userfoldertest.moc"
