#include "filedestination.h"

#include "platform/paths.h"

#include <KLocalizedString>

#include <QDir>
#include <QFileInfo>

namespace FileDestination
{
Check check(const QString &path)
{
    Check result;
    if (!path.startsWith(QLatin1Char('/'))) {
        result.error = i18n("The file path must be absolute.");
        return result;
    }
    const QString file = QDir::cleanPath(path);
    if (path.endsWith(QLatin1Char('/')) || QFileInfo(Paths::placed(file)).isDir()) {
        result.error = i18n("%1 is a folder, not a file.", path);
        return result;
    }
    // syslog-ng makes the missing folders below the nearest existing one.
    QString folder = QFileInfo(file).path();
    while (folder != QLatin1String("/") && !QFileInfo::exists(Paths::placed(folder))) {
        result.folderMissing = true;
        folder = QFileInfo(folder).path();
    }
    if (folder != QLatin1String("/") && !QFileInfo(Paths::placed(folder)).isDir()) {
        result.error = i18n("The folder of the file cannot be made: %1 is not a folder.", folder);
    }
    return result;
}
} // namespace FileDestination
