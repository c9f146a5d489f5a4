#include "commonsettingsparser.h"

#include "commonwriter.h"
#include "model/treeitem.h"

#include <KLocalizedString>

#include <QRegularExpression>

#include <memory>
#include <utility>

namespace
{
QRegularExpression pattern(const QString &text)
{
    return QRegularExpression(text, QRegularExpression::DotMatchesEverythingOption);
}

struct Statements {
    QStringList texts;
    int depth = 0; // the brace depth after the last line
    int strayCloseLine = 0; // the first line whose "}" closes nothing; 0 when none
    int unreadFromLine = 0; // the first line of text still pending at the end; 0 when none
};

// Joins the lines of the file into statements by brace depth. Text still
// pending after the last line is dropped.
Statements joinStatements(const QStringList &lines)
{
    Statements result;
    QString pending;
    int pendingFrom = 0; // the first line of pending that is not blank; 0 while there is none
    for (int index = 0; index < lines.size(); ++index) {
        const QString &line = lines.at(index);
        result.depth += line.count(QLatin1Char('{'));
        result.depth -= line.count(QLatin1Char('}'));
        if (result.depth < 0 && result.strayCloseLine == 0) {
            result.strayCloseLine = index + 1;
        }
        if (pendingFrom == 0 && !line.trimmed().isEmpty()) {
            pendingFrom = index + 1;
        }
        if (result.depth != 0 || pending.isEmpty()) {
            pending += line;
            pending += QLatin1Char('\n');
        } else {
            pending += line;
            result.texts.append(pending);
            pending.clear();
            pendingFrom = 0;
        }
    }
    result.unreadFromLine = pendingFrom;
    return result;
}

// An option being joined from body lines, with what the joining asks of its
// text kept up to date as lines are added: asking the growing text again for
// every line would take time quadratic in a long option.
class OptionText
{
public:
    bool isEmpty() const
    {
        return m_text.isEmpty();
    }
    bool hasBraceEnd() const
    {
        return m_braceEnd;
    }
    bool hasParenthesisEnd() const
    {
        return m_parenthesisEnd;
    }
    bool hasAnd() const
    {
        return m_and;
    }
    void append(const QString &piece)
    {
        // Pieces that stay end with a line break, so no searched text spans two.
        m_text += piece;
        m_braceEnd = m_braceEnd || piece.contains(QLatin1String("};"));
        m_parenthesisEnd = m_parenthesisEnd || piece.contains(QLatin1String(");"));
        m_and = m_and || piece.contains(QLatin1String("and"));
    }
    QString take()
    {
        m_braceEnd = m_parenthesisEnd = m_and = false;
        return std::exchange(m_text, QString());
    }

private:
    QString m_text;
    bool m_braceEnd = false;
    bool m_parenthesisEnd = false;
    bool m_and = false;
};

// Joins the body lines of one block into option texts. The depths carry over
// from block to block; a depth that falls below zero is counted in unbalanced.
QStringList joinOptions(const QStringList &bodyLines, int &parens, int &braces, int &unbalanced)
{
    QStringList options;
    OptionText option;
    for (QString line : bodyLines) {
        const bool inNestedBlock = braces != 0;
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
        if (parens < 0 || braces < 0) {
            ++unbalanced;
        }
        if (braces != 0) {
            option.append(line.trimmed() + QLatin1Char('\n'));
            continue;
        }
        // A finished option is taken before the next line is read, and only the
        // line that closes a nested block belongs to it: a line is never part
        // of two options.
        if (!option.isEmpty() && (option.hasBraceEnd() || option.hasParenthesisEnd())) {
            line = line.trimmed();
            if (inNestedBlock) {
                option.append(line);
                options.append(option.take());
                continue;
            }
            options.append(option.take());
        }
        if (parens != 0) {
            option.append(line.trimmed() + QLatin1Char('\n'));
            continue;
        }
        if (!line.isEmpty() && line.at(0) != QLatin1Char('(') && !line.contains(QLatin1String("and")) && !line.contains(QLatin1String("or"))
            && line.contains(QLatin1String(");"))) {
            option.append(line.trimmed());
            options.append(option.take());
            continue;
        }
        if (!option.isEmpty() && !option.hasAnd() && !line.contains(QLatin1String("or")) && !line.contains(QLatin1String(");"))
            && line.contains(QLatin1String("))"))) {
            option.append(line.trimmed());
            options.append(option.take());
            continue;
        }
        option.append(line.trimmed() + QLatin1Char('\n'));
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

    const Statements statements = joinStatements(text.split(QLatin1Char('\n')));
    if (statements.strayCloseLine > 0) {
        markDamaged(QStringLiteral("the \"}\" on line %1 closes no \"{\"").arg(statements.strayCloseLine));
    } else if (statements.depth != 0 || statements.unreadFromLine > 0) {
        markDamaged(i18n("the text from line %1 to the end is not read: a statement is not closed or no line follows it", statements.unreadFromLine));
    }

    const QRegularExpression directive = pattern(m_directivePattern);
    for (const QString &statement : statements.texts) {
        // Only a statement that begins with "@" is a directive; an "@" on a line
        // inside a block is part of that block.
        if (!statement.trimmed().startsWith(QLatin1Char('@'))) {
            continue;
        }
        const QRegularExpressionMatch match = directive.match(statement);
        if (match.hasMatch()) {
            root->appendChild(std::make_unique<TreeItem>(QVector<QVariant>{match.captured(1), match.captured(3), QVariant()}));
        }
    }

    const QRegularExpression block = pattern(m_blockPattern);
    const QRegularExpression parenthesisedPattern = pattern(m_parenthesisedPattern);
    const QRegularExpression bracedPattern = pattern(m_bracedPattern);
    int parens = statements.depth;
    int braces = 0;
    int unbalanced = 0;
    for (const QString &statement : statements.texts) {
        const QRegularExpressionMatch match = block.match(statement);
        if (!match.hasMatch()) {
            continue;
        }
        auto blockItem = std::make_unique<TreeItem>(QVector<QVariant>{match.captured(2), match.captured(3), QVariant()});
        // Name and value stay from one option to the next within a block.
        QString name;
        QString value;
        const QStringList options = joinOptions(match.captured(4).split(QLatin1Char('\n')), parens, braces, unbalanced);
        for (const QString &option : options) {
            const QRegularExpressionMatch parenthesised = parenthesisedPattern.match(option);
            const QRegularExpressionMatch braced = bracedPattern.match(option);
            if (!parenthesised.hasMatch() && !braced.hasMatch()) {
                continue;
            }
            const bool hasBrace = option.contains(QLatin1Char('{'));
            if (option.contains(QLatin1Char(')')) && ((!hasBrace && !parenthesised.hasMatch()) || (hasBrace && !braced.hasMatch()))) {
                continue;
            }
            if (option.contains(QLatin1Char('('))) {
                if (hasBrace) {
                    // Trimmed: the blank lines and indentation before it would grow with every write.
                    name = option.left(option.indexOf(QLatin1Char('{'))).trimmed();
                } else {
                    name = option.left(option.indexOf(QLatin1Char('('))).remove(QLatin1Char(' ')).remove(QLatin1Char('\n'));
                }
            }
            if (option.contains(QLatin1Char(')'))) {
                value = hasBrace ? braced.captured(1) : parenthesised.captured(1);
            }
            // The writer tells a braced body by the option's name: one it would
            // write in the other form would change the file, and so would a name
            // holding text of the statement's syntax.
            static const QRegularExpression syntaxInName(QStringLiteral(R"([{}();"\s])"));
            if ((hasBrace != CommonWriter::isBlockOption(name) || name.contains(syntaxInName)) && !damaged()) {
                const QString statementName = QString(match.captured(2) + QLatin1Char(' ') + match.captured(3)).trimmed();
                markDamaged(QStringLiteral("the option \"%1\" of \"%2\" is not understood").arg(name, statementName));
            }
            // An option ended early by a ");" inside it would lose the rest of
            // its text, which the block's own balance carries on to the next line.
            if (!hasBrace && option.count(QLatin1Char('(')) != option.count(QLatin1Char(')')) && !damaged()) {
                markDamaged(i18n("the parentheses or braces inside a block do not balance"));
            }
            blockItem->appendChild(std::make_unique<TreeItem>(QVector<QVariant>{name, QVariant(), value}));
        }
        // Each block balances on its own: evened out by a later block, the
        // writer would move text from one option to another.
        if (parens != 0 || braces != 0) {
            ++unbalanced;
        }
        root->appendChild(std::move(blockItem));
    }
    if (!damaged() && (unbalanced > 0 || parens != 0 || braces != 0)) {
        markDamaged(i18n("the parentheses or braces inside a block do not balance"));
    }
    return root.release();
}
