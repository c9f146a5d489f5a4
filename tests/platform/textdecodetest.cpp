// A configuration file's bytes as text: the same verdict from Qt 5's codec and
// Qt 6's decoder, whichever the module is built with.
#include "platform/textdecode.h"

#include <QTest>

class TextDecodeTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void utf8_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");

        QTest::newRow("empty") << QByteArray() << true << QString() << QString();
        QTest::newRow("cyrillic") << QByteArray("name=\xd0\x90\xd1\x83\xd0\xb4\xd0\xb8\xd1\x82\n") << true << QStringLiteral("name=Аудит\n") << QString();
        QTest::newRow("four-byte-character") << QByteArray("\xf0\x9f\x94\x92") << true << QStringLiteral("\U0001F512") << QString();
        QTest::newRow("byte-order-mark-dropped") << QByteArray("\xef\xbb\xbfrotate 4\n") << true << QStringLiteral("rotate 4\n") << QString();
        QTest::newRow("byte-order-mark-inside-kept") << QByteArray("a\xef\xbb\xbf") << true << QStringLiteral("a\uFEFF") << QString();
        const QString notUtf8 = QStringLiteral("not UTF-8 text");
        QTest::newRow("stray-byte") << QByteArray("exec\n\xff\n") << false << QString() << notUtf8;
        // A file cut in the middle of its last character: written back, it
        // would lose the bytes that were there.
        QTest::newRow("last-character-cut-off") << QByteArray("name=\xd0\x90\xd1") << false << QString() << notUtf8;
        QTest::newRow("lone-continuation-byte") << QByteArray("a\x80z") << false << QString() << notUtf8;
        QTest::newRow("overlong-slash") << QByteArray("/etc\xc0\xaf") << false << QString() << notUtf8;
        QTest::newRow("encoded-surrogate") << QByteArray("\xed\xa0\x80") << false << QString() << notUtf8;
        QTest::newRow("latin-1") << QByteArray("caf\xe9\n") << false << QString() << notUtf8;
        QTest::newRow("nul-byte") << QByteArray("ab\0cd", 5) << false << QString() << QStringLiteral("a NUL byte at offset 2");
        QTest::newRow("utf-16") << QByteArray("\xff\xfer\0o\0", 6) << false << QString() << QStringLiteral("UTF-16 text, not UTF-8");
    }

    void utf8()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, accepted);
        QFETCH(QString, text);
        QFETCH(QString, reason);
        QString decoded = QStringLiteral("left from before");
        QString why;
        QCOMPARE(TextDecode::utf8(data, &decoded, &why), accepted);
        QCOMPARE(why, reason);
        if (accepted) {
            QCOMPARE(decoded, text);
        }
    }
};

QTEST_GUILESS_MAIN(TextDecodeTest)
#include "textdecodetest.moc"
