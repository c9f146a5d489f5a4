#include "fileread.h"

#include "textdecode.h"

#include <KLocalizedString>

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileRead
{
namespace
{
QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString tooLarge(qint64 maxSize)
{
    return i18n("larger than %1 KiB", maxSize / 1024);
}

QString kindRefusal(const struct stat &status)
{
    if (S_ISLNK(status.st_mode)) {
        return i18n("a symbolic link");
    }
    return S_ISREG(status.st_mode) ? QString() : i18n("not a regular file");
}

// Why a file of this status is not read: not a regular one, or the caller's condition.
QString refusal(const struct stat &status, const Condition &condition)
{
    const QString kind = kindRefusal(status);
    return kind.isEmpty() && condition ? condition(status) : kind;
}

Result readOpened(int fd, qint64 maxSize, const Condition &condition)
{
    Result result;
    struct stat status;
    if (fstat(fd, &status) != 0) {
        result.error = systemError(errno);
        return result;
    }
    result.error = refusal(status, condition);
    if (!result.error.isEmpty()) {
        return result;
    }
    if (status.st_size > maxSize) {
        result.error = tooLarge(maxSize);
        return result;
    }
    // The file may grow while we read; the limit holds for what is read.
    QByteArray data;
    data.reserve(static_cast<int>(status.st_size));
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            result.error = systemError(errno);
            return result;
        }
        if (got == 0) {
            break;
        }
        if (data.size() + got > maxSize) {
            result.error = tooLarge(maxSize);
            return result;
        }
        data.append(chunk, static_cast<int>(got));
        // A regular file read as long as fstat found it, with room to spare:
        // the read that would answer 0 costs a system call per file, and a
        // package has thousands.
        if (S_ISREG(status.st_mode) && got < static_cast<ssize_t>(sizeof chunk) && data.size() >= status.st_size) {
            break;
        }
    }
    result.ok = true;
    result.data = data;
    return result;
}

Result readDescriptor(int fd, qint64 maxSize, const Condition &condition = {})
{
    if (fd < 0) {
        Result result;
        result.missing = errno == ENOENT;
        result.error = errno == ELOOP ? i18n("a symbolic link") : systemError(errno);
        return result;
    }
    Result result = readOpened(fd, maxSize, condition);
    ::close(fd);
    return result;
}
}

Result regular(const QString &path, qint64 maxSize)
{
    return readDescriptor(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC), maxSize);
}

Result regularAt(int dirFd, const QByteArray &name, qint64 maxSize, const Condition &condition)
{
    struct stat before;
    if (fstatat(dirFd, name.constData(), &before, AT_SYMLINK_NOFOLLOW) == 0) {
        Result refused;
        refused.error = refusal(before, condition);
        if (!refused.error.isEmpty()) {
            return refused;
        }
    }
    return readDescriptor(::openat(dirFd, name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW), maxSize, condition);
}

Result regularNoFollow(const QString &path, qint64 maxSize)
{
    const QFileInfo info(path);
    const int dirFd = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        return readDescriptor(dirFd, maxSize);
    }
    Result result = regularAt(dirFd, QFile::encodeName(info.fileName()), maxSize);
    ::close(dirFd);
    return result;
}

QString describe(const QString &path, const Result &result)
{
    return path + QLatin1String(": ") + result.error;
}

Text decoded(const Result &read)
{
    Text result;
    result.missing = read.missing;
    result.error = read.error;
    if (read.ok && TextDecode::utf8(read.data, &result.text, &result.error)) {
        result.ok = true;
    }
    return result;
}

Text text(const QString &path, qint64 maxSize)
{
    return decoded(regular(path, maxSize));
}
}
