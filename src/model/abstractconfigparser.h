#pragma once

#include "platform/fileread.h"
#include "platform/filestamp.h"

#include <QObject>
#include <QString>

class TreeItem;

// Base of the readers: a reader turns one file into a new tree that the caller
// owns. Readers never fail: a missing or malformed file gives an empty or partial
// tree and an error text.
class AbstractConfigParser : public QObject
{
    Q_OBJECT
public:
    explicit AbstractConfigParser(const QString &path, QObject *parent = nullptr);
    ~AbstractConfigParser() override;

    // Returns a newly built tree; the caller owns it.
    virtual TreeItem *parse() = 0;

    // The file's whole content as UTF-8 text, read only when it is a regular
    // file of at most maxSize bytes. Empty with an error text on failure. A file
    // that is there but cannot be read whole as text (not a regular file, too
    // large, a NUL byte, not UTF-8) marks the read damaged.
    QString readFile(qint64 maxSize = FileRead::ConfigLimit);
    // One line per problem met by the last read.
    QString errorString() const;
    void setErrorString(const QString &text);
    QString filePath() const;
    // What the last readFile() found: the file's size, time and content hash,
    // or that it was missing; unknown when it could not be read.
    FileStamp stamp() const
    {
        return m_stamp;
    }

    // Whether the file is there but the tree does not hold all of it, so that
    // writing the tree back would lose what the file holds.
    bool damaged() const;

protected:
    // Adds a line to the error text and logs it.
    void addProblem(const QString &text);
    // Adds "<file>: <reason>" and marks the read damaged.
    void markDamaged(const QString &reason);

private:
    const QString m_path;
    QString m_error;
    bool m_damaged = false;
    FileStamp m_stamp;
};
