#pragma once

#include <QByteArrayList>
#include <QDir>
#include <QFileInfoList>
#include <QString>

// The entries of a folder, read name by name from the system: every entry
// but "." and "..", links and special files too. QDir leaves out names that
// are not UTF-8 (they could not be opened again by a decoded name), and Qt 6's
// listing can end at such a name and drop the entries after it; here they are
// kept apart, as read, and the others are all listed.
struct FolderEntries {
    QFileInfoList entries; // names that are UTF-8, in name order
    // Per entry: the listing itself showed a regular file, not a link, so
    // that a reader of many files need not look at each again.
    QVector<bool> plainFiles;
    QByteArrayList undecodable; // the other names, in the order read

    // A folder that cannot be opened has no entries.
    static FolderEntries read(const QString &placedDir);

    // What QDir::entryList(wildcards, kinds, QDir::Name) lists, without being
    // cut short by a name that is not UTF-8: the UTF-8 names that match one of
    // the wildcards (all names when there are none) and are of the kinds asked
    // (QDir::Files, Dirs, System, Hidden), in name order.
    static QStringList names(const QString &placedDir, const QStringList &wildcards, QDir::Filters kinds);
};
