// The configuration manager's reading of an archive to import. The files of an
// archive it accepts are put in place and exported again; reading that export
// must give the same files.
#include "fuzzroot.h"
#include "testroot.h"

#include "configarchive.h"

#include <QFile>

namespace
{
QStringList listed(const ConfigArchive::Files &files)
{
    QStringList lines;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        lines.append(it.key() + QLatin1Char('\n') + QString::fromLatin1(it.value().toBase64()));
    }
    return lines;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestRoot &root = fuzzRoot();
    root.writeFile(QStringLiteral("/test/fuzz.tar.gz"), QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size)));
    ConfigArchive::Files files;
    QString error;
    if (!ConfigArchive::read(root.placed(QStringLiteral("/test/fuzz.tar.gz")), &files, &error)) {
        return 0;
    }
    // Only the archive's files are present when exporting.
    for (const QString &name : ConfigArchive::presentNames()) {
        QFile::remove(root.placed(QLatin1Char('/') + name));
    }
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        root.writeFile(QLatin1Char('/') + it.key(), it.value());
    }
    ConfigArchive::Files again;
    if (!ConfigArchive::exportTo(root.placed(QStringLiteral("/test/again.tar.gz")), &error)
        || !ConfigArchive::read(root.placed(QStringLiteral("/test/again.tar.gz")), &again, &error)) {
        requireSame({}, {error}, "configuration archive, export of a read archive");
    }
    requireSame(listed(files), listed(again), "configuration archive");
    return 0;
}
