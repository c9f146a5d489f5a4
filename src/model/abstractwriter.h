#pragma once

#include <QString>
#include <QStringList>

class TreeItem;

// Base of the writers: a writer turns a tree into text and stores it; it keeps
// nothing of the tree.
class AbstractWriter
{
public:
    explicit AbstractWriter(const QString &path);
    virtual ~AbstractWriter();

    AbstractWriter(const AbstractWriter &) = delete;
    AbstractWriter &operator=(const AbstractWriter &) = delete;

    // Replaces the file with the tree's lines, each followed by a line break.
    // The file is replaced whole or not at all; false when it could not be.
    virtual bool write(const TreeItem *root);
    QStringList text(const TreeItem *root) const;
    // The file's bytes as write() stores them: the lines, each followed by a line break.
    virtual QByteArray contents(const TreeItem *root) const;
    virtual QStringList lines(const TreeItem *root) const = 0;

    QString filePath() const;

private:
    const QString m_path;
};
