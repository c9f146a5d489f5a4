// The configuration manager's reading of an archive to import. An archive it
// accepts is exported again; importing that export must change nothing.
#include "fuzzroot.h"
#include "testroot.h"

#include "configarchive.h"

namespace
{
// Every managed file's system path and content.
QStringList managedFiles(const TestRoot &root)
{
    QStringList files;
    for (const QString &name : ConfigArchive::presentNames()) {
        files.append(name + QLatin1Char('\n') + QString::fromUtf8(root.readFile(QLatin1Char('/') + name).toBase64()));
    }
    return files;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestRoot &root = fuzzRoot();
    root.writeFile(QStringLiteral("/test/fuzz.tar.gz"), QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size)));
    QString error;
    if (!ConfigArchive::importFrom(root.placed(QStringLiteral("/test/fuzz.tar.gz")), &error)) {
        return 0;
    }
    const QStringList imported = managedFiles(root);
    if (!ConfigArchive::exportTo(root.placed(QStringLiteral("/test/again.tar.gz")), &error)
        || !ConfigArchive::importFrom(root.placed(QStringLiteral("/test/again.tar.gz")), &error)) {
        requireSame({}, {error}, "configuration archive, export of an imported archive");
    }
    requireSame(imported, managedFiles(root), "configuration archive");
    return 0;
}
