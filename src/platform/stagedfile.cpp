#include "stagedfile.h"

#include "folderentries.h"
#include "platformlog.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// "<name>.XXXXXX~": mkostemps() fills in the six characters.
const QByteArray TemporarySuffix(".XXXXXX~");
constexpr int RandomLength = 6;

// The part of a file name a temporary of it begins with: the whole name, or
// as much of it as leaves room for the suffix within the limit of a name.
QByteArray temporaryStem(const QByteArray &fileName)
{
    return fileName.left(NAME_MAX - TemporarySuffix.size());
}

// The rename itself reaches the disk only with its folder.
void syncFolder(const QString &path)
{
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
}

StagedFile::~StagedFile()
{
    discard();
}

StagedFile::StagedFile(StagedFile &&other) noexcept
    : m_path(std::move(other.m_path))
    , m_temporary(std::move(other.m_temporary))
    , m_error(std::move(other.m_error))
{
    other.m_temporary.clear();
}

StagedFile &StagedFile::operator=(StagedFile &&other) noexcept
{
    if (this != &other) {
        discard();
        m_path = std::move(other.m_path);
        m_temporary = std::move(other.m_temporary);
        m_error = std::move(other.m_error);
        other.m_temporary.clear();
    }
    return *this;
}

bool StagedFile::fail(const KLocalizedString &what)
{
    // Translating may touch files and so errno: the cause is read first.
    const int code = errno;
    m_error = what.toString() + QLatin1String(": ") + QString::fromLocal8Bit(std::strerror(code));
    qCWarning(QUOR_PLATFORM).nospace().noquote() << m_path << ": " << m_error;
    discard();
    return false;
}

void StagedFile::discard()
{
    if (!m_temporary.isEmpty()) {
        ::unlink(m_temporary.constData());
        m_temporary.clear();
    }
}

bool StagedFile::stage(const QString &path, const QByteArray &data, mode_t newFileMode)
{
    discard();
    m_path = path;
    m_error.clear();
    removeLeftovers(path);
    const QFileInfo info(path);
    QByteArray name = QFile::encodeName(info.path()) + '/' + temporaryStem(QFile::encodeName(info.fileName())) + TemporarySuffix;
    const int fd = ::mkostemps(name.data(), 1, O_CLOEXEC);
    if (fd < 0) {
        return fail(ki18n("cannot create a temporary file"));
    }
    m_temporary = name;
    // An existing file keeps its mode, except that a file the services read as
    // root is never left writable by every user.
    struct stat old;
    const mode_t mode = ::stat(QFile::encodeName(path).constData(), &old) == 0 && S_ISREG(old.st_mode) ? (old.st_mode & 07777 & ~S_IWOTH) : newFileMode;
    const bool written = ::fchmod(fd, mode) == 0 && writeAll(fd, data) && ::fdatasync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    errno = savedErrno;
    return written || fail(ki18n("cannot write"));
}

bool StagedFile::commit()
{
    if (m_temporary.isEmpty()) {
        return false;
    }
    if (::rename(m_temporary.constData(), QFile::encodeName(m_path).constData()) != 0) {
        return fail(ki18n("cannot replace the file"));
    }
    m_temporary.clear();
    syncFolder(m_path);
    return true;
}

// Leftovers of writers killed before their rename.
void StagedFile::removeLeftovers(const QString &path)
{
    const QFileInfo info(path);
    const QDir dir(info.absolutePath());
    const QByteArray fileName = QFile::encodeName(info.fileName());
    const QStringList names =
        FolderEntries::names(dir.path(), {QFile::decodeName(temporaryStem(fileName)) + QLatin1String(".*~")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (StagedFile::isTemporaryOf(QFile::encodeName(name), fileName)) {
            QFile::remove(dir.filePath(name));
        }
    }
}

QByteArray StagedFile::temporaryName(const QByteArray &fileName)
{
    static const char characters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = temporaryStem(fileName) + '.';
    for (int i = 0; i < RandomLength; ++i) {
        name += characters[QRandomGenerator::system()->bounded(int(sizeof(characters) - 1))];
    }
    return name + '~';
}

bool StagedFile::isTemporaryOf(const QByteArray &entry, const QByteArray &fileName)
{
    const QByteArray stem = temporaryStem(fileName);
    if (entry.size() != stem.size() + RandomLength + 2 || !entry.startsWith(QByteArray(stem + '.')) || !entry.endsWith('~')) {
        return false;
    }
    for (int i = stem.size() + 1; i < entry.size() - 1; ++i) {
        if (!std::isalnum(static_cast<unsigned char>(entry.at(i)))) {
            return false;
        }
    }
    return true;
}

bool StagedFile::replace(const QString &path, const QByteArray &data, QString *errorText, mode_t newFileMode)
{
    StagedFile file;
    const bool done = file.stage(path, data, newFileMode) && file.commit();
    if (!done && errorText) {
        *errorText = file.errorString();
    }
    return done;
}

bool StagedFile::writeScratch(const QString &path, const QByteArray &data, QString *errorText)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.flush()) {
        return true;
    }
    *errorText = file.errorString();
    return false;
}

bool StagedFile::writeAll(int fd, const QByteArray &data)
{
    qint64 done = 0;
    while (done < data.size()) {
        const ssize_t written = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += written;
    }
    return true;
}
