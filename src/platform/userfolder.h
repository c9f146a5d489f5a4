#pragma once

#include "fileread.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// A folder in a place an ordinary user can change while root works there
// (a home, its ~/.config, a path typed into a home), opened without ever
// following a link. Files in it are read and replaced through the open folder,
// so that a link or a swapped folder never leads root elsewhere.
// Owns its descriptor; move-only.
class UserFolder
{
public:
    enum class Owners {
        RootOrUser, // every folder on the way belongs to root or to the user
        Anyone, // for a path root chose itself: only links are refused
    };

    // Walks path from start one folder at a time. start is trusted (a folder
    // only root can change); path is absolute and is joined to it. Texts name
    // the path as given.
    static UserFolder open(const QString &start, const QString &path, uid_t uid, gid_t gid, Owners owners = Owners::RootOrUser);
    // The same for a system path, walked from the system root.
    static UserFolder openSystem(const QString &systemPath, uid_t uid, gid_t gid);

    UserFolder(UserFolder &&other) noexcept;
    UserFolder &operator=(UserFolder &&other) noexcept;
    UserFolder(const UserFolder &) = delete;
    UserFolder &operator=(const UserFolder &) = delete;
    ~UserFolder();

    bool isOpen() const
    {
        return m_fd >= 0;
    }
    // True when a folder on the way does not exist (not an attack: nothing to do).
    bool isMissing() const
    {
        return m_missing;
    }
    // "<path>: <reason>" when the folder could not be opened.
    QString error() const
    {
        return m_error;
    }
    // The path of a file of the folder, for texts.
    QString filePath(const QString &name) const;

    // Reads a regular file of the folder that belongs to root or the user and
    // has no other names. A missing file gives missing, not an error.
    FileRead::Result read(const QString &name, qint64 maxSize) const;

    enum class Mode {
        KeepExisting, // the mode the file has now; 0644 for a new file
        Private, // 0600, whatever the file had
    };

    // Replaces name with data: a new temporary file in this folder, given to
    // the user with the chosen mode and synced, then renamed over name. Refuses
    // when name is a link, a folder or a special file. False with "<path>: <reason>".
    bool write(const QString &name, const QByteArray &data, QString *error, Mode mode = Mode::KeepExisting) const;
    // Why write() would refuse name as it is now ("<path>: <reason>"), or an
    // empty text: for a caller with work to do before it writes.
    QString writeRefusal(const QString &name) const;

private:
    UserFolder() = default;
    // Temporaries of name that a killed writer left.
    void removeLeftovers(const QByteArray &name) const;
    // The reason to refuse an entry of this folder, or an empty text.
    QString refusal(const struct stat &status, bool isFile) const;

    int m_fd = -1;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    Owners m_owners = Owners::RootOrUser;
    bool m_missing = false;
    QString m_path;
    QString m_error;
};
