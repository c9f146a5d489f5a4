#include "commonsettingsparser.h"

#include "model/treeitem.h"

#include <KLocalizedString>

#include <QRegularExpression>

#include <memory>

namespace
{
QRegularExpression pattern(const QString &text)
{
    return QRegularExpression(text, QRegularExpression::DotMatchesEverythingOption);
}

// Joins the lines of the file into statements by brace depth; depth ends as the
// depth after the last line. Text still pending after the last line is dropped.
QStringList joinStatements(const QStringList &lines, int &depth)
{
    QStringList statements;
    QString pending;
    for (const QString &line : lines) {
        depth += line.count(QLatin1Char('{'));
        depth -= line.count(QLatin1Char('}'));
        if (depth != 0 || pending.isEmpty()) {
            pending += line + QLatin1Char('\n');
        } else {
            pending += line;
            statements.append(pending);
            pending.clear();
        }
    }
    return statements;
}

// Joins the body lines of one block into option texts. The depths carry over
// from block to block.
QStringList joinOptions(const QStringList &bodyLines, int &parens, int &braces)
{
    QStringList options;
    QString option;
    const auto emitOption = [&options, &option]() {
        options.append(option);
        option.clear();
    };
    for (QString line : bodyLines) {
        if (line.contains(QLatin1Char('('))) {
            parens += line.count(QLatin1Char('('));
        } else if (line.contains(QLatin1Char('{'))) {
            braces += line.count(QLatin1Char('{'));
        }
        if (line.contains(QLatin1Char(')'))) {
            parens -= line.count(QLatin1Char(')'));
        } else if (line.contains(QLatin1Char('}'))) {
            braces -= line.count(QLatin1Char('}'));
        }
        if (braces != 0) {
            option += line.trimmed() + QLatin1Char('\n');
            continue;
        }
        if (!option.isEmpty() && option.contains(QLatin1String("};"))) {
            line = line.trimmed();
            option += line;
            emitOption();
        }
        if (parens != 0) {
            option += line.trimmed() + QLatin1Char('\n');
            continue;
        }
        if (!option.isEmpty() && option.contains(QLatin1String(");"))) {
            line = line.trimmed();
            option += line;
            emitOption();
        }
        if (!line.isEmpty() && line.at(0) != QLatin1Char('(') && !line.contains(QLatin1String("and")) && !line.contains(QLatin1String("or"))
            && line.contains(QLatin1String(");"))) {
            option += line.trimmed();
            emitOption();
            continue;
        }
        if (!option.isEmpty() && !option.contains(QLatin1String("and")) && !line.contains(QLatin1String("or")) && !line.contains(QLatin1String(");"))
            && line.contains(QLatin1String("))"))) {
            option += line.trimmed();
            emitOption();
            continue;
        }
        option += line.trimmed() + QLatin1Char('\n');
    }
    return options;
}
} // namespace

CommonSettingsParser::CommonSettingsParser(const QString &fileName, QObject *parent)
    : AbstractConfigParser(fileName, parent)
    , m_blockPattern(QStringLiteral(R"re((([a-z]+)\s+(\S*)\s*\{(.*)\};))re"))
    , m_directivePattern(QStringLiteral(R"re((.+)\s+(\S*)\s*"(.*)")re"))
    , m_parenthesisedPattern(QStringLiteral(R"re(\((.*)\))re"))
    , m_bracedPattern(QStringLiteral(R"re(\{(.*)\})re"))
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

    int depth = 0;
    const QStringList statements = joinStatements(text.split(QLatin1Char('\n')), depth);

    const QRegularExpression directive = pattern(m_directivePattern);
    for (const QString &statement : statements) {
        const QRegularExpressionMatch match = directive.match(statement);
        if (match.hasMatch() && match.captured(1).contains(QLatin1Char('@'))) {
            root->appendChild(std::make_unique<TreeItem>(QVector<QVariant>{match.captured(1), match.captured(3), QVariant()}));
        }
    }

    const QRegularExpression block = pattern(m_blockPattern);
    int parens = depth;
    int braces = 0;
    for (const QString &statement : statements) {
        const QRegularExpressionMatch match = block.match(statement);
        if (!match.hasMatch()) {
            continue;
        }
        auto blockItem = std::make_unique<TreeItem>(QVector<QVariant>{match.captured(2), match.captured(3), QVariant()});
        // Name and value stay from one option to the next within a block.
        QString name;
        QString value;
        const QStringList options = joinOptions(match.captured(4).split(QLatin1Char('\n')), parens, braces);
        for (const QString &option : options) {
            const QRegularExpressionMatch parenthesised = pattern(m_parenthesisedPattern).match(option);
            const QRegularExpressionMatch braced = pattern(m_bracedPattern).match(option);
            if (!parenthesised.hasMatch() && !braced.hasMatch()) {
                continue;
            }
            const bool hasBrace = option.contains(QLatin1Char('{'));
            if (option.contains(QLatin1Char(')')) && ((!hasBrace && !parenthesised.hasMatch()) || (hasBrace && !braced.hasMatch()))) {
                continue;
            }
            if (option.contains(QLatin1Char('('))) {
                if (hasBrace) {
                    name = option.left(option.indexOf(QLatin1Char('{')));
                } else {
                    name = option.left(option.indexOf(QLatin1Char('('))).remove(QLatin1Char(' ')).remove(QLatin1Char('\n'));
                }
            }
            if (option.contains(QLatin1Char(')'))) {
                value = hasBrace ? braced.captured(1) : parenthesised.captured(1);
            }
            blockItem->appendChild(std::make_unique<TreeItem>(QVector<QVariant>{name, QVariant(), value}));
        }
        root->appendChild(std::move(blockItem));
    }
    return root.release();
}
