#include "commonsettingsparser.h"

#include "commonwriter.h"
#include "model/treeitem.h"

#include <KLocalizedString>

#include <QRegularExpression>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace
{
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
            if (!m_text.at(--offset).isSpace()) {
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
            } else if (m_text.at(m_pos).isSpace()) {
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
            if (m_text.at(m_pos) == QLatin1Char('\\')) {
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

// A value as the writer gives it back: white space at the line breaks inside it
// is dropped, so that indentation does not grow with every write.
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

// One pass over the tokens of the file. A broken structure stops the read: the
// statements before it are kept, and so is the statement it lies in, with the
// options before it. A part the writer would give back otherwise is left out or
// kept as read, and only reported. The first problem is the one named.
class Reader
{
public:
    explicit Reader(const QString &text)
        : m_text(text)
        , m_tokens(text)
        , m_lastLineStart(text.endsWith(QLatin1Char('\n')) ? text.size() : text.lastIndexOf(QLatin1Char('\n')) + 1)
    {
    }

    void read()
    {
        Token token = next();
        while (token.kind != Token::End) {
            if (token.begin >= m_lastLineStart) {
                notClosed(token.begin);
                return;
            }
            if (token.kind == Token::Word && m_text.at(token.begin) == QLatin1Char('@') && m_tokens.startsLine(token.begin)) {
                token = readDirective(token);
                continue;
            }
            if (token.kind == Token::Close) {
                const QChar open = m_text.at(token.begin) == QLatin1Char('}') ? QLatin1Char('{') : QLatin1Char('(');
                stop(token.begin, QStringLiteral("the \"%1\" on line %2 closes no \"%3\"").arg(m_text.at(token.begin)).arg(lineOf(token.begin)).arg(open));
                return;
            }
            if (token.kind != Token::Word || !readStatement(token)) {
                notUnderstood(token);
                return;
            }
            token = next();
        }
    }

    QString problem() const
    {
        return m_problem;
    }

    // Directives first, then blocks, each in file order.
    void moveInto(TreeItem &root)
    {
        for (auto *nodes : {&m_directives, &m_statements}) {
            for (auto &node : *nodes) {
                root.appendChild(std::move(node));
            }
        }
    }

private:
    Token next()
    {
        Token token = m_tokens.next();
        if (token.kind == Token::Unclosed) {
            stop(token.begin, i18n("the text from line %1 to the end is not read: a quoted text is not closed", lineOf(token.begin)));
            token.kind = Token::End;
        }
        return token;
    }

    QString text(const Token &token) const
    {
        return m_text.mid(token.begin, token.end - token.begin);
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

    void report(const QString &problem)
    {
        if (m_problem.isEmpty()) {
            m_problem = problem;
        }
    }

    bool stop(int offset, const QString &problem)
    {
        report(problem);
        if (m_stoppedAt < 0) {
            m_stoppedAt = offset;
        }
        return false;
    }

    bool notClosed(int statementBegin)
    {
        return stop(statementBegin,
                    i18n("the text from line %1 to the end is not read: a statement is not closed or no line follows it", lineOf(statementBegin)));
    }

    bool notUnderstood(const Token &token)
    {
        return stop(token.begin, i18n("the text on line %1 is not understood", lineOf(token.begin)));
    }

    // A directive is one line, its quoted text last: "@include "file"".
    Token readDirective(const Token &first)
    {
        const int lineEnd = m_tokens.lineEnd(first.begin);
        Token last = first;
        Token token = next();
        for (; token.kind != Token::End && token.begin < lineEnd; token = next()) {
            last = token;
        }
        if (last.kind != Token::Quoted || m_text.at(last.begin) != QLatin1Char('"') || last.end > lineEnd || !m_text.at(last.begin - 1).isSpace()) {
            report(i18n("the directive on line %1 is not understood", lineOf(first.begin)));
            return token;
        }
        int nameEnd = last.begin;
        while (m_text.at(nameEnd - 1).isSpace()) {
            --nameEnd;
        }
        const int nameBegin = blankLinesBefore(first.begin);
        m_directives.push_back(std::make_unique<TreeItem>(
            QVector<QVariant>{m_text.mid(nameBegin, nameEnd - nameBegin), m_text.mid(last.begin + 1, last.end - last.begin - 2), QVariant()}));
        m_lastDirectiveEnd = lineEnd;
        return token;
    }

    // Where the white space kept with a directive begins: the blank lines before
    // it are written back in front of it, except the one the writer puts after
    // every directive.
    int blankLinesBefore(int offset) const
    {
        int begin = offset;
        while (begin > 0 && m_text.at(begin - 1).isSpace()) {
            --begin;
        }
        if (begin == 0) {
            return 0;
        }
        // The line break that ends the line before.
        begin = m_text.indexOf(QLatin1Char('\n'), begin);
        const int blankLineEnd = m_text.indexOf(QLatin1Char('\n'), begin + 1);
        if (begin == m_lastDirectiveEnd && blankLineEnd >= 0 && blankLineEnd < offset) {
            begin = blankLineEnd;
        }
        return begin + 1;
    }

    // "kind [name] { options };"
    bool readStatement(const Token &kindToken)
    {
        static const QRegularExpression kindPattern(QStringLiteral("^[a-z]+$"));
        const QString kind = text(kindToken);
        QString name;
        Token token = next();
        if (token.kind == Token::Word) {
            name = text(token);
            token = next();
        }
        if (token.kind == Token::End) {
            return notClosed(kindToken.begin);
        }
        if (!kindPattern.match(kind).hasMatch() || token.kind != Token::Open || m_text.at(token.begin) != QLatin1Char('{')) {
            return false;
        }
        auto statement = std::make_unique<TreeItem>(QVector<QVariant>{kind, name, QVariant()});
        const bool read = readOptions(*statement, kindToken.begin, QString(kind + QLatin1Char(' ') + name).trimmed());
        if (read || m_stoppedAt > kindToken.begin) {
            m_statements.push_back(std::move(statement));
        }
        return read;
    }

    // "name(value);" or "name{value};" up to the "};" that ends the statement.
    bool readOptions(TreeItem &statement, int statementBegin, const QString &statementName)
    {
        for (Token token = next();; token = next()) {
            QString name;
            int words = 0;
            bool plain = true;
            for (; token.kind == Token::Word || token.kind == Token::Quoted; token = next()) {
                name += text(token);
                ++words;
                plain = plain && token.kind == Token::Word;
            }
            if (token.kind == Token::End) {
                return notClosed(statementBegin);
            }
            if (token.kind == Token::Close && words == 0 && m_text.at(token.begin) == QLatin1Char('}')) {
                return endsWithSemicolon(statementBegin);
            }
            if (token.kind != Token::Open) {
                return notUnderstood(token);
            }
            const bool braced = m_text.at(token.begin) == QLatin1Char('{');
            const int valueBegin = token.end;
            const int valueEnd = closingOffset(token, statementBegin);
            if (valueEnd < 0 || !endsWithSemicolon(statementBegin)) {
                return false;
            }
            // The writer tells a braced body by the option's name alone.
            if (m_problem.isEmpty() && (words != 1 || !plain || braced != CommonWriter::isBlockOption(name))) {
                report(QStringLiteral("the option \"%1\" of \"%2\" is not understood").arg(name, statementName));
            }
            statement.appendChild(std::make_unique<TreeItem>(
                QVector<QVariant>{name, QVariant(), trimmedAtLineBreaks(QStringView(m_text).mid(valueBegin, valueEnd - valueBegin))}));
        }
    }

    // The offset of the bracket that closes open; -1 when the nesting breaks. A
    // ";" directly inside parentheses would end the option inside its value.
    int closingOffset(const Token &open, int statementBegin)
    {
        QString expected(m_text.at(open.begin) == QLatin1Char('(') ? QLatin1Char(')') : QLatin1Char('}'));
        for (;;) {
            const Token token = next();
            if (token.kind == Token::End) {
                notClosed(statementBegin);
                return -1;
            }
            const QChar c = m_text.at(token.begin);
            if (token.kind == Token::Open) {
                expected += c == QLatin1Char('(') ? QLatin1Char(')') : QLatin1Char('}');
            } else if ((token.kind == Token::Close && c != expected.back()) || (token.kind == Token::Semicolon && expected.back() == QLatin1Char(')'))) {
                stop(token.begin, i18n("the parentheses or braces inside a block do not balance"));
                return -1;
            } else if (token.kind == Token::Close) {
                expected.chop(1);
                if (expected.isEmpty()) {
                    return token.begin;
                }
            }
        }
    }

    bool endsWithSemicolon(int statementBegin)
    {
        const Token token = next();
        if (token.kind == Token::End) {
            return notClosed(statementBegin);
        }
        return token.kind == Token::Semicolon || notUnderstood(token);
    }

    const QString &m_text;
    Tokenizer m_tokens;
    // Statements that begin on a last line without a line break are not read:
    // nothing shows that the line is whole.
    const int m_lastLineStart;
    int m_lastDirectiveEnd = -1;
    int m_stoppedAt = -1;
    QString m_problem;
    mutable std::vector<int> m_lineStarts; // made by the first lineOf
    std::vector<std::unique_ptr<TreeItem>> m_directives;
    std::vector<std::unique_ptr<TreeItem>> m_statements;
};
} // namespace

CommonSettingsParser::CommonSettingsParser(const QString &fileName, QObject *parent)
    : AbstractConfigParser(fileName, parent)
{
}

CommonSettingsParser::~CommonSettingsParser() = default;

TreeItem *CommonSettingsParser::parse()
{
    auto root = std::make_unique<TreeItem>(QVector<QVariant>{i18n("Parameter"), i18n("Name"), i18n("Value")});
    const QString text = readFile();
    if (text.isEmpty()) {
        return root.release();
    }
    Reader reader(text);
    reader.read();
    if (!reader.problem().isEmpty()) {
        markDamaged(reader.problem());
    }
    reader.moveInto(*root);
    return root.release();
}
