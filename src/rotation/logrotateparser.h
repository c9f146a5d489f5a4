#pragma once

#include "model/abstractconfigparser.h"
#include "platform/process.h"

#include <QVector>

class TreeItem;

// Reads the logrotate file of the main event log into a root ("Parameter",
// "Value") holding one block node (the log path) with one node per directive.
// A file of several blocks gives the block that names the main event log (the
// first when none does), and a problem line says which one is shown.
// The file is first checked with "logrotate -d"; a failed check only sets the
// error text, the tree is still built.
class LogRotateParser : public AbstractConfigParser
{
    Q_OBJECT
public:
    // A block "paths { directives }" of a file, by line index.
    struct Block {
        int header = -1; // the line of the log paths (the line before "{" when "{" stands alone)
        int open = -1; // the line of "{"
        int close = -1; // the line of "}"; the number of lines when it is not closed
        QString paths; // the log paths as written
    };
    // The braced blocks of a file's lines, in order; empty for a file without
    // braces (one header line followed by directives). Braces inside scripts
    // (postrotate ... endscript) and comments are no block's.
    static QVector<Block> blocks(const QStringList &fileLines);
    // The name of the directive on a simplified line, as logrotate reads it;
    // *value (when given) gets the rest.
    static QString directiveWord(const QString &simplified, QString *value = nullptr);
    // Whether a directive starts a script that ends at "endscript".
    static bool isScriptWord(const QString &word);
    // Whether a block's paths name the main event log (also by a pattern).
    static bool namesMainLog(const QString &paths);

    explicit LogRotateParser(const QString &fileName, QObject *parent = nullptr);
    ~LogRotateParser() override;

    // Null when the file is empty or unreadable; otherwise the caller owns the
    // tree. The check waits for logrotate.
    TreeItem *parse() override;
    // The same with the check run through run: done gets the tree (owned by
    // the caller) once logrotate has ended.
    void parse(const Process::Runner &run, const std::function<void(TreeItem *tree)> &done);
    // The whole text the last parse read.
    QString text() const
    {
        return m_text;
    }
    // Which of blocks(text lines) the tree shows; 0 for a file of one block or none.
    int shownBlock() const
    {
        return m_shownBlock;
    }

    // The directives outside any block before the one shown, which set its
    // defaults, as (word, value) in file order.
    QVector<QPair<QString, QString>> defaults() const
    {
        return m_defaults;
    }

private:
    TreeItem *build(bool passed);
    QVector<QPair<QString, QString>> m_defaults;

    QString m_text;
    int m_shownBlock = 0;
};
