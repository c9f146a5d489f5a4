#pragma once

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

    // The file's whole content as UTF-8 text; empty with an error text on failure.
    QString readFile();
    QString errorString() const;
    void setErrorString(const QString &text);
    QString filePath() const;

private:
    const QString m_path;
    QString m_error;
};
