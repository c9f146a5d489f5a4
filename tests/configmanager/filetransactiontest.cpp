#include "filetransaction.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// All-or-nothing replacement: a failure part way puts back what was done.
class FileTransactionTest : public QObject
{
    Q_OBJECT

    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    static void write(const QString &path, const QByteArray &data)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(data), data.size());
    }

private Q_SLOTS:
    void commit_data()
    {
        QTest::addColumn<int>("failing"); // the step whose target turns into a folder before commit, or -1
        QTest::newRow("all-done") << -1;
        QTest::newRow("first-fails") << 0;
        QTest::newRow("middle-fails") << 1;
        QTest::newRow("last-fails") << 2;
        QTest::newRow("new-file-fails") << 3;
    }

    void commit()
    {
        QFETCH(int, failing);
        QTemporaryDir dir;
        const QStringList paths{dir.filePath(QStringLiteral("a.conf")),
                                dir.filePath(QStringLiteral("b.conf")),
                                dir.filePath(QStringLiteral("c.conf")),
                                dir.filePath(QStringLiteral("new/d.conf"))};
        write(paths.at(0), "old a\n");
        write(paths.at(1), "old b\n");
        write(paths.at(2), "old c\n");
        QVERIFY(QFile::setPermissions(paths.at(1), QFileDevice::ReadOwner | QFileDevice::WriteOwner));

        FileTransaction transaction;
        QString error;
        QVERIFY(transaction.replace(paths.at(0), "new a\n", &error));
        QVERIFY(transaction.remove(paths.at(1), &error));
        QVERIFY(transaction.replace(paths.at(2), "new c\n", &error));
        QVERIFY(transaction.replace(paths.at(3), "new d\n", &error));
        // Nothing is replaced before commit.
        QCOMPARE(read(paths.at(0)), QByteArray("old a\n"));

        if (failing >= 0) {
            // A non-empty folder in the target's place: neither rename nor removal succeeds.
            QFile::remove(paths.at(failing));
            QVERIFY(QDir().mkpath(paths.at(failing)));
            write(paths.at(failing) + QLatin1String("/keep"), "x");
        }
        const bool committed = transaction.commit(&error);
        QCOMPARE(committed, failing < 0);
        QVERIFY(transaction.notPutBack().isEmpty());
        const QList<QByteArray> expected =
            failing < 0 ? QList<QByteArray>{"new a\n", "<missing>", "new c\n", "new d\n"} : QList<QByteArray>{"old a\n", "old b\n", "old c\n", "<missing>"};
        for (int i = 0; i < paths.size(); ++i) {
            if (i != failing) {
                QCOMPARE(read(paths.at(i)), expected.at(i));
            }
        }
        if (failing >= 0) {
            QVERIFY2(error.startsWith(paths.at(failing) + QLatin1String(": ")), qPrintable(error));
        }
        if (failing >= 0 && failing != 1) {
            // A removed file comes back with its permissions.
            QCOMPARE(QFile::permissions(paths.at(1)), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        }
        // No staged copies are left behind.
        QDirIterator it(dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString name = QFileInfo(it.next()).fileName();
            QVERIFY2(name.endsWith(QLatin1String(".conf")) || name == QLatin1String("keep"), qPrintable(name));
        }
    }
};

QTEST_GUILESS_MAIN(FileTransactionTest)
#include "filetransactiontest.moc"
