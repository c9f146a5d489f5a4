#pragma once

#include "model/treeitem.h"
#include "platform/filestamp.h"

#include <QString>
#include <QVector>

// A syslog-ng file kept whole. CommonSettingsParser builds the tree of the
// statements the page works with under a SyslogNgRoot that holds the text as
// read; each node it made is a SyslogNgNode that knows where in the text it
// stands. CommonWriter gives the text back byte for byte and changes only where
// a node was removed, added or given other values: comments, blank lines,
// spacing, directives and whatever the page does not model stay as they are.
namespace SyslogNgSource
{
// "name(value);" or "name{value};" in a block, from its name to its ";".
struct Option {
    QString name;
    QString value; // as the node got it
    int begin = 0;
    int end = 0;
};

// A top-level statement or directive as it stands in the text.
struct Statement {
    QString kind;
    QVariant name; // as the node got it
    int begin = 0; // the first word
    int headerEnd = 0; // after the last word before the body (a directive: its end)
    int end = 0; // after the ";" that ends the statement (a directive: after its last word)
    int bodyBegin = 0; // after the "{"
    int bodyEnd = 0; // at the "}" that closes the body
    bool directive = false;
    QVector<Option> options; // those the node has children for, in order
};

// Where the reader found a node: the text it read (SyslogNgRoot::sourceId()),
// the statement's index and the option's index in it, -1 for the statement itself.
struct Place {
    quint64 sourceId = 0;
    int statement = 0;
    int option = -1;
};
} // namespace SyslogNgSource

class SyslogNgRoot : public TreeItem
{
public:
    SyslogNgRoot(const QVector<QVariant> &columns, const QString &text);
    ~SyslogNgRoot() override;

    // The text as read.
    const QString &text() const
    {
        return m_text;
    }
    const QVector<SyslogNgSource::Statement> &statements() const
    {
        return m_statements;
    }
    void setStatements(QVector<SyslogNgSource::Statement> statements)
    {
        m_statements = std::move(statements);
    }
    // Tells the nodes of this tree from those of any other.
    quint64 sourceId() const
    {
        return m_sourceId;
    }
    // What the reader found on disk: compared before the file is replaced.
    const FileStamp &stamp() const
    {
        return m_stamp;
    }
    void setStamp(const FileStamp &stamp)
    {
        m_stamp = stamp;
    }

private:
    const QString m_text;
    QVector<SyslogNgSource::Statement> m_statements;
    const quint64 m_sourceId;
    FileStamp m_stamp;
};

// A node made by the reader: a statement (option < 0) or one of its options.
class SyslogNgNode : public TreeItem
{
public:
    SyslogNgNode(const QVector<QVariant> &data, const SyslogNgSource::Place &place)
        : TreeItem(data)
        , m_place(place)
    {
    }
    ~SyslogNgNode() override;

    const SyslogNgSource::Place &place() const
    {
        return m_place;
    }

private:
    const SyslogNgSource::Place m_place;
};
