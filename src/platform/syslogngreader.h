#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// syslog-ng's configuration language, read as syslog-ng 3.38 reads it: "#"
// comments, double-quoted strings with their escapes and single-quoted ones
// without, commas as blanks, backtick substitution line by line from
// "@define", block arguments and the environment, "@include" of files,
// folders and globs, block definitions and their use, raw python {} code. The
// result is a list of typed statements whose values are the words, unescaped
// strings, calls ("name(values)") and braced bodies syslog-ng's grammar sees.
namespace SyslogNgReader
{
struct Entry;

// Where something was read: the file as the messages name it, and the line (from 1).
struct Place {
    QString file;
    int line = 0;
};

struct Value {
    enum Kind { Word, String, Call, Block };
    Kind kind = Word;
    QByteArray text; // a word as written, a string's text unescaped, a call's name (empty for a parenthesised group)
    std::vector<Value> arguments; // a call's values
    std::vector<Entry> entries; // a braced body's entries
    Place place;

    bool isWord(const char *word) const
    {
        return kind == Word && text == word;
    }
};

// What a body holds between two ";": "file(...)", "source(s)", "log {...}",
// "if (...) {...} else {...}".
struct Entry {
    std::vector<Value> values;
    Place place;
};

struct Statement {
    enum Kind {
        Version, // @version: name = the version
        Include, // @include: name = the path as written
        Define, // @define: name, value
        Module, // @module: name, values = its arguments
        Requires, // @requires: name
        Source,
        Destination,
        Filter,
        Parser,
        Rewrite,
        Template,
        Log,
        Options,
        Python, // python {}: value = the code
        BlockDefinition, // block: name, values = context and parameters, value = the body as written
        Other, // any other statement: values as read
    };
    Kind kind = Other;
    QByteArray keyword; // "@include", "source", "log", "block", ... the first word of another statement
    QByteArray name; // an object's name (unescaped), a directive's argument, a block's name
    QByteArray value;
    std::vector<Value> values; // every value after the keyword: the name, a body, ...
    Place place;

    // The braced body of a source, destination, filter, parser, rewrite,
    // template, log or options statement; null when it has none.
    const std::vector<Entry> *body() const;
};

// A file an @include brought: under the path the messages give it.
struct IncludedFile {
    QString path;
    QByteArray text;
};

// The files an @include names (its path as written; relative paths against
// the include path) in the order syslog-ng reads them; false with a reason
// when it cannot be had.
using IncludeFiles = std::function<bool(const QByteArray &written, std::vector<IncludedFile> *files, QString *error)>;

// The files of the system (under the system root), found as syslog-ng does:
// relative paths in /etc/syslog-ng, then /usr/share/syslog-ng/include; a glob
// in name order; a folder's files whose names hold only letters, digits, "_",
// "-" and "." and do not begin with ".".
// A FIFO, a device or a socket in such a folder is included too, as syslog-ng
// opens it, and refused when it is read.
bool systemIncludeFiles(const QByteArray &written, std::vector<IncludedFile> *files, QString *error);
// The system paths of the files it reads, in that order, without reading them.
bool systemIncludePaths(const QByteArray &written, QStringList *paths, QString *error);

struct Options {
    // Null: an @include is kept as a statement and nothing is read.
    IncludeFiles includeFiles;
    // Nested parentheses and braces deeper than this are refused.
    int maxDepth = 100;
    // False for text whose lines syslog-ng substituted already (what
    // "--preprocess-into" writes): a block's body is still substituted where it is used.
    bool substituteLines = true;
};

struct Config {
    bool ok = false;
    QString error; // "<file>:<line>: <statement>: <reason>"
    std::vector<Statement> statements; // included files' statements after their @include
    std::vector<Place> substitutions; // each line where a backtick was substituted
    std::vector<Place> blockUses; // each use of a block that was expanded
};

Config read(const QString &path, const QByteArray &text, const Options &options = Options());

// The value as syslog-ng would read it back: strings quoted and escaped.
QByteArray written(const Value &value);
// One line per statement, with single blanks, without directives and block
// definitions: two texts that syslog-ng reads alike give the same lines, and
// the lines (python code apart) read as the same statements.
QByteArray normalised(const Config &config);

// Every value of the entries and of their calls' arguments, depth first; the
// walk stops when visit returns false.
bool walk(const std::vector<Value> &values, const std::function<bool(const Value &)> &visit);
}
