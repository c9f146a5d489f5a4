// The logrotate file reader (logrotate itself is not run: the fuzzer's PATH
// has none); what it read is written back and must read the same.
#include "fuzzroot.h"
#include "testroot.h"

#include "model/treeitem.h"
#include "platform/paths.h"
#include "rotation/logrotateparser.h"
#include "rotation/rotationwriter.h"

#include <memory>

namespace
{
std::unique_ptr<TreeItem> readRotationFile()
{
    LogRotateParser parser(Paths::placed(Paths::LogRotateFile));
    return std::unique_ptr<TreeItem>(parser.parse());
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestRoot &root = fuzzRoot();
    root.writeFile(Paths::LogRotateFile, QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size)));
    const std::unique_ptr<TreeItem> first = readRotationFile();
    if (!first) {
        return 0;
    }
    RotationWriter(Paths::placed(Paths::LogRotateFile)).write(first.get());
    const std::unique_ptr<TreeItem> second = readRotationFile();
    requireSame(dumpTree(first.get()), second ? dumpTree(second.get()) : QStringList(), "logrotate file");
    return 0;
}
