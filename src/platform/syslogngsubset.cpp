#include "syslogngsubset.h"

#include <KLocalizedString>

#include <QSet>
#include <QStringList>

#include <functional>
#include <vector>

namespace SyslogNgSubset
{
namespace
{
struct Token {
    enum Kind { End, Word, String, Directive, Open, Close, BlockOpen, BlockClose, Semicolon };
    Kind kind = End;
    QByteArray text; // a word, a string's inside, a directive's whole line
    int line = 1;
};

// The drivers each statement kind accepts, as this system writes them.
const QSet<QByteArray> &driversOf(const QByteArray &kind)
{
    static const QSet<QByteArray> sources{"unix-dgram", "file", "network"};
    static const QSet<QByteArray> destinations{"unix-dgram", "file", "network", "python"};
    static const QSet<QByteArray> parsers{"json-parser"};
    static const QSet<QByteArray> rewrites{"set", "subst", "unset", "set-tag", "clear-tag", "groupset", "groupunset"};
    static const QSet<QByteArray> templates{"template", "template-escape"};
    static const QSet<QByteArray> none;
    if (kind == "source") {
        return sources;
    }
    if (kind == "destination") {
        return destinations;
    }
    if (kind == "parser") {
        return parsers;
    }
    if (kind == "rewrite") {
        return rewrites;
    }
    return kind == "template" ? templates : none;
}

// The functions of a filter expression; program() here matches a program's
// name and runs nothing.
const QSet<QByteArray>
    FilterFunctions{"match", "message", "program", "host", "facility", "level", "priority", "filter", "netmask", "netmask6", "tags", "in-list"};
const QSet<QByteArray> FilterOperators{"and", "or", "not"};
const QSet<QByteArray> Modules{"affile", "afsocket", "json-plugin", "mod-python", "python", "basicfuncs", "syslogformat"};
const QSet<QByteArray> LogReferences{"source", "filter", "parser", "rewrite", "destination"};
const QSet<QByteArray> PythonOptions{"class", "options", "persist-name"};

// The first reason to refuse the text, with its line.
struct Refusal {
    int line = 0;
    QString reason;

    bool refuse(int at, const QString &why)
    {
        line = at;
        reason = why;
        return false;
    }
};

class Lexer
{
public:
    Lexer(const QByteArray &text, Refusal *refusal)
        : m_text(text)
        , m_refusal(refusal)
    {
    }

    // The tokens of the whole text; false for what syslog-ng would substitute
    // or could not read.
    bool tokens(std::vector<Token> *tokens)
    {
        for (;;) {
            Token token;
            if (!next(&token)) {
                return false;
            }
            tokens->push_back(token);
            if (token.kind == Token::End) {
                return true;
            }
        }
    }

private:
    char at(int offset) const
    {
        return offset < m_text.size() ? m_text.at(offset) : '\0';
    }

    void skipBlanksAndComments()
    {
        while (m_pos < m_text.size()) {
            const char c = m_text.at(m_pos);
            if (c == '#') {
                while (m_pos < m_text.size() && m_text.at(m_pos) != '\n') {
                    ++m_pos;
                }
            } else if (c == '\n') {
                ++m_line;
                ++m_pos;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == ',') {
                ++m_pos; // syslog-ng reads a comma between values as a blank
            } else {
                return;
            }
        }
    }

    bool backtick()
    {
        return m_refusal->refuse(m_line, i18n("backtick substitution is not accepted"));
    }

    bool next(Token *token)
    {
        skipBlanksAndComments();
        token->line = m_line;
        if (m_pos >= m_text.size()) {
            return true;
        }
        const char c = m_text.at(m_pos);
        static const QByteArray syntax("(){};");
        const int syntaxIndex = syntax.indexOf(c);
        if (syntaxIndex >= 0) {
            static const Token::Kind kinds[] = {Token::Open, Token::Close, Token::BlockOpen, Token::BlockClose, Token::Semicolon};
            token->kind = kinds[syntaxIndex];
            token->text = QByteArray(1, c);
            ++m_pos;
            return true;
        }
        if (c == '"' || c == '\'') {
            token->kind = Token::String;
            return quoted(c, &token->text);
        }
        if (c == '`' && at(m_pos + 1) != '`') {
            return backtick();
        }
        if (c == '@') {
            // A directive runs to the end of its line.
            token->kind = Token::Directive;
            const int end = m_text.indexOf('\n', m_pos);
            token->text = m_text.mid(m_pos, end < 0 ? -1 : end - m_pos);
            m_pos = end < 0 ? m_text.size() : end;
            return !QByteArray(token->text).replace("``", "").contains('`') || backtick();
        }
        token->kind = Token::Word;
        const int begin = m_pos;
        static const QByteArray endsWord(" \t\r\n,(){};\"'#`");
        while (m_pos < m_text.size() && (!endsWord.contains(m_text.at(m_pos)) || (m_text.at(m_pos) == '`' && at(m_pos + 1) == '`'))) {
            m_pos += m_text.at(m_pos) == '`' ? 2 : 1;
        }
        token->text = m_text.mid(begin, m_pos - begin);
        return true;
    }

    // The inside of the quoted text starting at the current offset.
    bool quoted(char quote, QByteArray *inside)
    {
        const int line = m_line;
        for (++m_pos; m_pos < m_text.size(); ++m_pos) {
            char c = m_text.at(m_pos);
            if (c == quote) {
                ++m_pos;
                return true;
            }
            if (c == '\\' && quote == '"' && m_pos + 1 < m_text.size()) {
                *inside += c;
                c = m_text.at(++m_pos);
            } else if (c == '`' && at(m_pos + 1) != '`') {
                return backtick();
            } else if (c == '`') {
                *inside += c; // a doubled backtick stands for one
                ++m_pos;
            }
            if (c == '\n') {
                ++m_line;
            }
            *inside += c;
        }
        return m_refusal->refuse(line, i18n("a quoted text is not closed"));
    }

    const QByteArray &m_text;
    Refusal *m_refusal; // Not owned.
    int m_pos = 0;
    int m_line = 1;
};

class Reader
{
public:
    Reader(std::vector<Token> tokens, Refusal *refusal)
        : m_tokens(std::move(tokens))
        , m_refusal(refusal)
    {
    }

    bool file()
    {
        while (peek().kind != Token::End) {
            const Token token = take();
            bool ok = false;
            if (token.kind == Token::Directive) {
                ok = directive(token);
            } else if (token.kind == Token::Word && (token.text == "log" || token.text == "options")) {
                ok = expect(Token::BlockOpen) && (token.text == "log" ? logBody() : optionsBody()) && expect(Token::BlockClose) && expect(Token::Semicolon);
            } else if (token.kind == Token::Word && (token.text == "filter" || !driversOf(token.text).isEmpty())) {
                const Token name = take();
                ok = (name.kind == Token::Word || name.kind == Token::String || unexpected(name)) && expect(Token::BlockOpen) && objectBody(token.text)
                    && expect(Token::BlockClose) && expect(Token::Semicolon);
            } else if (token.kind == Token::Word) {
                ok = refuse(token, i18n("the statement \"%1\" is not one this system writes", QString::fromUtf8(token.text)));
            } else {
                ok = unexpected(token);
            }
            if (!ok) {
                return false;
            }
        }
        return true;
    }

private:
    const Token &peek() const
    {
        return m_tokens.at(m_next);
    }

    Token take()
    {
        const Token &token = m_tokens.at(m_next);
        if (token.kind != Token::End) {
            ++m_next;
        }
        return token;
    }

    bool refuse(const Token &token, const QString &reason)
    {
        return m_refusal->refuse(token.line, reason);
    }

    bool unexpected(const Token &token)
    {
        if (token.kind == Token::End) {
            return refuse(token, i18n("the file ends inside a statement"));
        }
        return refuse(token, i18n("\"%1\" is not expected here", QString::fromUtf8(token.text)));
    }

    bool expect(Token::Kind kind, Token *taken = nullptr)
    {
        const Token token = take();
        if (taken) {
            *taken = token;
        }
        return token.kind == kind || unexpected(token);
    }

    bool directive(const Token &token)
    {
        const QList<QByteArray> words = token.text.simplified().split(' ');
        const QByteArray &name = words.first();
        const QByteArray argument = words.value(1);
        if (name == "@version:" || (name == "@version" && argument.startsWith(':'))) {
            return true;
        }
        if (name == "@module" || name == "@requires") {
            return (words.size() == 2 && Modules.contains(argument))
                || refuse(token, i18n("%1 %2 is not accepted", QString::fromUtf8(name), QString::fromUtf8(argument)));
        }
        if (name != "@include") {
            return refuse(token, i18n("the directive %1 is not accepted", QString::fromUtf8(name)));
        }
        QByteArray path = argument;
        if (path.size() >= 2 && (path.startsWith('"') || path.startsWith('\'')) && path.endsWith(path.at(0))) {
            path = path.mid(1, path.size() - 2);
        }
        const bool dotDot = path == ".." || path.startsWith("../") || path.contains("/../") || path.endsWith("/..");
        const bool inside = !path.startsWith('/') || path.startsWith("/etc/syslog-ng/");
        return (words.size() == 2 && !path.isEmpty() && !dotDot && inside)
            || refuse(token, i18n("@include of %1, outside /etc/syslog-ng, is not accepted", QString::fromUtf8(argument)));
    }

    // The body of a source, destination, filter, parser, rewrite or template.
    bool objectBody(const QByteArray &kind)
    {
        if (kind == "filter") {
            return filterExpression();
        }
        return entries(Token::BlockClose, [this, &kind](const Token &driver) {
            if (!driversOf(kind).contains(driver.text)) {
                return refuse(driver, i18n("the driver \"%1\" is not accepted in a %2 statement", QString::fromUtf8(driver.text), QString::fromUtf8(kind)));
            }
            return expect(Token::Open) && (driver.text == "python" ? pythonArguments() : arguments()) && expect(Token::Close) && expect(Token::Semicolon);
        });
    }

    // Entries up to the token end, which is left. Each begins with a word;
    // entry reads the rest of it.
    bool entries(Token::Kind end, const std::function<bool(const Token &word)> &entry)
    {
        while (peek().kind != end) {
            Token word;
            if (!expect(Token::Word, &word) || !entry(word)) {
                return false;
            }
        }
        return true;
    }

    // Values and options up to the closing parenthesis, which is left.
    bool arguments()
    {
        for (;;) {
            const Token token = peek();
            if (token.kind == Token::Close) {
                return true;
            }
            take();
            bool ok = true;
            if (token.kind == Token::String) {
                // The python template function calls into python code.
                ok = !token.text.contains("$(python") || refuse(token, i18n("the python template function is not accepted"));
            } else if (token.kind == Token::Word && peek().kind == Token::Open) {
                take(); // an option with its values
                ok = arguments() && expect(Token::Close);
            } else if (token.kind != Token::Word) {
                ok = unexpected(token);
            }
            if (!ok) {
                return false;
            }
        }
    }

    bool pythonArguments()
    {
        return entries(Token::Close, [this](const Token &option) {
            if (!PythonOptions.contains(option.text)) {
                return refuse(option, i18n("the python destination's option \"%1\" is not accepted", QString::fromUtf8(option.text)));
            }
            if (!expect(Token::Open)) {
                return false;
            }
            if (option.text == "class") {
                const Token name = take();
                if (name.kind != Token::String || name.text != QByteArray(NotificationClass.data(), NotificationClass.size())) {
                    return refuse(name, i18n("the python destination may name only the class %1", NotificationClass));
                }
            } else if (!arguments()) {
                return false;
            }
            return expect(Token::Close);
        });
    }

    // A filter expression up to the closing brace, which is left.
    bool filterExpression()
    {
        int depth = 0;
        for (;;) {
            const Token token = take();
            bool ok = true;
            switch (token.kind) {
            case Token::Word:
                if (!FilterOperators.contains(token.text)) {
                    ok = FilterFunctions.contains(token.text)
                        ? expect(Token::Open) && arguments() && expect(Token::Close)
                        : refuse(token, i18n("the filter function \"%1\" is not accepted", QString::fromUtf8(token.text)));
                }
                break;
            case Token::Open:
                ++depth;
                break;
            case Token::Close:
                ok = --depth >= 0 || unexpected(token);
                break;
            case Token::Semicolon:
                ok = depth == 0 || unexpected(token);
                if (ok && peek().kind == Token::BlockClose) {
                    return true;
                }
                break;
            default:
                ok = unexpected(token);
            }
            if (!ok) {
                return false;
            }
        }
    }

    bool logBody()
    {
        return entries(Token::BlockClose, [this](const Token &entry) {
            bool ok = false;
            if (entry.text == "log") {
                ok = expect(Token::BlockOpen) && logBody() && expect(Token::BlockClose);
            } else if (entry.text == "flags") {
                ok = expect(Token::Open) && arguments() && expect(Token::Close);
            } else if (LogReferences.contains(entry.text) && peek().kind == Token::BlockOpen) {
                // An object defined in place.
                ok = expect(Token::BlockOpen) && objectBody(entry.text) && expect(Token::BlockClose);
            } else if (LogReferences.contains(entry.text)) {
                ok = expect(Token::Open) && expect(Token::Word) && expect(Token::Close);
            } else {
                ok = refuse(entry, i18n("\"%1\" is not accepted in a log statement", QString::fromUtf8(entry.text)));
            }
            return ok && expect(Token::Semicolon);
        });
    }

    bool optionsBody()
    {
        return entries(Token::BlockClose, [this](const Token &) {
            return expect(Token::Open) && arguments() && expect(Token::Close) && expect(Token::Semicolon);
        });
    }

    std::vector<Token> m_tokens; // ends with an End token
    Refusal *m_refusal; // Not owned.
    size_t m_next = 0;
};
} // namespace

QString refusal(const QString &path, const QByteArray &text)
{
    Refusal refusal;
    std::vector<Token> tokens;
    if (Lexer(text, &refusal).tokens(&tokens) && Reader(std::move(tokens), &refusal).file()) {
        return QString();
    }
    return QStringLiteral("%1:%2: %3").arg(path).arg(refusal.line).arg(refusal.reason);
}
} // namespace SyslogNgSubset
