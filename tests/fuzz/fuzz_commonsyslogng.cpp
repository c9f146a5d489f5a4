// The common syslog-ng file reader and writer. Any text the reader accepts,
// written back unchanged, gives the identical bytes. Edited as the Destinations
// tab edits it (the first destination removed, one added), the text is changed
// only by removals and then only by insertions, reads back without damage as
// the edited tree, and removing the added destination again gives back the
// text as it was before the addition.
#include "fuzzroot.h"
#include "testroot.h"

#include "model/treeitem.h"
#include "platform/paths.h"
#include "syslogng/commonsettingsparser.h"
#include "syslogng/commonwriter.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace
{
const QString AddedName = QStringLiteral("velta_fuzz_added_dst");

// Null when the reader found the file damaged: the page writes no such file.
// An empty file is not damaged (only reported), as on the page.
std::unique_ptr<TreeItem> readCommonFile()
{
    CommonSettingsParser parser(Paths::placed(Paths::CommonSyslogNgFile));
    std::unique_ptr<TreeItem> tree(parser.parse());
    return parser.damaged() ? nullptr : std::move(tree);
}

std::unique_ptr<TreeItem> readText(const QByteArray &text)
{
    fuzzRoot().writeFile(Paths::CommonSyslogNgFile, text);
    return readCommonFile();
}

QByteArray written(const TreeItem *tree)
{
    return CommonWriter(Paths::placed(Paths::CommonSyslogNgFile)).contents(tree);
}

[[noreturn]] void fail(const char *what, const QByteArray &expected, const QByteArray &actual)
{
    std::fprintf(stderr, "common syslog-ng file: %s\n--- expected\n%s\n--- actual\n%s\n", what, expected.constData(), actual.constData());
    std::abort();
}

void requireBytes(const QByteArray &expected, const QByteArray &actual, const char *what)
{
    if (expected != actual) {
        fail(what, expected, actual);
    }
}

// Whether shorter is longer with some characters taken out.
bool isWithin(const QByteArray &shorter, const QByteArray &longer)
{
    int i = 0;
    for (int j = 0; j < longer.size() && i < shorter.size(); ++j) {
        if (longer.at(j) == shorter.at(i)) {
            ++i;
        }
    }
    return i == shorter.size();
}

// As the tab removes a destination: its statement and every reference. The
// first destination, or the last one of the name (the added one, which goes
// after every other destination).
bool removeDestination(TreeItem *root, const QString &name, bool first)
{
    for (int i = 0; i < root->childCount(); ++i) {
        const int row = first ? i : root->childCount() - 1 - i;
        const TreeItem *statement = root->child(row);
        if (statement->data(0).toString() == QLatin1String("destination") && (first || statement->data(1).toString() == name)) {
            const QString removed = statement->data(1).toString();
            root->removeChild(row);
            root->removeDestinationLogs(removed);
            return true;
        }
    }
    return false;
}

void addDestination(TreeItem *root)
{
    auto statement = std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("destination"), AddedName, QVariant()});
    statement->appendChild(std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("file"), QVariant(), QStringLiteral("\"/var/log/fuzz\"")}));
    root->addDestination(std::move(statement));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const std::unique_ptr<TreeItem> first = readText(input);
    if (!first) {
        return 0;
    }
    requireBytes(input, written(first.get()), "an unchanged tree was not written back byte for byte");

    // The first destination removed: only removals, and it reads as edited.
    QByteArray removed = input;
    if (removeDestination(first.get(), QString(), true)) {
        removed = written(first.get());
        if (!isWithin(removed, input)) {
            fail("removing a destination changed more than it took out", input, removed);
        }
        const std::unique_ptr<TreeItem> reread = readText(removed);
        if (!reread) {
            fail("the text with a destination removed reads as damaged", input, removed);
        }
        requireSame(dumpTree(first.get()), dumpTree(reread.get()), "common syslog-ng file with a destination removed");
    }

    // A destination added: only insertions, it reads as edited, and removing it
    // again gives the text before it back.
    const std::unique_ptr<TreeItem> base = readText(removed);
    if (!base) {
        fail("the text with a destination removed reads as damaged", input, removed);
    }
    addDestination(base.get());
    const QByteArray added = written(base.get());
    if (!isWithin(removed, added)) {
        fail("adding a destination changed more than it put in", removed, added);
    }
    const std::unique_ptr<TreeItem> reread = readText(added);
    if (!reread) {
        fail("the text with a destination added reads as damaged", removed, added);
    }
    requireSame(dumpTree(base.get()), dumpTree(reread.get()), "common syslog-ng file with a destination added");
    removeDestination(reread.get(), AddedName, false);
    requireBytes(removed, written(reread.get()), "removing the added destination did not give the text back");
    return 0;
}
