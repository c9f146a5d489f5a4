#include "commonwriter.h"

#include "model/treeitem.h"
#include "syslogngtree.h"

#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace
{
const QLatin1String Indent("    ");

QString optionText(const TreeItem *option)
{
    const QString name = option->data(0).toString();
    const bool block = CommonWriter::isBlockOption(name);
    QString text = name;
    text += QLatin1Char(block ? '{' : '(');
    text += option->data(2).toString();
    text += QLatin1String(block ? "};" : ");");
    return text;
}

// A directive without its line break.
QString directiveText(const TreeItem *statement)
{
    const QVariant name = statement->data(1);
    return name.isValid() ? statement->data(0).toString() + QLatin1String(" \"") + name.toString() + QLatin1Char('"') : statement->data(0).toString();
}

// A statement in the module's layout, ending with a line break.
QString statementText(const TreeItem *statement)
{
    const QString kind = statement->data(0).toString();
    if (kind.contains(QLatin1Char('@'))) {
        return directiveText(statement) + QLatin1Char('\n');
    }
    QString text = kind;
    const QString name = statement->data(1).toString();
    if (!name.isEmpty()) {
        text += QLatin1Char(' ') + name;
    }
    text += QLatin1String(" {\n");
    for (int row = 0; row < statement->childCount(); ++row) {
        // Piece by piece: a built-up text appended at once is grown to its
        // exact size, which makes a long statement quadratic to write.
        text += Indent;
        text += optionText(statement->child(row));
        text += QLatin1Char('\n');
    }
    text += QLatin1String("};\n");
    return text;
}

// White space within a line, as the reader skips it (carriage returns and
// other Unicode spaces too): only "\n" ends a line.
bool isHorizontalSpace(QChar c)
{
    return c != QLatin1Char('\n') && c.isSpace();
}

// The text a tree read from it gives back: the text as read, with one edit
// per node that was removed, added or changed. A removed statement or option
// takes the lines it stands on when nothing else stands there (a comment after
// it on its last line included), and one blank line when it stood between
// two; an added one is placed as the module's layout has it, so that removing
// what was added gives the text back as it was.
class Splicer
{
public:
    explicit Splicer(const SyslogNgRoot &root)
        : m_root(root)
        , m_text(root.text())
    {
        // Written text takes the line breaks of the file: "\r\n" when every
        // line break is one.
        m_crlf = m_text.contains(QLatin1Char('\n'));
        for (int i = m_text.indexOf(QLatin1Char('\n')); m_crlf && i >= 0; i = m_text.indexOf(QLatin1Char('\n'), i + 1)) {
            m_crlf = i > 0 && m_text.at(i - 1) == QLatin1Char('\r');
        }
    }

    QString result()
    {
        const QVector<SyslogNgSource::Statement> &statements = m_root.statements();
        std::vector<bool> kept(size_t(statements.size()), false);
        int lastKept = -1;
        QStringList added;
        for (int row = 0; row < m_root.childCount(); ++row) {
            const TreeItem *node = m_root.child(row);
            const int index = statementOf(node, lastKept);
            if (index < 0) {
                added << statementText(node);
                continue;
            }
            if (!added.isEmpty()) {
                if (lastKept >= 0) {
                    insertAfter(statements.at(lastKept).end, added);
                } else {
                    insertBefore(statements.at(index).begin, added);
                }
                added.clear();
            }
            kept[size_t(index)] = true;
            lastKept = index;
            editStatement(node, index);
        }
        if (!added.isEmpty()) {
            if (lastKept >= 0) {
                insertAfter(statements.at(lastKept).end, added);
            } else {
                insertAtEnd(added);
            }
        }
        for (int index = 0; index < statements.size(); ++index) {
            if (!kept[size_t(index)] && complete(statements.at(index))) {
                remove(statements.at(index).begin, statements.at(index).end);
            }
        }
        return applied();
    }

private:
    struct Edit {
        int begin;
        int end;
        QString text;
    };

    static bool complete(const SyslogNgSource::Statement &statement)
    {
        return statement.end > statement.begin;
    }

    // Where a node of the root was read; null for a node made since.
    const SyslogNgSource::Place *readPlace(const TreeItem *node) const
    {
        const auto *read = dynamic_cast<const SyslogNgNode *>(node);
        return read && read->place().sourceId == m_root.sourceId() ? &read->place() : nullptr;
    }

    // The statement a node of the root was read as; -1 for a node made since,
    // or one moved before a statement kept already.
    int statementOf(const TreeItem *node, int after) const
    {
        const SyslogNgSource::Place *read = readPlace(node);
        if (!read || read->option >= 0 || read->statement <= after || read->statement >= m_root.statements().size()
            || !complete(m_root.statements().at(read->statement))) {
            return -1;
        }
        return read->statement;
    }

    int optionOf(const TreeItem *node, int statement, int after, int count) const
    {
        const SyslogNgSource::Place *read = readPlace(node);
        if (!read || read->statement != statement || read->option <= after || read->option >= count) {
            return -1;
        }
        return read->option;
    }

    void editStatement(const TreeItem *node, int statementIndex)
    {
        const SyslogNgSource::Statement &statement = m_root.statements().at(statementIndex);
        const QString kind = node->data(0).toString();
        const bool sameHeader = kind == statement.kind && node->data(1) == statement.name;
        if (statement.directive) {
            if (!sameHeader) {
                m_edits.push_back({statement.begin, statement.end, directiveText(node)});
            }
            return;
        }
        if (!sameHeader) {
            const QString name = node->data(1).toString();
            m_edits.push_back({statement.begin, statement.headerEnd, name.isEmpty() ? kind : kind + QLatin1Char(' ') + name});
        }
        const QVector<SyslogNgSource::Option> &options = statement.options;
        std::vector<bool> kept(size_t(options.size()), false);
        int lastKept = -1;
        QStringList added;
        for (int row = 0; row < node->childCount(); ++row) {
            const TreeItem *child = node->child(row);
            const int index = optionOf(child, statementIndex, lastKept, options.size());
            if (index < 0) {
                added << optionText(child);
                continue;
            }
            if (!added.isEmpty()) {
                if (lastKept >= 0) {
                    insertOptionsAfter(options.at(lastKept), added);
                } else {
                    insertOptionsBefore(options.at(index).begin, added);
                }
                added.clear();
            }
            kept[size_t(index)] = true;
            lastKept = index;
            const SyslogNgSource::Option &option = options.at(index);
            if (child->data(0).toString() != option.name || child->data(2).toString() != option.value) {
                m_edits.push_back({option.begin, option.end, optionText(child)});
            }
        }
        if (!added.isEmpty()) {
            if (lastKept >= 0) {
                insertOptionsAfter(options.at(lastKept), added);
            } else {
                insertOptionsAtBodyEnd(statement, added);
            }
        }
        for (int index = 0; index < options.size(); ++index) {
            if (!kept[size_t(index)]) {
                remove(options.at(index).begin, options.at(index).end);
            }
        }
    }

    int lineStart(int offset) const
    {
        while (offset > 0 && m_text.at(offset - 1) != QLatin1Char('\n')) {
            --offset;
        }
        return offset;
    }

    // Only white space stands before offset on its line.
    bool startsLine(int offset) const
    {
        for (int i = lineStart(offset); i < offset; ++i) {
            if (!isHorizontalSpace(m_text.at(i))) {
                return false;
            }
        }
        return true;
    }

    QString indentation(int offset) const
    {
        const int start = lineStart(offset);
        int end = start;
        while (end < m_text.size() && isHorizontalSpace(m_text.at(end)) && m_text.at(end) != QLatin1Char('\r')) {
            ++end;
        }
        return m_text.mid(start, end - start);
    }

    // After offset: past white space and a comment, at the line break or
    // whatever else follows on the line.
    int restOfLine(int offset) const
    {
        while (offset < m_text.size() && isHorizontalSpace(m_text.at(offset))) {
            ++offset;
        }
        if (offset < m_text.size() && m_text.at(offset) == QLatin1Char('#')) {
            const int lineBreak = m_text.indexOf(QLatin1Char('\n'), offset);
            offset = lineBreak < 0 ? m_text.size() : lineBreak;
        }
        return offset;
    }

    // The end of the blank line starting at offset (after its line break), or -1
    // when the line holds more than white space or no line break ends it.
    int blankLineEnd(int offset) const
    {
        int i = offset;
        while (i < m_text.size() && isHorizontalSpace(m_text.at(i))) {
            ++i;
        }
        return i < m_text.size() && m_text.at(i) == QLatin1Char('\n') ? i + 1 : -1;
    }

    // Whether the line from begin to end (after its line break) is a line break
    // as the module writes it in this text, and nothing else.
    bool isEmptyLine(int begin, int end) const
    {
        return m_crlf ? end - begin == 2 && m_text.at(begin) == QLatin1Char('\r') : end - begin == 1;
    }

    // The start of the blank line that ends at offset (a line start), or -1.
    int blankLineStart(int offset) const
    {
        if (offset == 0 || m_text.at(offset - 1) != QLatin1Char('\n')) {
            return -1;
        }
        const int start = lineStart(offset - 1);
        for (int i = start; i < offset - 1; ++i) {
            if (!isHorizontalSpace(m_text.at(i))) {
                return -1;
            }
        }
        return start;
    }

    void remove(int begin, int end)
    {
        const int rest = restOfLine(end);
        const bool endsLine = rest == m_text.size() || m_text.at(rest) == QLatin1Char('\n');
        if (!startsLine(begin)) {
            while (begin > 0 && isHorizontalSpace(m_text.at(begin - 1))) {
                --begin;
            }
            m_edits.push_back({begin, end, QString()});
            return;
        }
        if (!endsLine) {
            while (end < m_text.size() && isHorizontalSpace(m_text.at(end))) {
                ++end;
            }
            m_edits.push_back({begin, end, QString()});
            return;
        }
        m_lineRemovals.push_back({lineStart(begin), rest == m_text.size() ? rest : rest + 1, QString()});
    }

    bool onlyWhiteSpace(int begin, int end) const
    {
        for (int i = begin; i < end; ++i) {
            if (!m_text.at(i).isSpace()) {
                return false;
            }
        }
        return true;
    }

    // Whole lines removed that meet, or have only blank lines between them, go
    // as one; then the blank lines around them are settled once.
    void settleLineRemovals()
    {
        std::sort(m_lineRemovals.begin(), m_lineRemovals.end(), [](const Edit &a, const Edit &b) {
            return a.begin < b.begin;
        });
        std::vector<Edit> joined;
        for (const Edit &removal : m_lineRemovals) {
            if (!joined.empty() && removal.begin >= joined.back().begin && onlyWhiteSpace(std::min(joined.back().end, removal.begin), removal.begin)) {
                joined.back().end = std::max(joined.back().end, removal.end);
            } else {
                joined.push_back(removal);
            }
        }
        for (Edit removal : joined) {
            int begin = removal.begin;
            int end = removal.end;
            // Between blank lines (or a blank line and the start or end of the
            // text), one of them goes too: the one a statement added in the
            // module's layout brought with it.
            const int blankAfter = blankLineEnd(end);
            const int blankBefore = blankLineStart(begin);
            if ((blankAfter >= 0 || end == m_text.size()) && (blankBefore >= 0 || begin == 0) && !(begin == 0 && end == m_text.size())) {
                // The module adds an empty line: one with spaces is the administrator's.
                const bool emptyAfter = blankAfter >= 0 && isEmptyLine(end, blankAfter);
                const bool emptyBefore = blankBefore >= 0 && isEmptyLine(blankBefore, begin);
                if (blankAfter >= 0 && (emptyAfter || !emptyBefore)) {
                    end = blankAfter;
                } else if (blankBefore >= 0) {
                    begin = blankBefore;
                }
            }
            // The last line of a text without a final line break: the line
            // before becomes the last, without one too.
            if (end == m_text.size() && !m_text.endsWith(QLatin1Char('\n')) && begin > 0) {
                --begin;
                if (m_crlf && begin > 0 && m_text.at(begin - 1) == QLatin1Char('\r')) {
                    --begin;
                }
            }
            m_edits.push_back({begin, end, QString()});
        }
    }

    // Text added at the end of a text without a final line break ends without one too.
    QString endingAsTheText(QString text) const
    {
        if (!m_text.isEmpty() && !m_text.endsWith(QLatin1Char('\n')) && text.endsWith(QLatin1Char('\n'))) {
            text.chop(1);
        }
        return text;
    }

    // After a statement: separated by a blank line, as the module's layout
    // has it, unless the text there goes on without one.
    void insertAfter(int end, const QStringList &statements)
    {
        const int rest = restOfLine(end);
        QString text;
        int at = rest;
        bool separated = true;
        if (rest == m_text.size()) {
            if (!m_text.isEmpty() && !m_text.endsWith(QLatin1Char('\n'))) {
                text += QLatin1Char('\n');
            }
        } else if (m_text.at(rest) == QLatin1Char('\n')) {
            at = rest + 1;
            separated = at == m_text.size() || blankLineEnd(at) >= 0;
        } else {
            // More follows on the line: in it, as one more statement of the line.
            for (const QString &statement : statements) {
                text += QLatin1Char(' ') + statement.chopped(1);
            }
            m_edits.push_back({end, end, text});
            return;
        }
        for (const QString &statement : statements) {
            if (separated) {
                text += QLatin1Char('\n');
            }
            text += statement;
        }
        m_edits.push_back({at, at, at == m_text.size() ? endingAsTheText(text) : text});
    }

    // Before a statement: followed by a blank line when one (or the start of
    // the text) stands before it.
    void insertBefore(int begin, const QStringList &statements)
    {
        if (!startsLine(begin)) {
            QString text;
            for (const QString &statement : statements) {
                text += statement.chopped(1) + QLatin1Char(' ');
            }
            m_edits.push_back({begin, begin, text});
            return;
        }
        const int at = lineStart(begin);
        const bool separated = at == 0 || blankLineStart(at) >= 0;
        QString text;
        for (const QString &statement : statements) {
            text += statement;
            if (separated) {
                text += QLatin1Char('\n');
            }
        }
        m_edits.push_back({at, at, text});
    }

    void insertAtEnd(const QStringList &statements)
    {
        QString text;
        if (m_text.isEmpty()) {
            for (const QString &statement : statements) {
                text += statement;
                text += QLatin1Char('\n');
            }
        } else {
            if (!m_text.endsWith(QLatin1Char('\n'))) {
                text += QLatin1Char('\n');
            }
            for (const QString &statement : statements) {
                text += QLatin1Char('\n');
                text += statement;
            }
        }
        m_edits.push_back({int(m_text.size()), int(m_text.size()), endingAsTheText(text)});
    }

    void insertOptionsAfter(const SyslogNgSource::Option &option, const QStringList &options)
    {
        const int rest = restOfLine(option.end);
        QString text;
        if (rest < m_text.size() && m_text.at(rest) == QLatin1Char('\n') && startsLine(option.begin)) {
            const QString indent = indentation(option.begin);
            for (const QString &added : options) {
                text += indent + added + QLatin1Char('\n');
            }
            m_edits.push_back({rest + 1, rest + 1, text});
            return;
        }
        for (const QString &added : options) {
            text += QLatin1Char(' ') + added;
        }
        m_edits.push_back({option.end, option.end, text});
    }

    void insertOptionsBefore(int begin, const QStringList &options)
    {
        QString text;
        if (startsLine(begin)) {
            const QString indent = indentation(begin);
            for (const QString &added : options) {
                text += indent + added + QLatin1Char('\n');
            }
            m_edits.push_back({lineStart(begin), lineStart(begin), text});
            return;
        }
        for (const QString &added : options) {
            text += added + QLatin1Char(' ');
        }
        m_edits.push_back({begin, begin, text});
    }

    void insertOptionsAtBodyEnd(const SyslogNgSource::Statement &statement, const QStringList &options)
    {
        QString text;
        if (startsLine(statement.bodyEnd) && statement.bodyEnd > statement.bodyBegin && lineStart(statement.bodyEnd) > statement.bodyBegin) {
            const QString indent = indentation(statement.begin) + Indent;
            for (const QString &added : options) {
                text += indent + added + QLatin1Char('\n');
            }
            m_edits.push_back({lineStart(statement.bodyEnd), lineStart(statement.bodyEnd), text});
            return;
        }
        // On the line of the body's end: after the last option, before the space to the "}".
        int at = statement.bodyEnd;
        while (at > statement.bodyBegin && isHorizontalSpace(m_text.at(at - 1))) {
            --at;
        }
        for (const QString &added : options) {
            text += QLatin1Char(' ') + added;
        }
        m_edits.push_back({at, at, text});
    }

    // The edits in text order, an insertion before a removal at the same
    // place; removals that meet are joined.
    QString applied()
    {
        settleLineRemovals();
        std::stable_sort(m_edits.begin(), m_edits.end(), [](const Edit &a, const Edit &b) {
            return a.begin != b.begin ? a.begin < b.begin : (a.end - a.begin) < (b.end - b.begin);
        });
        QString out;
        out.reserve(m_text.size());
        int cursor = 0;
        for (const Edit &edit : m_edits) {
            const int begin = std::max(edit.begin, cursor);
            out += QStringView(m_text).mid(cursor, begin - cursor);
            out += m_crlf ? QString(edit.text).replace(QLatin1Char('\n'), QLatin1String("\r\n")) : edit.text;
            cursor = std::max(cursor, edit.end);
        }
        out += QStringView(m_text).mid(cursor);
        return out;
    }

    const SyslogNgRoot &m_root;
    const QString &m_text;
    bool m_crlf = false;
    std::vector<Edit> m_edits;
    std::vector<Edit> m_lineRemovals; // whole lines, from a line start to after a line break or the end
};
} // namespace

// Only the option's own name is tested: a statement name such as "velta_x-if_filter"
// must not turn the options after it into braced ones.
bool CommonWriter::isBlockOption(const QString &name)
{
    static const QRegularExpression ifPattern(QStringLiteral(R"(\bif\b|\bif\s*\{|\bif\s)"));
    static const QRegularExpression channelPattern(QStringLiteral(R"((^|[^a-zA-Z0-9_])channel(\s*\{\s*\})?(\s*\})?([^a-zA-Z0-9_]|$))"));
    return ifPattern.match(name).hasMatch() || channelPattern.match(name).hasMatch();
}

QStringList CommonWriter::lines(const TreeItem *root) const
{
    QStringList result;
    for (int row = 0; root && row < root->childCount(); ++row) {
        result.append(statementText(root->child(row)));
    }
    return result;
}

QByteArray CommonWriter::contents(const TreeItem *root) const
{
    if (const auto *read = dynamic_cast<const SyslogNgRoot *>(root)) {
        return Splicer(*read).result().toUtf8();
    }
    return AbstractWriter::contents(root);
}
