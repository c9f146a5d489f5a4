#include "commonsettingsparser.h"

#include "syslogngtree.h"

#include <KLocalizedString>

#include <QRegularExpression>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace
{
constexpr char16_t ByteOrderMark = 0xFEFF;

// White space to the reader, also a byte order mark at the start of the text.
bool isBlank(const QString &text, int offset)
{
    return text.at(offset).isSpace() || (offset == 0 && text.at(0) == QChar(ByteOrderMark));
}

struct Token {
    enum Kind { End, Word, Quoted, Unclosed, Open, Close, Semicolon };
    Kind kind = End;
    int begin = 0;
    int end = 0;
};

// Splits the text into words, quoted texts and the characters of the syntax,
// skipping white space and comments ("#" to the end of the line).
class Tokenizer
{
public:
    explicit Tokenizer(const QString &text)
        : m_text(text)
    {
    }

    Token next()
    {
        skipBlanksAndComments();
        Token token;
        token.begin = m_pos;
        if (m_pos < m_text.size()) {
            const QChar c = m_text.at(m_pos);
            if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                token.kind = readQuoted(c) ? Token::Quoted : Token::Unclosed;
            } else if (c == QLatin1Char('(') || c == QLatin1Char('{')) {
                token.kind = Token::Open;
                ++m_pos;
            } else if (c == QLatin1Char(')') || c == QLatin1Char('}')) {
                token.kind = Token::Close;
                ++m_pos;
            } else if (c == QLatin1Char(';')) {
                token.kind = Token::Semicolon;
                ++m_pos;
            } else {
                token.kind = Token::Word;
                while (m_pos < m_text.size() && !endsWord(m_text.at(m_pos))) {
                    ++m_pos;
                }
            }
        }
        token.end = m_pos;
        return token;
    }

    // The offset of the line break ending the line that holds offset, or the text's end.
    int lineEnd(int offset) const
    {
        const int end = m_text.indexOf(QLatin1Char('\n'), offset);
        return end < 0 ? m_text.size() : end;
    }

    // Whether only white space stands before offset on its line.
    bool startsLine(int offset) const
    {
        while (offset > 0 && m_text.at(offset - 1) != QLatin1Char('\n')) {
            if (!isBlank(m_text, --offset)) {
                return false;
            }
        }
        return true;
    }

private:
    static bool endsWord(QChar c)
    {
        return c.isSpace() || QStringView(u"{}();\"'#").contains(c);
    }

    void skipBlanksAndComments()
    {
        while (m_pos < m_text.size()) {
            if (m_text.at(m_pos) == QLatin1Char('#')) {
                m_pos = lineEnd(m_pos);
            } else if (isBlank(m_text, m_pos)) {
                ++m_pos;
            } else {
                return;
            }
        }
    }

    // Moves past the quoted text starting at the current offset; false when it is not closed.
    bool readQuoted(QChar quote)
    {
        for (++m_pos; m_pos < m_text.size(); ++m_pos) {
            if (m_text.at(m_pos) == QLatin1Char('\\') && quote == QLatin1Char('"')) {
                ++m_pos;
            } else if (m_text.at(m_pos) == quote) {
                ++m_pos;
                return true;
            }
        }
        m_pos = m_text.size();
        return false;
    }

    const QString &m_text;
    int m_pos = 0;
};

// A value as the node holds it: white space at the line breaks inside it is
// dropped, so that the table shows it the same however it is indented.
QString trimmedAtLineBreaks(QStringView value)
{
    QString result;
    result.reserve(value.size());
    int from = 0;
    for (;;) {
        int to = value.indexOf(QLatin1Char('\n'), from);
        const bool last = to < 0;
        if (last) {
            to = value.size();
        }
        int begin = from;
        int end = to;
        while (from > 0 && begin < end && value.at(begin).isSpace()) {
            ++begin;
        }
        while (!last && end > begin && value.at(end - 1).isSpace()) {
            --end;
        }
        result.append(value.mid(begin, end - begin));
        if (last) {
            return result;
        }
        result += QLatin1Char('\n');
        from = to + 1;
    }
}

// One pass over the tokens of the file. Every top-level statement and directive
// becomes a node; the options of a block that have the form "name(value);" or
// "name{value};" become its children, and any other part of a block (an "if",
// a driver without a semicolon) is only kept in the text. A broken structure
// stops the read and marks it damaged: the statements before it are kept, and
// so is the statement it lies in, with the options before it.
class Reader
{
public:
    Reader(const QString &text, SyslogNgRoot &root)
        : m_text(text)
        , m_tokens(text)
        , m_root(root)
    {
    }

    void read()
    {
        Token token = next();
        while (token.kind != Token::End) {
            if (token.kind == Token::Word && m_text.at(token.begin) == QLatin1Char('@') && m_tokens.startsLine(token.begin)) {
                token = readDirective(token);
                continue;
            }
            if (token.kind == Token::Close) {
                const QChar open = m_text.at(token.begin) == QLatin1Char('}') ? QLatin1Char('{') : QLatin1Char('(');
                stop(QStringLiteral("the \"%1\" on line %2 closes no \"%3\"").arg(m_text.at(token.begin)).arg(lineOf(token.begin)).arg(open));
                break;
            }
            if (token.kind != Token::Word || !readStatement(token)) {
                if (m_problem.isEmpty()) {
                    notUnderstood(token);
                }
                break;
            }
            token = next();
        }
        m_root.setStatements(std::move(m_statements));
    }

    QString problem() const
    {
        return m_problem;
    }

private:
    Token next()
    {
        Token token = m_tokens.next();
        if (token.kind == Token::Unclosed) {
            stop(i18n("the text from line %1 to the end is not read: a quoted text is not closed", lineOf(token.begin)));
            token.kind = Token::End;
        }
        return token;
    }

    QString text(const Token &token) const
    {
        return m_text.mid(token.begin, token.end - token.begin);
    }

    bool is(const Token &token, Token::Kind kind, char c) const
    {
        return token.kind == kind && m_text.at(token.begin) == QLatin1Char(c);
    }

    // By a table of line starts made once: a line number per problem counted
    // from the start would take time quadratic in the text's size.
    int lineOf(int offset) const
    {
        if (m_lineStarts.empty()) {
            m_lineStarts.push_back(0);
            for (int i = m_text.indexOf(QLatin1Char('\n')); i >= 0; i = m_text.indexOf(QLatin1Char('\n'), i + 1)) {
                m_lineStarts.push_back(i + 1);
            }
        }
        return static_cast<int>(std::upper_bound(m_lineStarts.cbegin(), m_lineStarts.cend(), offset) - m_lineStarts.cbegin());
    }

    // The first problem is the one named; the read ends with it.
    bool stop(const QString &problem)
    {
        if (m_problem.isEmpty()) {
            m_problem = problem;
        }
        return false;
    }

    bool notClosed(int statementBegin)
    {
        m_notClosed = true;
        return stop(i18n("the text from line %1 to the end is not read: a statement is not closed", lineOf(statementBegin)));
    }

    bool notUnderstood(const Token &token)
    {
        return stop(i18n("the text on line %1 is not understood", lineOf(token.begin)));
    }

    // A directive is the rest of its line: "@version: 3.38", "@include "file"".
    // A quoted text that begins on the line belongs to it wherever it ends.
    Token readDirective(const Token &first)
    {
        const int lineEnd = m_tokens.lineEnd(first.begin);
        Token last = first;
        Token token = next();
        for (; token.kind != Token::End && token.begin < lineEnd; token = next()) {
            last = token;
        }
        if (!m_problem.isEmpty()) {
            return token;
        }
        SyslogNgSource::Statement statement;
        statement.directive = true;
        statement.begin = first.begin;
        statement.headerEnd = statement.end = last.end;
        // "@include "file"": the name is the quoted text, as the writer writes
        // it; any other directive is one word of its own.
        if (last.begin > first.begin && is(last, Token::Quoted, '"') && m_text.at(last.begin - 1).isSpace()) {
            int nameEnd = last.begin;
            while (m_text.at(nameEnd - 1).isSpace()) {
                --nameEnd;
            }
            statement.kind = m_text.mid(first.begin, nameEnd - first.begin);
            statement.name = m_text.mid(last.begin + 1, last.end - last.begin - 2);
        } else {
            statement.kind = m_text.mid(first.begin, last.end - first.begin);
        }
        addStatement(std::move(statement));
        return token;
    }

    SyslogNgNode *addStatement(SyslogNgSource::Statement statement)
    {
        auto node = std::make_unique<SyslogNgNode>(QVector<QVariant>{statement.kind, statement.name, QVariant()},
                                                   SyslogNgSource::Place{m_root.sourceId(), int(m_statements.size())});
        SyslogNgNode *added = node.get();
        m_root.appendChild(std::move(node));
        m_statements.append(std::move(statement));
        return added;
    }

    // "kind [name] { ... };". A header of other words ("block destination
    // name(...)") makes a statement the page does not look into.
    bool readStatement(const Token &kindToken)
    {
        static const QRegularExpression kindPattern(QStringLiteral("^[a-z][a-z0-9_-]*$"));
        if (!kindPattern.match(text(kindToken)).hasMatch()) {
            return false;
        }
        SyslogNgSource::Statement statement;
        statement.kind = text(kindToken);
        statement.begin = kindToken.begin;
        statement.headerEnd = kindToken.end;
        int words = 0;
        bool plain = true;
        Token nameToken;
        Token token = next();
        for (; !is(token, Token::Open, '{'); token = next()) {
            if (token.kind == Token::End) {
                return m_problem.isEmpty() ? notClosed(kindToken.begin) : false;
            }
            if (token.kind == Token::Word || token.kind == Token::Quoted) {
                plain = plain && token.kind == Token::Word;
                nameToken = token;
                ++words;
                statement.headerEnd = token.end;
            } else if (token.kind == Token::Open) {
                plain = false;
                const int close = closingOffset(token, kindToken.begin);
                if (close < 0) {
                    return false;
                }
                statement.headerEnd = close + 1;
            } else {
                return notUnderstood(token);
            }
        }
        const bool modelled = plain && words <= 1;
        if (words > 0) {
            statement.name = modelled ? text(nameToken) : m_text.mid(kindToken.end, statement.headerEnd - kindToken.end).simplified();
        } else {
            statement.name = QString();
        }
        statement.bodyBegin = token.end;
        const int index = m_statements.size();
        m_statements.append(statement);
        auto node =
            std::make_unique<SyslogNgNode>(QVector<QVariant>{statement.kind, statement.name, QVariant()}, SyslogNgSource::Place{m_root.sourceId(), index});
        const bool read = readBody(*node, index, modelled, kindToken.begin);
        // A statement that is not closed is not read at all; one broken inside
        // keeps the options before the break.
        if (read || !m_notClosed) {
            m_root.appendChild(std::move(node));
        } else {
            m_statements.removeLast();
        }
        return read;
    }

    // The options up to the "};" that ends the statement.
    bool readBody(TreeItem &node, int index, bool modelled, int statementBegin)
    {
        for (;;) {
            Token token = next();
            if (token.kind == Token::End) {
                return m_problem.isEmpty() ? notClosed(statementBegin) : false;
            }
            if (is(token, Token::Close, '}')) {
                return endsWithSemicolon(index, token, statementBegin);
            }
            if (token.kind == Token::Semicolon) {
                continue;
            }
            // "name(value);": a node of its own.
            const Token name = token;
            Token open;
            int valueEnd = -1;
            if (name.kind == Token::Word) {
                open = next();
                if (open.kind == Token::Open) {
                    valueEnd = closingOffset(open, statementBegin);
                    if (valueEnd < 0) {
                        return false;
                    }
                    token = next();
                    if (token.kind == Token::Semicolon) {
                        if (modelled) {
                            addOption(node, index, name, open.end, valueEnd, token.end);
                        }
                        continue;
                    }
                } else {
                    token = open;
                }
            }
            // Anything else runs to the next ";" or to the end of the block.
            for (;; token = next()) {
                if (token.kind == Token::End) {
                    return m_problem.isEmpty() ? notClosed(statementBegin) : false;
                }
                if (token.kind == Token::Semicolon) {
                    break;
                }
                if (is(token, Token::Close, '}')) {
                    return endsWithSemicolon(index, token, statementBegin);
                }
                if (token.kind == Token::Close) {
                    return stop(i18n("the parentheses or braces inside a block do not balance"));
                }
                if (token.kind == Token::Open && closingOffset(token, statementBegin) < 0) {
                    return false;
                }
            }
        }
    }

    void addOption(TreeItem &node, int index, const Token &name, int valueBegin, int valueEnd, int end)
    {
        SyslogNgSource::Option option;
        option.name = text(name);
        option.value = trimmedAtLineBreaks(QStringView(m_text).mid(valueBegin, valueEnd - valueBegin));
        option.begin = name.begin;
        option.end = end;
        QVector<SyslogNgSource::Option> &options = m_statements[index].options;
        node.appendChild(std::make_unique<SyslogNgNode>(QVector<QVariant>{option.name, QVariant(), option.value},
                                                        SyslogNgSource::Place{m_root.sourceId(), index, int(options.size())}));
        options.append(std::move(option));
    }

    // The offset of the bracket that closes open; -1 when the nesting breaks. A
    // ";" directly inside parentheses would end the option inside its value.
    int closingOffset(const Token &open, int statementBegin)
    {
        QString expected(m_text.at(open.begin) == QLatin1Char('(') ? QLatin1Char(')') : QLatin1Char('}'));
        for (;;) {
            const Token token = next();
            if (token.kind == Token::End) {
                if (m_problem.isEmpty()) {
                    notClosed(statementBegin);
                }
                return -1;
            }
            const QChar c = m_text.at(token.begin);
            if (token.kind == Token::Open) {
                expected += c == QLatin1Char('(') ? QLatin1Char(')') : QLatin1Char('}');
            } else if ((token.kind == Token::Close && c != expected.back()) || (token.kind == Token::Semicolon && expected.back() == QLatin1Char(')'))) {
                stop(i18n("the parentheses or braces inside a block do not balance"));
                return -1;
            } else if (token.kind == Token::Close) {
                expected.chop(1);
                if (expected.isEmpty()) {
                    return token.begin;
                }
            }
        }
    }

    bool endsWithSemicolon(int index, const Token &close, int statementBegin)
    {
        m_statements[index].bodyEnd = close.begin;
        const Token token = next();
        if (token.kind == Token::End) {
            return m_problem.isEmpty() ? notClosed(statementBegin) : false;
        }
        if (token.kind != Token::Semicolon) {
            return notUnderstood(token);
        }
        m_statements[index].end = token.end;
        return true;
    }

    const QString &m_text;
    Tokenizer m_tokens;
    SyslogNgRoot &m_root;
    QString m_problem;
    mutable std::vector<int> m_lineStarts; // made by the first lineOf
    bool m_notClosed = false;
    QVector<SyslogNgSource::Statement> m_statements;
};
} // namespace

CommonSettingsParser::CommonSettingsParser(const QString &fileName, QObject *parent)
    : AbstractConfigParser(fileName, parent)
{
}

CommonSettingsParser::~CommonSettingsParser() = default;

TreeItem *CommonSettingsParser::parse()
{
    QString text = readFile();
    // Decoding drops a byte order mark; the text keeps it, to be written back.
    if (!text.isEmpty()) {
        const QString withMark = QChar(ByteOrderMark) + text;
        if (stamp().holds(withMark.toUtf8())) {
            text = withMark;
        }
    }
    // Written back, the text must give the bytes that were read.
    if (stamp().exists() && !stamp().holds(text.toUtf8()) && !damaged()) {
        markDamaged(i18n("not UTF-8 text"));
        text.clear();
    }
    auto root = std::make_unique<SyslogNgRoot>(QVector<QVariant>{i18n("Parameter"), i18n("Name"), i18n("Value")}, text);
    root->setStamp(stamp());
    if (text.isEmpty()) {
        return root.release();
    }
    Reader reader(text, *root);
    reader.read();
    if (!reader.problem().isEmpty()) {
        markDamaged(reader.problem());
    }
    return root.release();
}
