#include "privatefolder.h"

#include "fileread.h"
#include "paths.h"
#include "platformlog.h"
#include "stagedfile.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
bool fail(const QString &path, const QString &reason, QString *errorText)
{
    *errorText = path + QLatin1String(": ") + reason;
    qCWarning(QUOR_PLATFORM).noquote() << *errorText;
    return false;
}
}

namespace PrivateFolder
{
bool check(const QString &path, bool create, QString *errorText)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (create && !QDir().mkpath(QFileInfo(path).path())) {
        return fail(path, i18n("cannot create the folders above it"), errorText);
    }
    if (create && ::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST) {
        return fail(path, QString::fromLocal8Bit(std::strerror(errno)), errorText);
    }
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        return fail(path, code == ELOOP || code == ENOTDIR ? i18n("not a folder") : QString::fromLocal8Bit(std::strerror(code)), errorText);
    }
    struct stat status;
    QString reason;
    if (fstat(fd, &status) != 0) {
        reason = QString::fromLocal8Bit(std::strerror(errno));
    } else if (status.st_uid != geteuid()) {
        reason = i18n("belongs to another user (uid %1)", QString::number(status.st_uid));
    } else if ((status.st_mode & 07777) != 0700 && fchmod(fd, 0700) != 0) {
        // Ours, but opened up by someone: closed again before anything goes in.
        reason = QString::fromLocal8Bit(std::strerror(errno));
    }
    ::close(fd);
    return reason.isEmpty() || fail(path, reason, errorText);
}
}

ScratchFolder::ScratchFolder()
{
    const QString parent = Paths::placed(Paths::ScratchDir);
    if (PrivateFolder::check(parent, true, &m_error)) {
        // Each folder is named by the process that made it: what a killed
        // process left goes when the next one comes.
        const QStringList folders = QDir(parent).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
        for (const QString &folder : folders) {
            bool isNumber = false;
            const int pid = folder.section(QLatin1Char('-'), 0, 0).toInt(&isNumber);
            if (isNumber && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) {
                QDir(parent + QLatin1Char('/') + folder).removeRecursively();
            }
        }
        m_folder = std::make_unique<QTemporaryDir>(parent + QLatin1Char('/') + QString::number(::getpid()) + QLatin1String("-XXXXXX"));
        if (!m_folder->isValid()) {
            m_error = m_folder->errorString();
        }
    }
}

ScratchFolder::~ScratchFolder() = default;

bool ScratchFolder::isValid() const
{
    return m_folder && m_folder->isValid();
}

QString ScratchFolder::errorString() const
{
    return m_error;
}

QString ScratchFolder::path() const
{
    return isValid() ? m_folder->path() : QString();
}

QString ScratchFolder::filePath(const QString &name) const
{
    return isValid() ? m_folder->filePath(name) : QString();
}

PrivateCopy::PrivateCopy(const QString &original, const QString &parent, qint64 maxSize)
{
    const FileRead::Result read = FileRead::regularNoFollow(original, maxSize);
    if (!read.ok) {
        m_error = FileRead::describe(original, read);
        qCWarning(QUOR_PLATFORM).noquote() << m_error;
        return;
    }
    if (!PrivateFolder::check(parent, true, &m_error)) {
        return;
    }
    m_folder = std::make_unique<QTemporaryDir>(parent + QLatin1String("/copy-XXXXXX"));
    const QString copy = m_folder->filePath(QFileInfo(original).fileName());
    QString reason;
    if (!m_folder->isValid()) {
        fail(parent, m_folder->errorString(), &m_error);
    } else if (!StagedFile::replace(copy, read.data, &reason, 0600)) {
        fail(copy, reason, &m_error);
    } else {
        m_path = copy;
    }
}

PrivateCopy::~PrivateCopy() = default;
