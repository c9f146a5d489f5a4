#include "syslogngsubset.h"

#include "paths.h"
#include "syslogngreader.h"

#include <KLocalizedString>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <functional>

namespace SyslogNgSubset
{
namespace
{
using SyslogNgReader::Entry;
using SyslogNgReader::Place;
using SyslogNgReader::Statement;
using SyslogNgReader::Value;

// The files an archive's syslog-ng file may include: the library of
// syslog-ng's own blocks, which Debian's main configuration includes too.
const QSet<QByteArray> Includes{"scl.conf"};
const QSet<QByteArray> Modules{"affile", "afsocket", "json-plugin", "mod-python", "python", "basicfuncs", "syslogformat"};
// Template functions that only format what a message holds.
const QSet<QByteArray> TemplateFunctions{"format-json", "echo", "strip", "substr", "sanitize", "lowercase", "uppercase", "length"};
// Global options of how messages are read and written, none of files' owners or modes.
const QSet<QByteArray> GlobalOptions{"chain-hostnames",
                                     "flush-lines",
                                     "use-dns",
                                     "use-fqdn",
                                     "dns-cache",
                                     "stats-freq",
                                     "log-msg-size",
                                     "keep-hostname",
                                     "keep-timestamp",
                                     "time-reopen",
                                     "log-fifo-size",
                                     "mark-freq",
                                     "ts-format",
                                     "frac-digits"};
const QSet<QByteArray> FilterOperators{"and", "or", "not"};
const QSet<QByteArray> LogReferences{"source", "filter", "parser", "rewrite", "destination"};
const QSet<QByteArray> LogFlags{"final", "fallback", "catchall", "flow-control"};
// The python destination's options as the notification file writes them.
const QSet<QByteArray> NotificationOptions{"destination_type",
                                           "message_type",
                                           "event_user",
                                           "event_group",
                                           "event_id",
                                           "event_title",
                                           "event_icon",
                                           "event_params",
                                           "event_format"};

// A driver's, option's or function's name as syslog-ng takes it: "_" and "-" alike.
QByteArray nameOf(const Value &value)
{
    return QByteArray(value.text).replace('_', '-');
}

// Why an option's values are refused; empty when they are accepted.
using OptionRule = std::function<QString(const std::vector<Value> &values)>;

QString exactlyOne(const std::vector<Value> &values, Value::Kind kind)
{
    if (values.size() != 1 || values.front().kind != kind) {
        return kind == Value::String ? i18n("it takes one quoted text") : i18n("it takes one word");
    }
    return QString();
}

OptionRule oneOf(const QSet<QByteArray> &words)
{
    return [words](const std::vector<Value> &values) {
        const QString one = exactlyOne(values, Value::Word);
        if (!one.isEmpty() || words.contains(nameOf(values.front()))) {
            return one;
        }
        return i18n("\"%1\" is not accepted", QString::fromUtf8(values.front().text));
    };
}

// Each value a word of the set (flags).
OptionRule allOf(const QSet<QByteArray> &words)
{
    return [words](const std::vector<Value> &values) {
        for (const Value &value : values) {
            if (value.kind != Value::Word || !words.contains(nameOf(value))) {
                return i18n("\"%1\" is not accepted", QString::fromUtf8(value.text));
            }
        }
        return QString();
    };
}

OptionRule number(qint64 least, qint64 most)
{
    return [least, most](const std::vector<Value> &values) {
        bool isNumber = false;
        const qint64 n = values.size() == 1 && values.front().kind == Value::Word ? values.front().text.toLongLong(&isNumber, 10) : 0;
        return isNumber && n >= least && n <= most ? QString() : i18n("it takes a number from %1 to %2", least, most);
    };
}

// A file's or folder's mode: no special bits, and no one else may write.
QString permission(const std::vector<Value> &values)
{
    bool octal = false;
    const int mode = values.size() == 1 && values.front().kind == Value::Word ? values.front().text.toInt(&octal, 8) : 0;
    return octal && mode >= 0 && mode <= 0775 && !(mode & 02) ? QString() : i18n("it takes a mode that others cannot write");
}

QString oneString(const std::vector<Value> &values)
{
    return exactlyOne(values, Value::String);
}

QString templateReference(const std::vector<Value> &values)
{
    return values.size() == 1 && values.front().kind != Value::Call && values.front().kind != Value::Block ? QString()
                                                                                                           : i18n("it takes a template or its name");
}

const OptionRule YesNo = oneOf({"yes", "no"});

// Positional values, then options.
struct DriverRule {
    std::function<QString(const std::vector<Value> &positional)> positional;
    QHash<QByteArray, OptionRule> options;
};

QString noPositional(const std::vector<Value> &positional)
{
    return positional.empty() ? QString() : i18n("it takes only options");
}

QString eventsSocket(const std::vector<Value> &positional)
{
    return positional.size() == 1 && positional.front().kind == Value::String && positional.front().text == QByteArray(Paths::EventsSocket.data())
        ? QString()
        : i18n("the only source accepted is the events socket %1", Paths::EventsSocket);
}

// A log file the module could have written: a plain absolute path under
// /var/log or the main log's folder, no macros and no "..".
QString logFile(const std::vector<Value> &positional)
{
    const QString path = positional.size() == 1 && positional.front().kind == Value::String ? QString::fromUtf8(positional.front().text) : QString();
    const QString mainFolder = QFileInfo(Paths::MainEventLog).path() + QLatin1Char('/');
    const bool under = (path.startsWith(QLatin1String("/var/log/")) && path.size() > 9) || (path.startsWith(mainFolder) && path.size() > mainFolder.size());
    if (under && QDir::cleanPath(path) == path && !path.contains(QLatin1Char('$'))) {
        return QString();
    }
    return i18n("a file destination must name a file under /var/log or %1 plainly", QFileInfo(Paths::MainEventLog).path());
}

QString host(const std::vector<Value> &positional)
{
    static const QByteArray allowed("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-:");
    const bool one = positional.size() == 1 && positional.front().kind == Value::String && !positional.front().text.isEmpty();
    const bool plain = one && std::all_of(positional.front().text.cbegin(), positional.front().text.cend(), [](char c) {
                           return allowed.contains(c);
                       });
    return plain ? QString() : i18n("a network destination takes one host name or address");
}

QString notificationClass(const std::vector<Value> &values)
{
    return values.size() == 1 && values.front().kind == Value::String && values.front().text == QByteArray(NotificationClassName)
        ? QString()
        : i18n("the python destination may name only the class %1", NotificationClass);
}

// "key", "value" pairs of the notification's known keys.
QString notificationOptions(const std::vector<Value> &values)
{
    if (values.size() % 2 != 0) {
        return i18n("it takes pairs of quoted texts");
    }
    for (size_t i = 0; i < values.size(); i += 2) {
        if (values.at(i).kind != Value::String || values.at(i + 1).kind != Value::String) {
            return i18n("it takes pairs of quoted texts");
        }
        if (!NotificationOptions.contains(values.at(i).text)) {
            return i18n("the key \"%1\" is not one of the notification's", QString::fromUtf8(values.at(i).text));
        }
    }
    return QString();
}

QString oneStringOrWord(const std::vector<Value> &values)
{
    return values.size() == 1 && (values.front().kind == Value::String || values.front().kind == Value::Word) ? QString() : i18n("it takes one name");
}

QString twoStrings(const std::vector<Value> &positional)
{
    return positional.size() == 2 && positional.front().kind == Value::String && positional.back().kind == Value::String ? QString()
                                                                                                                         : i18n("it takes two quoted texts");
}

// The drivers of each statement kind, with what the module writes of each.
const QHash<QByteArray, DriverRule> &driversOf(const QByteArray &kind)
{
    static const QHash<QByteArray, DriverRule> sources{
        {"unix-dgram",
         {eventsSocket,
          {{"flags", allOf({"no-parse", "no-multi-line"})},
           {"create-dirs", YesNo},
           {"dir-perm", permission},
           {"perm", permission},
           {"log-msg-size", number(1, 1 << 30)},
           {"so-rcvbuf", number(1, 1 << 30)}}}},
    };
    static const QHash<QByteArray, DriverRule> destinations{
        {"file",
         {logFile, {{"template", templateReference}, {"template-escape", YesNo}, {"create-dirs", YesNo}, {"perm", permission}, {"dir-perm", permission}}}},
        {"network",
         {host,
          {{"port", number(1, 65535)},
           {"transport", oneOf({"tcp", "udp", "tls"})},
           {"ip-protocol", oneOf({"4", "6"})},
           {"flags", allOf({"syslog-protocol", "no-multi-line"})},
           {"template", templateReference}}}},
        {"python", {noPositional, {{"class", notificationClass}, {"options", notificationOptions}, {"persist-name", oneString}}}},
    };
    static const QHash<QByteArray, DriverRule> parsers{
        {"json-parser", {noPositional, {{"prefix", oneString}}}},
    };
    static const QHash<QByteArray, OptionRule> rewriteOptions{{"value", oneString}};
    static const QHash<QByteArray, DriverRule> rewrites{
        {"set", {oneString, rewriteOptions}},
        {"unset", {noPositional, rewriteOptions}},
        {"subst", {twoStrings, {{"value", oneString}, {"type", oneOf({"pcre", "string", "glob"})}, {"flags", allOf({"global", "ignore-case", "utf8"})}}}},
        {"set-tag", {oneStringOrWord, {}}},
        {"clear-tag", {oneStringOrWord, {}}},
    };
    static const QHash<QByteArray, DriverRule> templates{
        {"template", {oneString, {}}},
        {"template-escape", {YesNo, {}}},
    };
    static const QHash<QByteArray, DriverRule> none;
    static const QHash<QByteArray, const QHash<QByteArray, DriverRule> *> kinds{
        {"source", &sources},
        {"destination", &destinations},
        {"parser", &parsers},
        {"rewrite", &rewrites},
        {"template", &templates},
    };
    return *kinds.value(kind, &none);
}

// The functions of a filter expression, each only looking at the message.
const QHash<QByteArray, OptionRule> &filterOptions()
{
    static const QHash<QByteArray, OptionRule> options{
        {"value", oneString},
        {"type", oneOf({"pcre", "string", "glob"})},
        {"flags", allOf({"ignore-case", "utf8", "global"})},
    };
    return options;
}
const QSet<QByteArray> FilterFunctions{"match", "message", "program", "host", "facility", "level", "priority", "filter", "netmask", "netmask6", "tags"};

class Check
{
public:
    explicit Check(const QString &path)
        : m_path(path)
    {
    }

    bool statement(const Statement &statement)
    {
        m_statement = statement.keyword;
        if (!statement.name.isEmpty() && !statement.keyword.startsWith('@')) {
            m_statement += ' ' + statement.name;
        }
        if (!templateFunctions(statement.values)) {
            return false;
        }
        switch (statement.kind) {
        case Statement::Version:
            return true;
        case Statement::Include:
            return (statement.values.size() == 1 && Includes.contains(statement.name))
                || refuse(statement.place,
                          i18n("@include of %1 is not accepted; only %2", QString::fromUtf8(statement.name), QString::fromUtf8(Includes.values().join(", "))));
        case Statement::Module:
        case Statement::Requires:
            return (Modules.contains(statement.name) && (statement.values.size() == 1 || statement.kind == Statement::Requires))
                || refuse(statement.place, i18n("%1 %2 is not accepted", QString::fromUtf8(statement.keyword), QString::fromUtf8(statement.name)));
        case Statement::Define:
            return refuse(statement.place, i18n("@define is not accepted"));
        case Statement::BlockDefinition:
            return refuse(statement.place, i18n("block definitions are not accepted"));
        case Statement::Python:
            return refuse(statement.place, i18n("python code is not accepted"));
        case Statement::Other:
            return refuse(statement.place, i18n("the statement \"%1\" is not one this system writes", QString::fromUtf8(statement.keyword)));
        case Statement::Log:
            return statement.values.size() == 1 && statement.body() ? logBody(*statement.body())
                                                                    : refuse(statement.place, i18n("a log statement is \"log { ... };\""));
        case Statement::Options:
            return statement.values.size() == 1 && statement.body() ? globalOptions(*statement.body())
                                                                    : refuse(statement.place, i18n("an options statement is \"options { ... };\""));
        default:
            break;
        }
        // "template name \"...\";" is a template too.
        const bool shortTemplate = statement.kind == Statement::Template && statement.values.size() == 2 && statement.values.back().kind == Value::String;
        const bool named = statement.values.size() == 2 && (statement.values.front().kind == Value::Word || statement.values.front().kind == Value::String);
        if (shortTemplate && named) {
            return true;
        }
        if (!named || !statement.body()) {
            return refuse(statement.place, i18n("a %1 statement is \"%1 <name> { ... };\"", QString::fromUtf8(statement.keyword)));
        }
        return objectBody(statement.keyword, *statement.body(), statement.place);
    }

    bool refuse(const Place &place, const QString &reason)
    {
        m_refusal = m_statement.isEmpty() ? QStringLiteral("%1:%2: %3").arg(m_path).arg(place.line).arg(reason)
                                          : QStringLiteral("%1:%2: %3: %4").arg(m_path).arg(place.line).arg(QString::fromUtf8(m_statement), reason);
        return false;
    }

    QString refusal() const
    {
        return m_refusal;
    }

private:
    // Every string of the statement, as syslog-ng unescaped it: a template
    // function call in any of them (a file name and a rewrite's value are
    // templates too) only of the short list.
    bool templateFunctions(const std::vector<Value> &values)
    {
        return SyslogNgReader::walk(values, [this](const Value &value) {
            if (value.kind != Value::String) {
                return true;
            }
            for (int at = value.text.indexOf("$("); at >= 0; at = value.text.indexOf("$(", at + 2)) {
                int begin = at + 2;
                while (begin < value.text.size() && (value.text.at(begin) == ' ' || value.text.at(begin) == '\t')) {
                    ++begin;
                }
                int end = begin;
                while (end < value.text.size()
                       && (isalnum(static_cast<unsigned char>(value.text.at(end))) || value.text.at(end) == '-' || value.text.at(end) == '_')) {
                    ++end;
                }
                const QByteArray name = value.text.mid(begin, end - begin);
                if (!TemplateFunctions.contains(name)) {
                    return refuse(value.place, i18n("the template function \"%1\" is not accepted", QString::fromUtf8(name)));
                }
            }
            return true;
        });
    }

    // A driver: positional values first, then options by their rules.
    bool driver(const Value &call, const DriverRule &rule)
    {
        std::vector<Value> positional;
        bool options = false;
        for (const Value &argument : call.arguments) {
            options = options || argument.kind == Value::Call;
            if (argument.kind != Value::Call && options) {
                return refuse(argument.place,
                              i18n("\"%1\" is not expected among the options of %2()", QString::fromUtf8(argument.text), QString::fromUtf8(call.text)));
            }
            if (argument.kind != Value::Call) {
                positional.push_back(argument);
            }
        }
        if (const QString why = rule.positional(positional); !why.isEmpty()) {
            return refuse(call.place, QStringLiteral("%1(): %2").arg(QString::fromUtf8(call.text), why));
        }
        for (const Value &option : call.arguments) {
            if (option.kind != Value::Call) {
                continue;
            }
            const auto found = rule.options.constFind(nameOf(option));
            if (found == rule.options.cend()) {
                return refuse(option.place, i18n("the option %1() of %2() is not accepted", QString::fromUtf8(option.text), QString::fromUtf8(call.text)));
            }
            if (const QString why = found.value()(option.arguments); !why.isEmpty()) {
                return refuse(option.place, QStringLiteral("%1(): %2").arg(QString::fromUtf8(option.text), why));
            }
        }
        return true;
    }

    // The body of a source, destination, filter, parser, rewrite or template.
    bool objectBody(const QByteArray &kind, const std::vector<Entry> &entries, const Place &place)
    {
        if (kind == "filter") {
            for (const Entry &entry : entries) {
                if (!filterExpression(entry.values)) {
                    return false;
                }
            }
            return !entries.empty() || refuse(place, i18n("an empty filter"));
        }
        const QHash<QByteArray, DriverRule> &drivers = driversOf(kind);
        for (const Entry &entry : entries) {
            const Value &first = entry.values.front();
            // The events source parses its records itself, and the events
            // parser looks at the tag it gives them: "channel { ... }", read
            // as a log path is.
            if ((kind == "source" || kind == "parser") && entry.values.size() == 2 && first.isWord("channel") && entry.values.back().kind == Value::Block) {
                if (!logBody(entry.values.back().entries, true)) {
                    return false;
                }
                continue;
            }
            if (entry.values.size() != 1 || first.kind != Value::Call) {
                return refuse(entry.place, i18n("a %1 holds drivers, each \"name(...);\"", QString::fromUtf8(kind)));
            }
            const auto rule = drivers.constFind(nameOf(first));
            if (rule == drivers.cend()) {
                return refuse(first.place, i18n("the driver \"%1\" is not accepted in a %2 statement", QString::fromUtf8(first.text), QString::fromUtf8(kind)));
            }
            if (!driver(first, rule.value())) {
                return false;
            }
        }
        return true;
    }

    bool filterExpression(const std::vector<Value> &values)
    {
        for (const Value &value : values) {
            if (value.kind == Value::Word && FilterOperators.contains(value.text)) {
                continue;
            }
            if (value.kind == Value::Call && value.text.isEmpty()) {
                if (!filterExpression(value.arguments)) {
                    return false;
                }
                continue;
            }
            if (value.kind != Value::Call || !FilterFunctions.contains(nameOf(value))) {
                return refuse(value.place, i18n("the filter function \"%1\" is not accepted", QString::fromUtf8(value.text)));
            }
            const QHash<QByteArray, OptionRule> &options = filterOptions();
            for (const Value &argument : value.arguments) {
                if (argument.kind == Value::Block || (argument.kind == Value::Call && !options.contains(nameOf(argument)))) {
                    return refuse(argument.place,
                                  i18n("the option %1() of %2() is not accepted", QString::fromUtf8(argument.text), QString::fromUtf8(value.text)));
                }
                if (argument.kind == Value::Call) {
                    if (const QString why = options.value(nameOf(argument))(argument.arguments); !why.isEmpty()) {
                        return refuse(argument.place, QStringLiteral("%1(): %2").arg(QString::fromUtf8(argument.text), why));
                    }
                }
            }
        }
        return true;
    }

    // inChannel: the body of a source's or parser's channel, which may fork
    // into a junction of channels; a log statement may not.
    bool logBody(const std::vector<Entry> &entries, bool inChannel = false)
    {
        for (const Entry &entry : entries) {
            const std::vector<Value> &values = entry.values;
            const Value &first = values.front();
            if (values.size() == 1 && first.kind == Value::Call && LogReferences.contains(nameOf(first))) {
                if (const QString why = oneStringOrWord(first.arguments); !why.isEmpty()) {
                    return refuse(first.place, QStringLiteral("%1(): %2").arg(QString::fromUtf8(first.text), why));
                }
                continue;
            }
            if (values.size() == 1 && first.kind == Value::Call && nameOf(first) == "flags") {
                if (const QString why = allOf(LogFlags)(first.arguments); !why.isEmpty()) {
                    return refuse(first.place, QStringLiteral("flags(): %1").arg(why));
                }
                continue;
            }
            if (values.size() == 2 && first.kind == Value::Word && values.back().kind == Value::Block) {
                // Nested paths: "log", and in a channel a "junction" of "channel"s.
                if (first.text == "log" || (inChannel && (first.text == "channel" || first.text == "junction"))) {
                    if (!logBody(values.back().entries, inChannel)) {
                        return false;
                    }
                    continue;
                }
                if (LogReferences.contains(first.text)) {
                    // An object defined in place.
                    if (!objectBody(first.text, values.back().entries, first.place)) {
                        return false;
                    }
                    continue;
                }
            }
            return refuse(first.place, i18n("\"%1\" is not accepted in a log statement", QString::fromUtf8(first.text)));
        }
        return true;
    }

    bool globalOptions(const std::vector<Entry> &entries)
    {
        for (const Entry &entry : entries) {
            const Value &first = entry.values.front();
            if (entry.values.size() != 1 || first.kind != Value::Call || !GlobalOptions.contains(nameOf(first))) {
                return refuse(first.place, i18n("the global option \"%1\" is not accepted", QString::fromUtf8(first.text)));
            }
            if (const QString why = oneStringOrWord(first.arguments); !why.isEmpty()) {
                return refuse(first.place, QStringLiteral("%1(): %2").arg(QString::fromUtf8(first.text), why));
            }
        }
        return true;
    }

    QString m_path;
    QByteArray m_statement;
    QString m_refusal;
};
} // namespace

QString refusal(const QString &path, const QByteArray &text)
{
    // Includes are not read: what they may name is checked as written.
    const SyslogNgReader::Config config = SyslogNgReader::read(path, text);
    if (!config.ok) {
        return config.error;
    }
    Check check(path);
    if (!config.substitutions.empty()) {
        check.refuse(config.substitutions.front(), i18n("backtick substitution is not accepted"));
        return check.refusal();
    }
    for (const Statement &statement : config.statements) {
        if (!check.statement(statement)) {
            return check.refusal();
        }
    }
    return QString();
}
} // namespace SyslogNgSubset
