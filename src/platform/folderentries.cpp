#include "folderentries.h"

#include <QDir>
#include <QFile>

#include <dirent.h>

#include <algorithm>
#include <utility>
#include <vector>

FolderEntries FolderEntries::read(const QString &placedDir)
{
    FolderEntries listing;
    DIR *dir = ::opendir(QFile::encodeName(placedDir).constData());
    if (!dir) {
        return listing;
    }
    std::vector<std::pair<QString, bool>> names; // and whether a plain file
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        const QString decoded = QFile::decodeName(name);
        if (QFile::encodeName(decoded) == name) {
            names.emplace_back(decoded, entry->d_type == DT_REG);
        } else {
            listing.undecodable.append(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    const QDir folder(placedDir);
    listing.entries.reserve(int(names.size()));
    listing.plainFiles.reserve(int(names.size()));
    for (const auto &[name, plainFile] : names) {
        listing.entries.append(QFileInfo(folder, name));
        listing.plainFiles.append(plainFile);
    }
    return listing;
}

QStringList FolderEntries::names(const QString &placedDir, const QStringList &wildcards, QDir::Filters kinds)
{
    QStringList names;
    for (const QFileInfo &entry : read(placedDir).entries) {
        const QString name = entry.fileName();
        if (name.startsWith(QLatin1Char('.')) && !kinds.testFlag(QDir::Hidden)) {
            continue;
        }
        if (!wildcards.isEmpty() && !QDir::match(wildcards, name)) {
            continue;
        }
        // As QDir: a link counts as what it leads to; what is neither a file
        // nor a folder (a FIFO, a socket, a device, a link to nothing) is "System".
        const bool wanted = entry.isDir() ? kinds.testFlag(QDir::Dirs) : entry.isFile() ? kinds.testFlag(QDir::Files) : kinds.testFlag(QDir::System);
        if (wanted) {
            names.append(name);
        }
    }
    return names;
}
