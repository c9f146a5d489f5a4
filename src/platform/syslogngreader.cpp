#include "syslogngreader.h"

#include "fileread.h"
#include "folderentries.h"
#include "paths.h"

#include <KLocalizedString>

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cctype>
#include <utility>

#include <glob.h>

namespace SyslogNgReader
{
namespace
{
// Includes and block uses within each other; syslog-ng's own limit is far above what a real configuration uses.
constexpr int MaxSources = 64;
// The text read in all, includes and expanded blocks together: a few
// definitions used within each other must not grow without end.
constexpr qint64 MaxText = 64 * 1024 * 1024;

struct Token {
    enum Kind { End, Word, String, Open, Close, BlockOpen, BlockClose, Semicolon, Directive, LineEnd };
    Kind kind = End;
    QByteArray text;
    Place place;
};

// Looks a backtick's name up: block arguments, then definitions, then the
// environment. quote is the quote of the string the backtick stands in, or 0.
using Lookup = std::function<QByteArray(const QByteArray &name, char quote)>;

// One line with its backticks substituted; "``" stands for one backtick. A
// backtick not closed on its line is an error, as in syslog-ng.
bool substituted(const QByteArray &line, const Lookup &lookup, QByteArray *out, bool *any, QString *error)
{
    char quote = 0;
    for (int i = 0; i < line.size(); ++i) {
        const char c = line.at(i);
        if (c != '`') {
            if (quote == '"' && c == '\\' && i + 1 < line.size() && line.at(i + 1) != '`') {
                *out += c;
                *out += line.at(++i);
                continue;
            }
            if (c == quote) {
                quote = 0;
            } else if (!quote && (c == '"' || c == '\'')) {
                quote = c;
            }
            *out += c;
            continue;
        }
        const int close = line.indexOf('`', i + 1);
        const int lineEnd = line.indexOf('\n', i + 1);
        if (close < 0 || (lineEnd >= 0 && lineEnd < close)) {
            *error = i18n("a backtick is not closed on its line");
            return false;
        }
        if (close == i + 1) {
            *out += '`';
        } else {
            *out += lookup(line.mid(i + 1, close - i - 1), quote);
            *any = true;
        }
        i = close;
    }
    return true;
}

// One text being read: a file, an included file or a block's expanded body.
struct Source {
    QString file;
    QByteArray raw; // the text as written; lines are taken from it as the reader reaches them
    int rawNext = 0;
    QByteArray text; // the lines taken, substituted
    int pos = 0;
    int line = 1;
    bool substitute = true; // false for a block's body, substituted when it was used
    bool lineStart = true; // only blanks since the last line break
    int includeDepth = 0;
};

class Lexer
{
public:
    Lexer(const QHash<QByteArray, QByteArray> &defines, Config *config)
        : m_defines(defines)
        , m_config(config)
    {
    }

    bool push(Source source, QString *error)
    {
        m_total += source.raw.size();
        if (m_sources.size() >= MaxSources || m_total > MaxText) {
            *error = m_sources.size() >= MaxSources ? i18n("includes or blocks are nested more than %1 deep", MaxSources)
                                                    : i18n("the configuration grows beyond %1 MiB", MaxText / 1024 / 1024);
            return false;
        }
        m_sources.push_back(std::move(source));
        return true;
    }

    int includeDepth() const
    {
        return m_sources.empty() ? 0 : m_sources.back().includeDepth;
    }

    Place place() const
    {
        return m_sources.empty() ? Place{m_lastFile, m_lastLine} : Place{m_sources.back().file, m_sources.back().line};
    }

    bool next(Token *token, QString *error)
    {
        for (;;) {
            if (m_sources.empty()) {
                *token = Token{Token::End, QByteArray(), place()};
                return true;
            }
            Source &s = m_sources.back();
            const int c = at(0);
            if (!m_error.isEmpty()) {
                *error = m_error;
                return false;
            }
            if (c < 0) {
                m_lastFile = s.file;
                m_lastLine = s.line;
                m_sources.pop_back();
                if (m_directiveLine) {
                    m_directiveLine = false;
                    *token = Token{Token::LineEnd, QByteArray(), place()};
                    return true;
                }
                continue;
            }
            if (c == '\n') {
                ++s.pos;
                ++s.line;
                s.lineStart = true;
                if (m_directiveLine) {
                    m_directiveLine = false;
                    *token = Token{Token::LineEnd, QByteArray(), Place{s.file, s.line - 1}};
                    return true;
                }
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\r' || c == ',' || c == '\f' || c == '\v') {
                ++s.pos;
                continue;
            }
            if (c == '#') {
                while (at(0) >= 0 && at(0) != '\n') {
                    ++s.pos;
                }
                continue;
            }
            const bool lineStart = s.lineStart;
            s.lineStart = false;
            token->place = Place{s.file, s.line};
            token->text.clear();
            static const char syntax[] = "(){};";
            static const Token::Kind kinds[] = {Token::Open, Token::Close, Token::BlockOpen, Token::BlockClose, Token::Semicolon};
            for (int i = 0; syntax[i]; ++i) {
                if (c == syntax[i]) {
                    ++s.pos;
                    token->kind = kinds[i];
                    token->text = QByteArray(1, char(c));
                    return true;
                }
            }
            if (c == '"' || c == '\'') {
                token->kind = Token::String;
                return quoted(char(c), &token->text, error);
            }
            if (c == '@') {
                if (!lineStart) {
                    *error = i18n("a directive must begin its line");
                    return false;
                }
                ++s.pos;
                token->kind = Token::Directive;
                while (isWordCharacter(at(0)) && at(0) != ':') {
                    token->text += char(at(0));
                    ++s.pos;
                }
                if (at(0) == ':') {
                    ++s.pos; // "@version:"
                }
                // "@line FILE LINE COLUMN" only names where the text came
                // from (syslog-ng 4 writes it where it expanded a block),
                // also inside a statement: it is no part of the configuration.
                if (token->text == "line") {
                    token->text.clear();
                    while (at(0) >= 0 && at(0) != '\n') {
                        ++s.pos;
                    }
                    continue;
                }
                m_directiveLine = true;
                return true;
            }
            token->kind = Token::Word;
            while (isWordCharacter(at(0))) {
                token->text += char(at(0));
                ++s.pos;
            }
            if (token->text.isEmpty()) {
                *error = i18n("a NUL byte"); // the one character that is neither syntax nor part of a word
                return false;
            }
            return true;
        }
    }

    // The text after an opening brace up to the one that closes it, which is
    // taken too: a block's body or python code, read as written (strings
    // and comments keep their braces), its later lines not substituted.
    bool rawBody(QByteArray *body, QString *error)
    {
        if (m_sources.empty()) {
            *error = i18n("the file ends inside a body");
            return false;
        }
        m_raw = true;
        Source &s = m_sources.back();
        int depth = 1;
        char quote = 0;
        bool comment = false;
        for (;;) {
            const int c = at(0);
            if (c < 0) {
                m_raw = false;
                *error = m_error.isEmpty() ? i18n("the file ends inside a body") : m_error;
                return false;
            }
            ++s.pos;
            if (c == '\n') {
                ++s.line;
                comment = false;
            } else if (comment) {
                continue; // syslog-ng keeps a comment's "#" only
            } else if (quote) {
                if (c == '\\' && quote == '"' && at(0) >= 0) {
                    *body += char(c);
                    const int escaped = at(0);
                    ++s.pos;
                    if (escaped == '\n') {
                        ++s.line;
                    }
                    *body += char(escaped);
                    continue;
                }
                if (c == quote) {
                    quote = 0;
                }
            } else if (c == '"' || c == '\'') {
                quote = char(c);
            } else if (c == '#') {
                comment = true;
            } else if (c == '{') {
                ++depth;
            } else if (c == '}' && --depth == 0) {
                m_raw = false;
                s.lineStart = false;
                return true;
            }
            *body += char(c);
        }
    }

    static QByteArray fromEnvironment(const QByteArray &name)
    {
        return qgetenv(name.constData());
    }

private:
    static bool isWordCharacter(int c)
    {
        static const QByteArray ends(" \t\r\n\f\v,(){};\"'#");
        return c > 0 && !ends.contains(char(c));
    }

    // The character ahead of the current one in the top source; -1 at its end.
    int at(int ahead)
    {
        Source &s = m_sources.back();
        while (s.pos + ahead >= s.text.size() && s.rawNext < s.raw.size() && m_error.isEmpty()) {
            takeLine(s);
        }
        return s.pos + ahead < s.text.size() ? static_cast<unsigned char>(s.text.at(s.pos + ahead)) : -1;
    }

    // The next line of the source's text, substituted with what is defined by
    // now: a definition applies from the line after it.
    void takeLine(Source &s)
    {
        const int lineBreak = s.raw.indexOf('\n', s.rawNext);
        const int end = lineBreak < 0 ? s.raw.size() : lineBreak + 1;
        const QByteArray line = s.raw.mid(s.rawNext, end - s.rawNext);
        s.rawNext = end;
        if (!s.substitute || m_raw || !line.contains('`')) {
            s.text += line;
            return;
        }
        QByteArray out;
        bool any = false;
        const Lookup lookup = [this](const QByteArray &name, char) {
            const auto found = m_defines.constFind(name);
            return found != m_defines.cend() ? found.value() : fromEnvironment(name);
        };
        QString error;
        if (!substituted(line, lookup, &out, &any, &error)) {
            m_error = QStringLiteral("%1:%2: %3").arg(s.file).arg(s.line + s.text.mid(s.pos).count('\n')).arg(error);
            return;
        }
        if (any) {
            m_config->substitutions.push_back(Place{s.file, s.line + int(s.text.mid(s.pos).count('\n'))});
        }
        m_total += out.size() - line.size();
        if (m_total > MaxText) {
            m_error = i18n("the configuration grows beyond %1 MiB", MaxText / 1024 / 1024);
            return;
        }
        s.text += out;
    }

    bool quoted(char quote, QByteArray *inside, QString *error)
    {
        Source &s = m_sources.back();
        const int line = s.line;
        ++s.pos;
        for (;;) {
            const int c = at(0);
            if (c < 0) {
                *error = m_error.isEmpty() ? i18n("a quoted text that begins on line %1 is not closed", line) : m_error;
                return false;
            }
            ++s.pos;
            if (c == quote) {
                return true;
            }
            if (c == '\n') {
                ++s.line;
            }
            if (c != '\\' || quote == '\'') {
                *inside += char(c);
                continue;
            }
            const int e = at(0);
            if (e < 0) {
                continue;
            }
            ++s.pos;
            switch (e) {
            case 'a':
                *inside += '\a';
                break;
            case 'n':
                *inside += '\n';
                break;
            case 'r':
                *inside += '\r';
                break;
            case 't':
                *inside += '\t';
                break;
            case 'v':
                *inside += '\v';
                break;
            case '\n':
                ++s.line; // a line continued
                break;
            case 'x':
            case 'o': {
                const int base = e == 'x' ? 16 : 8;
                const int most = e == 'x' ? 2 : 3;
                int value = 0;
                int digits = 0;
                for (; digits < most && at(0) >= 0; ++digits) {
                    const int digit = QByteArray(1, char(at(0))).toInt(nullptr, base);
                    const bool isDigit = base == 16 ? isxdigit(at(0)) : (at(0) >= '0' && at(0) <= '7');
                    if (!isDigit) {
                        break;
                    }
                    value = value * base + digit;
                    ++s.pos;
                }
                *inside += digits == 0 ? char(e) : char(value);
                break;
            }
            default:
                *inside += char(e);
            }
        }
    }

    const QHash<QByteArray, QByteArray> &m_defines;
    Config *m_config; // Not owned.
    std::vector<Source> m_sources;
    qint64 m_total = 0;
    bool m_directiveLine = false;
    bool m_raw = false;
    QString m_error;
    QString m_lastFile;
    int m_lastLine = 1;
};

// A block's argument as its body receives it: as written, and in a string a
// string's text, escaped for a double-quoted one.
struct Argument {
    QByteArray written;
    bool isString = false;
    QByteArray text;

    explicit Argument(const std::vector<Value> &values = {})
    {
        for (const Value &value : values) {
            written += (written.isEmpty() ? QByteArray() : QByteArray(" ")) + SyslogNgReader::written(value);
        }
        isString = values.size() == 1 && values.front().kind == Value::String;
        text = isString ? values.front().text : written;
        if (isString && text.isEmpty()) {
            written.clear(); // as syslog-ng has it: "" gives nothing
        }
    }

    QByteArray in(char quote) const
    {
        if (!isString || !quote) {
            return written;
        }
        if (text.isEmpty()) {
            return text;
        }
        return quote == '"' ? written.mid(1, written.size() - 2) : text;
    }
};

struct BlockDefinition {
    QByteArray context;
    QByteArray name;
    std::vector<std::pair<QByteArray, Argument>> parameters; // names with "_" for "-", defaults
    bool varargs = false;
    QByteArray body;
    Place bodyPlace;
};

// A block argument's name: syslog-ng takes "-" and "_" alike.
QByteArray argumentName(QByteArray name)
{
    return name.replace('-', '_');
}

const QHash<QByteArray, Statement::Kind> &statementKinds()
{
    static const QHash<QByteArray, Statement::Kind> kinds{
        {"source", Statement::Source},
        {"destination", Statement::Destination},
        {"filter", Statement::Filter},
        {"parser", Statement::Parser},
        {"rewrite", Statement::Rewrite},
        {"template", Statement::Template},
        {"log", Statement::Log},
        {"options", Statement::Options},
    };
    return kinds;
}

class Parser
{
public:
    Parser(const Options &options, Config *config)
        : m_options(options)
        , m_config(config)
        , m_lexer(m_defines, config)
    {
    }

    bool file(const QString &path, const QByteArray &text)
    {
        Source source;
        source.file = path;
        source.raw = text;
        source.substitute = m_options.substituteLines;
        QString error;
        if (!m_lexer.push(std::move(source), &error)) {
            return fail(m_lexer.place(), error);
        }
        for (;;) {
            m_statement.clear();
            const Token &token = peek();
            if (m_failed) {
                return false;
            }
            if (token.kind == Token::End) {
                return true;
            }
            if (!statement()) {
                return false;
            }
        }
    }

private:
    const Token &peek()
    {
        if (!m_peeked) {
            QString error;
            if (!m_lexer.next(&m_next, &error)) {
                fail(m_lexer.place(), error);
                m_next = Token{Token::End, QByteArray(), m_lexer.place()};
            }
            m_peeked = true;
        }
        return m_next;
    }

    Token take()
    {
        peek();
        m_peeked = false;
        return m_next;
    }

    bool fail(const Place &place, const QString &reason)
    {
        if (m_failed) {
            return false;
        }
        m_failed = true;
        // An error of the lexer names its place already.
        if (reason.startsWith(place.file + QLatin1Char(':'))) {
            m_config->error = reason;
        } else if (m_statement.isEmpty()) {
            m_config->error = QStringLiteral("%1:%2: %3").arg(place.file).arg(place.line).arg(reason);
        } else {
            m_config->error = QStringLiteral("%1:%2: %3: %4").arg(place.file).arg(place.line).arg(QString::fromUtf8(m_statement), reason);
        }
        return false;
    }

    bool unexpected(const Token &token)
    {
        if (token.kind == Token::End) {
            return fail(token.place, i18n("the file ends inside a statement"));
        }
        if (token.kind == Token::LineEnd) {
            return fail(token.place, i18n("the directive ends too early"));
        }
        if (token.kind == Token::Directive) {
            return fail(token.place, i18n("the directive @%1 inside a statement", QString::fromUtf8(token.text)));
        }
        return fail(token.place, i18n("\"%1\" is not expected here", QString::fromUtf8(token.text)));
    }

    bool deeper(int depth, const Place &place)
    {
        return depth <= m_options.maxDepth || fail(place, i18n("parentheses and braces are nested more than %1 deep", m_options.maxDepth));
    }

    bool statement()
    {
        const Token first = peek();
        if (first.kind == Token::Directive) {
            take();
            return directive(first);
        }
        if (first.kind == Token::Semicolon) {
            take();
            return true;
        }
        if (first.kind == Token::Word && (first.text == "block" || first.text == "python")) {
            take();
            m_statement = first.text;
            if (first.text == "block") {
                return blockDefinition(first);
            }
            if (peek().kind == Token::BlockOpen) {
                take();
                Statement python;
                python.kind = Statement::Python;
                python.keyword = first.text;
                python.place = first.place;
                QString error;
                if (!m_lexer.rawBody(&python.value, &error)) {
                    return fail(first.place, error);
                }
                m_config->statements.push_back(std::move(python));
                return true;
            }
        }
        Entry entry;
        bool closed = false;
        if (first.kind == Token::Word && first.text == "python") {
            Value word;
            word.text = first.text;
            word.place = first.place;
            entry.values.push_back(word);
        }
        if (!this->entry("root", 0, &entry, &closed) || (closed && !unexpected(take()))) {
            return false;
        }
        if (entry.values.empty()) {
            return true;
        }
        Statement statement;
        statement.place = entry.place;
        Value &keyword = entry.values.front();
        if (keyword.kind == Value::Word) {
            statement.keyword = keyword.text;
            statement.kind = statementKinds().value(keyword.text, Statement::Other);
            entry.values.erase(entry.values.begin());
        }
        if (statement.kind != Statement::Other && statement.kind != Statement::Log && statement.kind != Statement::Options && !entry.values.empty()
            && (entry.values.front().kind == Value::Word || entry.values.front().kind == Value::String)) {
            statement.name = entry.values.front().text;
        }
        statement.values = std::move(entry.values);
        m_config->statements.push_back(std::move(statement));
        return true;
    }

    // The values of a directive's line.
    bool directiveValues(std::vector<Value> *values)
    {
        for (;;) {
            const Token token = take();
            if (token.kind == Token::LineEnd) {
                return true;
            }
            Value value;
            value.place = token.place;
            value.text = token.text;
            if (token.kind == Token::String) {
                value.kind = Value::String;
            } else if (token.kind == Token::Word && peek().kind == Token::Open) {
                take();
                value.kind = Value::Call;
                if (!arguments(&value, 1)) {
                    return false;
                }
            } else if (token.kind != Token::Word) {
                return unexpected(token);
            }
            values->push_back(std::move(value));
        }
    }

    bool directive(const Token &token)
    {
        Statement statement;
        statement.keyword = '@' + token.text;
        statement.place = token.place;
        m_statement = statement.keyword;
        if (!directiveValues(&statement.values)) {
            return false;
        }
        static const QHash<QByteArray, Statement::Kind> kinds{
            {"version", Statement::Version},
            {"include", Statement::Include},
            {"define", Statement::Define},
            {"module", Statement::Module},
            {"requires", Statement::Requires},
        };
        const auto kind = kinds.constFind(token.text);
        if (kind == kinds.cend()) {
            return fail(token.place, i18n("there is no directive @%1", QString::fromUtf8(token.text)));
        }
        statement.kind = kind.value();
        const size_t least = statement.kind == Statement::Define ? 2 : 1;
        if (statement.values.size() < least || statement.values.front().kind == Value::Call) {
            return fail(token.place, i18n("the directive lacks its argument"));
        }
        statement.name = statement.values.front().text;
        if (statement.kind == Statement::Define) {
            statement.value = statement.values.at(1).text;
            m_defines.insert(statement.name, statement.value);
        }
        const bool include = statement.kind == Statement::Include;
        const QByteArray written = statement.name;
        m_config->statements.push_back(std::move(statement));
        return !include || !m_options.includeFiles || includeFiles(written, token.place);
    }

    bool includeFiles(const QByteArray &written, const Place &place)
    {
        std::vector<IncludedFile> files;
        QString error;
        if (!m_options.includeFiles(written, &files, &error)) {
            return fail(place, error);
        }
        // The first file on top: it is read first.
        const int depth = m_lexer.includeDepth() + 1;
        for (auto it = files.rbegin(); it != files.rend(); ++it) {
            Source source;
            source.file = it->path;
            source.raw = it->text;
            source.substitute = m_options.substituteLines;
            source.includeDepth = depth;
            if (!m_lexer.push(std::move(source), &error)) {
                return fail(place, error);
            }
        }
        return true;
    }

    // "block <context> <name>(<parameters>) { <body> };"
    bool blockDefinition(const Token &keyword)
    {
        Statement statement;
        statement.kind = Statement::BlockDefinition;
        statement.keyword = keyword.text;
        statement.place = keyword.place;
        const Token context = take();
        const Token name = take();
        if (context.kind != Token::Word) {
            return unexpected(context);
        }
        if (name.kind != Token::Word) {
            return unexpected(name);
        }
        m_statement = "block " + context.text + ' ' + name.text;
        BlockDefinition definition;
        definition.context = context.text;
        definition.name = name.text;
        Value parameters;
        parameters.kind = Value::Call;
        parameters.text = name.text;
        parameters.place = name.place;
        const Token open = take();
        if (open.kind != Token::Open) {
            return unexpected(open);
        }
        if (!arguments(&parameters, 1)) {
            return false;
        }
        for (const Value &parameter : parameters.arguments) {
            if (parameter.isWord("...")) {
                definition.varargs = true;
            } else if (parameter.kind == Value::Call && !parameter.text.isEmpty()) {
                definition.parameters.emplace_back(argumentName(parameter.text), Argument(parameter.arguments));
            } else {
                return fail(parameter.place, i18n("a block's parameter is written name(default)"));
            }
        }
        const Token body = take();
        if (body.kind != Token::BlockOpen) {
            return unexpected(body);
        }
        definition.bodyPlace = m_lexer.place();
        QString error;
        if (!m_lexer.rawBody(&definition.body, &error)) {
            return fail(body.place, error);
        }
        statement.name = definition.name;
        statement.value = definition.body;
        Value contextWord;
        contextWord.text = context.text;
        contextWord.place = context.place;
        statement.values = {contextWord, parameters};
        m_blocks.insert(definition.context + ' ' + definition.name, definition);
        m_config->statements.push_back(std::move(statement));
        return true;
    }

    // The context a braced body after these values has: the kind of object
    // it defines, else the one around it (log paths' junctions and conditions).
    static QByteArray contextOf(const std::vector<Value> &values, const QByteArray &around)
    {
        if (!values.empty() && values.size() <= 2 && values.front().kind == Value::Word && statementKinds().contains(values.front().text)) {
            return values.front().text;
        }
        return around;
    }

    // Values up to a ";", which is taken, or a "}" closing the body around,
    // which is left (closed is set). At the top level the end of the file
    // ends an empty entry.
    bool entry(const QByteArray &context, int depth, Entry *out, bool *closed)
    {
        out->place = peek().place;
        for (;;) {
            const Token token = peek();
            if (m_failed) {
                return false;
            }
            if (out->values.size() <= 2 && depth == 0) {
                describeStatement(out->values);
            }
            switch (token.kind) {
            case Token::Semicolon:
                take();
                return true;
            case Token::BlockClose:
                *closed = true;
                return true;
            case Token::End:
                return (depth == 0 && out->values.empty()) || unexpected(token);
            case Token::BlockOpen: {
                take();
                Value block;
                block.kind = Value::Block;
                block.place = token.place;
                if (!body(contextOf(out->values, context), depth + 1, &block)) {
                    return false;
                }
                out->values.push_back(std::move(block));
                break;
            }
            case Token::Open: {
                take();
                Value group;
                group.kind = Value::Call;
                group.place = token.place;
                if (!arguments(&group, depth + 1)) {
                    return false;
                }
                out->values.push_back(std::move(group));
                break;
            }
            case Token::String:
                take();
                out->values.push_back(Value{Value::String, token.text, {}, {}, token.place});
                break;
            case Token::Word: {
                take();
                if (peek().kind != Token::Open) {
                    out->values.push_back(Value{Value::Word, token.text, {}, {}, token.place});
                    break;
                }
                take();
                Value call{Value::Call, token.text, {}, {}, token.place};
                if (!arguments(&call, depth + 1)) {
                    return false;
                }
                const auto block = m_blocks.constFind(context + ' ' + token.text);
                if (block != m_blocks.cend()) {
                    if (!expand(call, block.value())) {
                        return false;
                    }
                    break;
                }
                out->values.push_back(std::move(call));
                break;
            }
            default:
                take();
                return unexpected(token);
            }
        }
    }

    void describeStatement(const std::vector<Value> &values)
    {
        if (!values.empty() && values.front().kind == Value::Word) {
            m_statement = values.front().text;
            if (values.size() > 1 && values.at(1).kind != Value::Block && values.at(1).kind != Value::Call) {
                m_statement += ' ' + values.at(1).text;
            }
        }
    }

    // Entries after a "{" up to the "}" that closes it, which is taken.
    bool body(const QByteArray &context, int depth, Value *block)
    {
        if (!deeper(depth, block->place)) {
            return false;
        }
        for (;;) {
            if (peek().kind == Token::BlockClose) {
                take();
                return true;
            }
            Entry entry;
            bool closed = false;
            if (!this->entry(context, depth, &entry, &closed)) {
                return false;
            }
            if (!entry.values.empty()) {
                block->entries.push_back(std::move(entry));
            }
        }
    }

    // Values after a "(" up to the ")" that closes it, which is taken.
    bool arguments(Value *call, int depth)
    {
        if (!deeper(depth, call->place)) {
            return false;
        }
        for (;;) {
            const Token token = take();
            if (m_failed) {
                return false;
            }
            switch (token.kind) {
            case Token::Close:
                return true;
            case Token::String:
                call->arguments.push_back(Value{Value::String, token.text, {}, {}, token.place});
                break;
            case Token::Open:
            case Token::Word: {
                Value value{token.kind == Token::Word ? Value::Word : Value::Call, token.kind == Token::Word ? token.text : QByteArray(), {}, {}, token.place};
                if (token.kind == Token::Word && peek().kind == Token::Open) {
                    take();
                    value.kind = Value::Call;
                }
                if (value.kind == Value::Call && !arguments(&value, depth + 1)) {
                    return false;
                }
                call->arguments.push_back(std::move(value));
                break;
            }
            default:
                return unexpected(token);
            }
        }
    }

    // The block's body, its arguments substituted, read in place of the call.
    bool expand(const Value &call, const BlockDefinition &definition)
    {
        QHash<QByteArray, Argument> arguments;
        for (const auto &parameter : definition.parameters) {
            arguments.insert(parameter.first, parameter.second);
        }
        QByteArray varargs;
        for (const Value &argument : call.arguments) {
            const QByteArray name = argumentName(argument.text);
            if (argument.kind != Value::Call || name.isEmpty()) {
                return fail(argument.place, i18n("the block %1 takes its arguments as name(value)", QString::fromUtf8(definition.name)));
            }
            if (arguments.contains(name) && name != "__VARARGS__") {
                arguments.insert(name, Argument(argument.arguments));
            } else if (definition.varargs) {
                Value named = argument;
                named.text = name;
                varargs += (varargs.isEmpty() ? QByteArray() : QByteArray(" ")) + written(named);
            } else {
                return fail(argument.place, i18n("the block %1 has no argument %2", QString::fromUtf8(definition.name), QString::fromUtf8(argument.text)));
            }
        }
        const Lookup lookup = [this, &arguments, &varargs](const QByteArray &name, char quote) {
            if (name == "__VARARGS__") {
                return varargs;
            }
            const auto argument = arguments.constFind(argumentName(name));
            if (argument != arguments.cend()) {
                return argument.value().in(quote);
            }
            const auto defined = m_defines.constFind(name);
            return defined != m_defines.cend() ? defined.value() : Lexer::fromEnvironment(name);
        };
        Source source;
        source.file = definition.bodyPlace.file;
        source.line = definition.bodyPlace.line;
        source.substitute = false;
        source.includeDepth = m_lexer.includeDepth();
        bool any = false;
        QString error;
        if (!substituted(definition.body, lookup, &source.raw, &any, &error) || !m_lexer.push(std::move(source), &error)) {
            return fail(call.place, error);
        }
        m_config->blockUses.push_back(call.place);
        return true;
    }

    const Options &m_options;
    Config *m_config; // Not owned.
    QHash<QByteArray, QByteArray> m_defines;
    QHash<QByteArray, BlockDefinition> m_blocks; // by "<context> <name>"
    Lexer m_lexer;
    Token m_next;
    bool m_peeked = false;
    bool m_failed = false;
    QByteArray m_statement; // the statement being read, for messages
};

bool hasGlob(const QString &path)
{
    return path.contains(QLatin1Char('*')) || path.contains(QLatin1Char('?')) || path.contains(QLatin1Char('['));
}

bool readIncluded(const QString &systemPath, std::vector<IncludedFile> *files, QString *error)
{
    const FileRead::Result read = FileRead::regular(Paths::placed(systemPath), FileRead::ConfigLimit);
    if (!read.ok) {
        *error = FileRead::describe(systemPath, read);
        return false;
    }
    files->push_back({systemPath, read.data});
    return true;
}
} // namespace

const std::vector<Entry> *Statement::body() const
{
    for (const Value &value : values) {
        if (value.kind == Value::Block) {
            return &value.entries;
        }
    }
    return nullptr;
}

bool systemIncludePaths(const QByteArray &written, QStringList *paths, QString *error)
{
    const QString path = QString::fromUtf8(written);
    QStringList candidates{path};
    if (!path.startsWith(QLatin1Char('/'))) {
        candidates = QStringList{QString(Paths::SyslogNgDir) + QLatin1Char('/') + path, QString(Paths::SyslogNgIncludeDir) + QLatin1Char('/') + path};
    }
    for (const QString &candidate : candidates) {
        if (hasGlob(candidate)) {
            // The system root is no pattern.
            QString root = Paths::systemRoot();
            for (const char special : {'\\', '*', '?', '['}) {
                root.replace(QLatin1Char(special), QLatin1Char('\\') + QLatin1Char(special));
            }
            glob_t found;
            const int result = ::glob(QFile::encodeName(root + candidate).constData(), 0, nullptr, &found);
            QStringList matches;
            for (size_t i = 0; result == 0 && i < found.gl_pathc; ++i) {
                matches << Paths::unplaced(QFile::decodeName(found.gl_pathv[i]));
            }
            globfree(&found);
            for (const QString &match : std::as_const(matches)) {
                if (!QFileInfo(Paths::placed(match)).isDir()) {
                    paths->append(match);
                }
            }
            if (!matches.isEmpty()) {
                return true;
            }
            continue;
        }
        const QFileInfo info(Paths::placed(candidate));
        if (info.isDir()) {
            // Whatever stands there but folders and links to nothing: syslog-ng
            // opens a FIFO or a device in the folder as well.
            const QStringList names = FolderEntries::names(info.filePath(), {}, QDir::Files | QDir::System);
            for (const QString &name : names) {
                static const QString allowed = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.");
                const bool plain = std::all_of(name.cbegin(), name.cend(), [](QChar c) {
                    return allowed.contains(c);
                });
                const QFileInfo entry(info.filePath() + QLatin1Char('/') + name);
                if (plain && entry.exists() && !entry.isDir()) {
                    paths->append(candidate + QLatin1Char('/') + name);
                }
            }
            return true;
        }
        if (info.exists()) {
            paths->append(candidate);
            return true;
        }
    }
    if (std::any_of(candidates.cbegin(), candidates.cend(), hasGlob)) {
        return true; // a pattern that matches nothing includes nothing
    }
    *error = i18n("the file to include, %1, is not there", path);
    return false;
}

bool systemIncludeFiles(const QByteArray &written, std::vector<IncludedFile> *files, QString *error)
{
    QStringList paths;
    if (!systemIncludePaths(written, &paths, error)) {
        return false;
    }
    for (const QString &path : std::as_const(paths)) {
        if (!readIncluded(path, files, error)) {
            return false;
        }
    }
    return true;
}

Config read(const QString &path, const QByteArray &text, const Options &options)
{
    Config config;
    Parser parser(options, &config);
    config.ok = parser.file(path, text);
    return config;
}

QByteArray written(const Value &value)
{
    switch (value.kind) {
    case Value::Word:
        return QByteArray(value.text).replace('`', "``");
    case Value::String: {
        QByteArray text("\"");
        for (const char c : value.text) {
            if (c == '"' || c == '\\') {
                text += '\\';
                text += c;
            } else if (c == '`') {
                text += "``";
            } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                text += "\\x" + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
            } else {
                text += c;
            }
        }
        return text + '"';
    }
    case Value::Call: {
        QByteArray text = value.text + '(';
        for (size_t i = 0; i < value.arguments.size(); ++i) {
            text += (i ? " " : "") + written(value.arguments.at(i));
        }
        return text + ')';
    }
    case Value::Block: {
        QByteArray text("{");
        for (const Entry &entry : value.entries) {
            for (const Value &part : entry.values) {
                text += ' ' + written(part);
            }
            text += ';';
        }
        return text + " }";
    }
    }
    return QByteArray();
}

QByteArray normalised(const Config &config)
{
    QByteArray text;
    for (const Statement &statement : config.statements) {
        switch (statement.kind) {
        case Statement::Version:
        case Statement::Include:
        case Statement::Define:
        case Statement::Module:
        case Statement::Requires:
        case Statement::BlockDefinition:
            continue;
        case Statement::Python:
            text += "python { " + statement.value.simplified() + " }\n";
            continue;
        default:
            text += statement.keyword;
            for (const Value &value : statement.values) {
                text += ' ' + written(value);
            }
            text += ";\n";
        }
    }
    return text;
}

bool walk(const std::vector<Value> &values, const std::function<bool(const Value &)> &visit)
{
    for (const Value &value : values) {
        if (!visit(value) || !walk(value.arguments, visit)) {
            return false;
        }
        for (const Entry &entry : value.entries) {
            if (!walk(entry.values, visit)) {
                return false;
            }
        }
    }
    return true;
}
} // namespace SyslogNgReader
