#include "filestamp.h"

#include "fileread.h"

#include <QCryptographicHash>
#include <QFile>

#include <sys/stat.h>

namespace
{
qint64 modifiedTime(const QString &path)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        return -1;
    }
    return qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

QByteArray hashOf(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}
}

FileStamp FileStamp::ofRead(const QString &path, const QByteArray &data)
{
    FileStamp stamp;
    stamp.m_known = true;
    stamp.m_exists = true;
    stamp.m_size = data.size();
    stamp.m_modifiedNs = modifiedTime(path);
    stamp.m_hash = hashOf(data);
    return stamp;
}

FileStamp FileStamp::missing()
{
    FileStamp stamp;
    stamp.m_known = true;
    return stamp;
}

FileStamp FileStamp::current(const QString &path)
{
    const FileRead::Result read = FileRead::regular(path, FileRead::ConfigLimit);
    if (read.missing) {
        return missing();
    }
    return read.ok ? ofRead(path, read.data) : FileStamp();
}

bool FileStamp::sameContent(const FileStamp &other) const
{
    if (!m_known || !other.m_known || m_exists != other.m_exists) {
        return false;
    }
    return !m_exists || (m_size == other.m_size && m_hash == other.m_hash);
}

bool FileStamp::matches(const QString &path) const
{
    return sameContent(current(path));
}

bool FileStamp::holds(const QByteArray &data) const
{
    // The size first: it spares the hash of a file of another size.
    return m_known && m_exists && m_size == data.size() && m_hash == hashOf(data);
}
