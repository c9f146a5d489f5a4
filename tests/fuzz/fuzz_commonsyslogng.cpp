// The common syslog-ng file reader; what it read without complaint is written
// back and must read the same.
#include "fuzzroot.h"
#include "testroot.h"

#include "model/treeitem.h"
#include "platform/paths.h"
#include "syslogng/commonsettingsparser.h"
#include "syslogng/commonwriter.h"

#include <memory>

namespace
{
// Null when the reader found the file damaged: the page writes no such file.
// An empty file is not damaged (only reported), as on the page.
std::unique_ptr<TreeItem> readCommonFile()
{
    CommonSettingsParser parser(Paths::placed(Paths::CommonSyslogNgFile));
    std::unique_ptr<TreeItem> tree(parser.parse());
    return parser.damaged() ? nullptr : std::move(tree);
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestRoot &root = fuzzRoot();
    root.writeFile(Paths::CommonSyslogNgFile, QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size)));
    const std::unique_ptr<TreeItem> first = readCommonFile();
    if (!first) {
        return 0;
    }
    CommonWriter(Paths::placed(Paths::CommonSyslogNgFile)).write(first.get());
    const std::unique_ptr<TreeItem> second = readCommonFile();
    requireSame(dumpTree(first.get()), second ? dumpTree(second.get()) : QStringList(), "common syslog-ng file");
    return 0;
}
