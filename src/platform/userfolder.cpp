#include "userfolder.h"

#include "paths.h"
#include "platformlog.h"
#include "stagedfile.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{
QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString describe(const QString &path, const QString &reason)
{
    return path + QLatin1String(": ") + reason;
}

// The text of a refusal or failure, which also goes to the log.
QString refuse(const QString &path, const QString &reason)
{
    const QString text = describe(path, reason);
    qCWarning(QUOR_PLATFORM).noquote() << text;
    return text;
}

QString kindRefusal(const struct stat &status)
{
    if (S_ISLNK(status.st_mode)) {
        return i18n("a symbolic link");
    }
    if (S_ISDIR(status.st_mode)) {
        return i18n("a folder");
    }
    return S_ISREG(status.st_mode) ? QString() : i18n("not a regular file");
}

// Why opening an entry failed: a link is named as such, whatever the errno.
QString openFailure(int dirFd, const QByteArray &name, int code)
{
    struct stat status;
    if (fstatat(dirFd, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode)) {
        return i18n("a symbolic link");
    }
    return code == ENOTDIR ? i18n("not a folder") : systemError(code);
}
} // namespace

UserFolder UserFolder::open(const QString &start, const QString &path, uid_t uid, gid_t gid, Owners owners)
{
    UserFolder folder;
    folder.m_uid = uid;
    folder.m_gid = gid;
    folder.m_owners = owners;
    folder.m_path = QDir::cleanPath(path);
    if (!folder.m_path.startsWith(QLatin1Char('/'))) {
        folder.m_error = refuse(path, i18n("not an absolute path"));
        return folder;
    }
    int fd = ::open(QFile::encodeName(start.isEmpty() ? QStringLiteral("/") : start).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        folder.m_error = refuse(start, systemError(errno));
        return folder;
    }
    QString walked;
    const QStringList components = folder.m_path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &component : components) {
        walked += QLatin1Char('/') + component;
        const QByteArray name = QFile::encodeName(component);
        const int next = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int openError = errno;
        QString reason;
        struct stat status;
        if (next < 0) {
            folder.m_missing = openError == ENOENT;
            reason = openFailure(fd, name, openError);
        } else if (fstat(next, &status) != 0) {
            reason = systemError(errno);
        } else {
            reason = folder.refusal(status, false);
        }
        ::close(fd);
        fd = next;
        if (!reason.isEmpty()) {
            if (fd >= 0) {
                ::close(fd);
            }
            // A folder that is not there yet is nothing to do, not a failure.
            folder.m_error = folder.m_missing ? describe(walked, reason) : refuse(walked, reason);
            return folder;
        }
    }
    folder.m_fd = fd;
    return folder;
}

UserFolder UserFolder::openSystem(const QString &systemPath, uid_t uid, gid_t gid)
{
    return open(Paths::systemRoot(), systemPath, uid, gid);
}

UserFolder::UserFolder(UserFolder &&other) noexcept
{
    *this = std::move(other);
}

UserFolder &UserFolder::operator=(UserFolder &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = std::exchange(other.m_fd, -1);
        m_uid = other.m_uid;
        m_gid = other.m_gid;
        m_owners = other.m_owners;
        m_missing = other.m_missing;
        m_path = other.m_path;
        m_error = other.m_error;
    }
    return *this;
}

UserFolder::~UserFolder()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

QString UserFolder::filePath(const QString &name) const
{
    return QDir::cleanPath(m_path + QLatin1Char('/') + name);
}

QString UserFolder::refusal(const struct stat &status, bool isFile) const
{
    if (isFile) {
        const QString kind = kindRefusal(status);
        if (!kind.isEmpty()) {
            return kind;
        }
    } else if (!S_ISDIR(status.st_mode)) {
        return i18n("not a folder");
    }
    if (m_owners == Owners::Anyone) {
        return QString();
    }
    if (status.st_uid != 0 && status.st_uid != m_uid) {
        return i18n("belongs to another user (uid %1)", QString::number(status.st_uid));
    }
    if (!isFile && (status.st_mode & S_IWOTH) && !(status.st_mode & S_ISVTX)) {
        return i18n("writable by every user");
    }
    // A second name could be a hard link to a file the user may not read.
    if (isFile && status.st_nlink > 1) {
        return i18n("has other hard links");
    }
    return QString();
}

FileRead::Result UserFolder::read(const QString &name, qint64 maxSize) const
{
    // Owner, kind and links are checked before the open and again on the
    // opened descriptor: a file swapped in between is refused, not read.
    FileRead::Result result = FileRead::regularAt(m_fd, QFile::encodeName(name), maxSize, [this](const struct stat &status) {
        return refusal(status, true);
    });
    if (!result.ok) {
        result.error = result.missing ? describe(filePath(name), result.error) : refuse(filePath(name), result.error);
    }
    return result;
}

void UserFolder::removeLeftovers(const QByteArray &name) const
{
    const int copy = ::dup(m_fd);
    DIR *dir = copy >= 0 ? fdopendir(copy) : nullptr;
    if (!dir) {
        if (copy >= 0) {
            ::close(copy);
        }
        return;
    }
    rewinddir(dir); // the copy shares its position with the folder's descriptor
    while (const dirent *entry = readdir(dir)) {
        if (StagedFile::isTemporaryOf(QByteArray(entry->d_name), name)) {
            unlinkat(m_fd, entry->d_name, 0);
        }
    }
    closedir(dir);
}

QString UserFolder::writeRefusal(const QString &name) const
{
    struct stat status;
    const QString kind = fstatat(m_fd, QFile::encodeName(name).constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 ? kindRefusal(status) : QString();
    return kind.isEmpty() ? QString() : refuse(filePath(name), kind);
}

bool UserFolder::write(const QString &name, const QByteArray &data, QString *error, Mode mode) const
{
    const QByteArray encoded = QFile::encodeName(name);
    const QString refused = writeRefusal(name);
    if (!refused.isEmpty()) {
        *error = refused;
        return false;
    }
    mode_t fileMode = mode == Mode::Private ? 0600 : 0644;
    struct stat status;
    if (mode == Mode::KeepExisting && fstatat(m_fd, encoded.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        fileMode = status.st_mode & 0777;
    }

    removeLeftovers(encoded);
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = StagedFile::temporaryName(encoded);
        fd = ::openat(m_fd, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        *error = refuse(filePath(name), systemError(errno));
        return false;
    }
    // Ownership and mode are set on the descriptor: nothing in between can
    // swap the file for a link to another one.
    bool ok = StagedFile::writeAll(fd, data) && fchown(fd, m_uid, m_gid) == 0 && fchmod(fd, fileMode) == 0 && fsync(fd) == 0;
    int code = errno;
    if (::close(fd) != 0 && ok) {
        code = errno;
        ok = false;
    }
    if (ok && renameat(m_fd, temporary.constData(), m_fd, encoded.constData()) != 0) {
        code = errno;
        ok = false;
    }
    if (!ok) {
        unlinkat(m_fd, temporary.constData(), 0);
        *error = refuse(filePath(name), code == EISDIR ? i18n("a folder") : systemError(code));
        return false;
    }
    fsync(m_fd);
    return true;
}
