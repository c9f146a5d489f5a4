#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

struct stat;

// Reads files that someone else may have written without trusting them: only
// regular files are read (a FIFO or device in their place never blocks the
// reader) and never more than a limit no real configuration reaches.
namespace FileRead
{
inline constexpr qint64 ConfigLimit = 16 * 1024 * 1024; // syslog-ng and logrotate files, archives' entries
inline constexpr qint64 SmallFileLimit = 4 * 1024 * 1024; // one event file, a notification file, a dictionary

struct Result {
    bool ok = false;
    bool missing = false; // the file does not exist (not an error for most readers)
    QByteArray data;
    QString error; // the reason, without the path: "not a regular file", "larger than 16 MiB", strerror
};

// A further condition on the file: the reason to refuse it, or an empty text.
// Asked before the file is opened and again on the opened descriptor, so that
// a file swapped in between is refused too.
using Condition = std::function<QString(const struct stat &)>;

// Opens path, following links: for files in folders only root can change.
Result regular(const QString &path, qint64 maxSize);

// Opens name relative to an open directory without following a final link:
// for files in folders a user controls, walked by the caller. Anything but a
// regular file is refused before it is opened, so that opening a device has
// no effect.
Result regularAt(int dirFd, const QByteArray &name, qint64 maxSize, const Condition &condition = {});

// The same for a path someone else chose (an archive to import): its folder
// is opened as named, the file itself without following a link.
Result regularNoFollow(const QString &path, qint64 maxSize);

// The text "<path>: <reason>" that readers report.
QString describe(const QString &path, const Result &result);

// A file read as above and decoded as UTF-8 text: a NUL byte, bytes that are
// not UTF-8 or UTF-16 text fail it too, since such a text written back would
// come out changed.
struct Text {
    bool ok = false;
    bool missing = false;
    QString text;
    QString error; // the reason, without the path
};
Text text(const QString &path, qint64 maxSize);
// The same for bytes already read (through UserFolder, say).
Text decoded(const Result &read);
}
