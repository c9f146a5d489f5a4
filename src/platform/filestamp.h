#pragma once

#include <QByteArray>
#include <QString>

// What a reader read of a file, to tell before a write whether someone else
// changed the file since: whether it was there, its size, its modification
// time and a hash of its content. A stamp made without a read ("unknown")
// matches no file, so that a writer that was given none never writes blindly.
class FileStamp
{
public:
    FileStamp() = default;

    // The stamp of data just read from path (placed); the time is read from the
    // file as it stands now.
    static FileStamp ofRead(const QString &path, const QByteArray &data);
    // The file was not there when it was read.
    static FileStamp missing();
    // Reads path (placed) now, within the limit of configuration files. A file
    // that cannot be read (not a regular file, too large) gets an unknown stamp.
    static FileStamp current(const QString &path);

    bool isKnown() const
    {
        return m_known;
    }
    bool exists() const
    {
        return m_exists;
    }
    qint64 modifiedNs() const
    {
        return m_modifiedNs;
    }

    // Whether path (placed) still holds what this stamp was made of: there or
    // not as it was, of the same size and content. A file only touched (a new
    // time, the same bytes) still holds it: writing over it loses nothing.
    bool matches(const QString &path) const;
    // The same content: both known, both missing or of the same size and hash.
    bool sameContent(const FileStamp &other) const;
    // Whether the stamp was made of a file of exactly these bytes.
    bool holds(const QByteArray &data) const;

private:
    bool m_known = false;
    bool m_exists = false;
    qint64 m_size = -1;
    qint64 m_modifiedNs = -1;
    QByteArray m_hash;
};
