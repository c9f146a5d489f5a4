#include "folderentries.h"

#include <QDir>
#include <QFile>

#include <dirent.h>

FolderEntries FolderEntries::read(const QString &placedDir)
{
    FolderEntries listing;
    DIR *dir = ::opendir(QFile::encodeName(placedDir).constData());
    if (!dir) {
        return listing;
    }
    QStringList names;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        const QString decoded = QFile::decodeName(name);
        if (QFile::encodeName(decoded) == name) {
            names.append(decoded);
        } else {
            listing.undecodable.append(name);
        }
    }
    ::closedir(dir);
    names.sort();
    const QDir folder(placedDir);
    for (const QString &name : std::as_const(names)) {
        listing.entries.append(QFileInfo(folder, name));
    }
    return listing;
}
