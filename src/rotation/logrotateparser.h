#pragma once

#include "model/abstractconfigparser.h"

class TreeItem;

// Reads the logrotate file of the main event log into a root ("Parameter",
// "Value") holding one block node (the log path) with one node per directive.
// The file is first checked with "logrotate -d"; a failed check only sets the
// error text, the tree is still built.
class LogRotateParser : public AbstractConfigParser
{
    Q_OBJECT
public:
    explicit LogRotateParser(const QString &fileName, QObject *parent = nullptr);
    ~LogRotateParser() override;

    // Null when the file is empty or unreadable; otherwise the caller owns the tree.
    TreeItem *parse() override;
    // The whole text the last parse read.
    QString text() const
    {
        return m_text;
    }

private:
    bool passesCheck() const;

    QString m_text;
};
