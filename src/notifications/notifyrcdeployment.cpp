#include "notifyrcdeployment.h"

#include "model/abstractwriter.h"
#include "notifyrcfile.h"
#include "platform/fileread.h"
#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

namespace NotifyrcDeployment
{
namespace
{
int deployData(const QByteArray &data, const QString &directory)
{
    const QDir dir(Paths::placed(directory));
    if (!dir.exists()) {
        return 0;
    }
    int copied = 0;
    const auto entries = dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (entry == QLatin1String(".qmx")) {
            // Only the home directory holds the per-level homes; anywhere else
            // the entry would lead back into them for ever.
            if (directory == Paths::HomeDir) {
                copied += deployData(data, Paths::QmxHomeDir);
            }
            continue;
        }
        const QString target = Paths::placed(directory + QLatin1Char('/') + entry + QLatin1String("/.config/velta-event-watcher.notifyrc"));
        // Removing first also drops a link the user may have put there, so that
        // the copy and the change of owner never reach another file.
        if (QFileInfo(target).isSymLink() || QFileInfo::exists(target)) {
            QFile::remove(target);
        }
        if (AbstractWriter::replaceFile(target, data)) {
            NotifyrcFile::giveToUser(target, entry);
            ++copied;
        }
    }
    return copied;
}
}

int deploy(const QString &sourcePath, const QString &directory)
{
    const QString placed = Paths::placed(sourcePath);
    const FileRead::Result source = FileRead::regular(placed, FileRead::SmallFileLimit);
    if (!source.ok) {
        if (!source.missing) {
            qWarning().noquote() << FileRead::describe(placed, source);
        }
        return 0;
    }
    return deployData(source.data, directory);
}
}
