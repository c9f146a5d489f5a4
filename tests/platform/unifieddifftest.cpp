#include "platform/unifieddiff.h"
#include "testroot.h"

#include <QTest>

// The one diff of the module's review and of "velta-event-config-manager --diff".
class UnifiedDiffTest : public QObject
{
    Q_OBJECT

    static UnifiedDiff::Diffs diffsOf(const QList<UnifiedDiff::File> &files)
    {
        const TestRoot root; // diff and root's scratch folder
        UnifiedDiff::Diffs diffs;
        diffs.ok = false;
        UnifiedDiff::of(files, Process::waiting(), [&diffs](const UnifiedDiff::Diffs &made) {
            diffs = made;
        });
        return diffs;
    }

private Q_SLOTS:
    void fileByFile()
    {
        const QList<UnifiedDiff::File> files{
            {QStringLiteral("/etc/a.conf"), true, "# kept\none\ntwo\n", false, "# kept\none\nthree\n"},
            {QStringLiteral("/etc/same.conf"), true, "same\n", false, "same\n"},
            {QStringLiteral("/etc/new.conf"), false, QByteArray(), false, "new\n"},
            {QStringLiteral("/etc/gone.conf"), true, "old\n", true, QByteArray()},
            {QStringLiteral("/etc/never.conf"), false, QByteArray(), true, QByteArray()},
        };
        const UnifiedDiff::Diffs made = diffsOf(files);
        QVERIFY2(made.ok, qPrintable(made.errorText));
        const QByteArray &text = made.text;
        const QList<QPair<QString, QByteArray>> diffs = UnifiedDiff::split(text);
        QStringList paths;
        for (const auto &diff : diffs) {
            paths << diff.first;
        }
        QCOMPARE(paths, (QStringList{QStringLiteral("/etc/a.conf"), QStringLiteral("/etc/new.conf"), QStringLiteral("/etc/gone.conf")}));
        QCOMPARE(diffs.at(0).second, QByteArray("--- /etc/a.conf\n+++ /etc/a.conf\n@@ -1,3 +1,3 @@\n # kept\n one\n-two\n+three\n"));
        QCOMPARE(diffs.at(1).second, QByteArray("--- /dev/null\n+++ /etc/new.conf\n@@ -0,0 +1 @@\n+new\n"));
        QCOMPARE(diffs.at(2).second, QByteArray("--- /etc/gone.conf\n+++ /dev/null\n@@ -1 +0,0 @@\n-old\n"));
        // The pieces make the whole again.
        QByteArray joined;
        for (const auto &diff : diffs) {
            joined += diff.second;
        }
        QCOMPARE(joined, text);
    }

    void missingLineBreakAndBinary()
    {
        const UnifiedDiff::Diffs made = diffsOf({{QStringLiteral("/etc/b"), true, QByteArray("a\0b", 3), false, "a"}});
        QVERIFY(made.ok);
        const QByteArray &text = made.text;
        QVERIFY2(text.contains("\\ No newline at end of file"), text.constData());
        QCOMPARE(UnifiedDiff::split(text).size(), 1);
    }
};

QTEST_GUILESS_MAIN(UnifiedDiffTest)
#include "unifieddifftest.moc"
