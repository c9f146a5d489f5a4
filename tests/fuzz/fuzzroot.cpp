#include "fuzzroot.h"

#include "model/treeitem.h"
#include "platform/paths.h"
#include "testroot.h"

#include <QCoreApplication>
#include <QVariant>

#include <cstdio>
#include <cstdlib>

TestRoot &fuzzRoot(bool sampleSystem)
{
    static TestRoot *root = [sampleSystem] {
        static int argc = 1;
        static char name[] = "fuzz";
        static char *argv[] = {name, nullptr};
        new QCoreApplication(argc, argv); // kept for the process
        // The readers' warnings about each malformed input would flood the
        // fuzzer's output and slow it down; a fatal message still stops it.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
            if (type == QtFatalMsg) {
                std::fprintf(stderr, "%s\n", qPrintable(message));
                std::abort();
            }
        });
        // Readers that check a file with an outside program find none: the
        // fuzzer tests our reading, not the tool.
        auto *made = new TestRoot; // kept for the process
        for (const char *program : {"logrotate", "syslog-ng", "python3", "diff"}) {
            made->removeProgram(QString::fromLatin1(program));
        }
        if (sampleSystem) {
            made->copySampleSystem();
        } else {
            made->copyData(QStringLiteral("root") + Paths::EventsDictionary, Paths::EventsDictionary);
        }
        return made;
    }();
    return *root;
}

QList<QByteArray> inputParts(const uint8_t *data, size_t size, int count)
{
    QList<QByteArray> parts = QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size)).split('\n');
    QList<QByteArray> joined;
    joined.append(QByteArray());
    bool firstLine = true;
    for (const QByteArray &line : parts) {
        if (line == "--part--" && joined.size() < count) {
            joined.append(QByteArray());
            firstLine = true;
            continue;
        }
        if (!firstLine) {
            joined.last() += '\n';
        }
        joined.last() += line;
        firstLine = false;
    }
    while (joined.size() < count) {
        joined.append(QByteArray());
    }
    return joined;
}

QStringList dumpTree(const TreeItem *item)
{
    QStringList lines;
    QString line;
    for (int column = 0; column < item->columnCount(); ++column) {
        line += item->data(column).toString() + QLatin1Char('|');
    }
    lines.append(line);
    for (int row = 0; row < item->childCount(); ++row) {
        for (const QString &childLine : dumpTree(item->child(row))) {
            lines.append(QLatin1String("  ") + childLine);
        }
    }
    return lines;
}

void requireSame(const QStringList &first, const QStringList &second, const char *what)
{
    if (first == second) {
        return;
    }
    std::fprintf(stderr,
                 "%s: the second reading differs from the first\n--- first\n%s\n--- second\n%s\n",
                 what,
                 qPrintable(first.join(QLatin1Char('\n'))),
                 qPrintable(second.join(QLatin1Char('\n'))));
    std::abort();
}
