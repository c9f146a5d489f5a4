#include "parseonce.h"

#include "syslogngtree.h"

#include <QStringList>

#include <algorithm>

namespace ParseOnce
{
namespace
{
const SyslogNgSource::Statement *find(const SyslogNgRoot &root, const QString &kind, const QString &name)
{
    const QVector<SyslogNgSource::Statement> &statements = root.statements();
    const auto it = std::find_if(statements.cbegin(), statements.cend(), [&](const SyslogNgSource::Statement &statement) {
        return !statement.directive && statement.kind == kind && statement.name.toString() == name;
    });
    return it == statements.cend() ? nullptr : &*it;
}

QString body(const QString &text, const SyslogNgSource::Statement &statement)
{
    return text.mid(statement.bodyBegin, statement.bodyEnd - statement.bodyBegin);
}

// The body's lines without the blank ones around them and without trailing
// blanks, their common indentation replaced by indent: the administrator's
// options, comments and line breaks stay as they were written.
QString reindented(const QString &body, int indent)
{
    QStringList lines = body.split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.first().trimmed().isEmpty()) {
        lines.removeFirst();
    }
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty()) {
        lines.removeLast();
    }
    int common = -1;
    for (const QString &line : std::as_const(lines)) {
        if (!line.trimmed().isEmpty()) {
            const int leading = int(std::find_if(line.cbegin(),
                                                 line.cend(),
                                                 [](QChar c) {
                                                     return !c.isSpace();
                                                 })
                                    - line.cbegin());
            common = common < 0 ? leading : std::min(common, leading);
        }
    }
    const QString prefix(indent, QLatin1Char(' '));
    QString result;
    for (const QString &line : std::as_const(lines)) {
        const int end = int(std::find_if(line.crbegin(),
                                         line.crend(),
                                         [](QChar c) {
                                             return !c.isSpace();
                                         })
                                .base()
                            - line.cbegin());
        result += end == 0 ? QString() : prefix + line.mid(std::max(common, 0), end - std::max(common, 0));
        result += QLatin1Char('\n');
    }
    return result;
}

bool isChannel(const QString &body)
{
    const QString trimmed = body.trimmed();
    return trimmed.startsWith(QLatin1String("channel")) && (trimmed.size() == 7 || !trimmed.at(7).isLetterOrNumber());
}
} // namespace

QByteArray fasterForm(const SyslogNgRoot &root)
{
    const SyslogNgSource::Statement *source = find(root, QStringLiteral("source"), QStringLiteral("velta_events_src"));
    const SyslogNgSource::Statement *parser = find(root, QStringLiteral("parser"), QStringLiteral("velta_events_parser"));
    const QString &text = root.text();
    if (!source || !parser || isChannel(body(text, *source)) || isChannel(body(text, *parser)) || body(text, *parser).trimmed().isEmpty()) {
        return QByteArray();
    }
    const QString tag = QLatin1String(JsonTag);
    const QString sourceBody = QLatin1String("\n    channel {\n        source {\n") + reindented(body(text, *source), 12)
        + QLatin1String("        };\n        junction {\n            channel {\n                parser {\n") + reindented(body(text, *parser), 20)
        + QLatin1String("                };\n                rewrite {\n                    set-tag(\"") + tag
        + QLatin1String("\");\n                };\n                flags(final);\n            };\n            channel {\n                flags(final);\n"
                        "            };\n        };\n    };\n");
    const QString parserBody = QLatin1String("\n    channel {\n        filter {\n            tags(\"") + tag + QLatin1String("\");\n        };\n    };\n");

    // From the end, so that the earlier places stay where they are.
    struct Replacement {
        int begin;
        int end;
        QString text;
    };
    std::vector<Replacement> replacements{{source->bodyBegin, source->bodyEnd, sourceBody}, {parser->bodyBegin, parser->bodyEnd, parserBody}};
    std::sort(replacements.begin(), replacements.end(), [](const Replacement &a, const Replacement &b) {
        return a.begin > b.begin;
    });
    QString result = text;
    for (const Replacement &replacement : replacements) {
        result.replace(replacement.begin, replacement.end - replacement.begin, replacement.text);
    }
    return result.toUtf8();
}
}
