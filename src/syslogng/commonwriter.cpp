#include "commonwriter.h"

#include "model/treeitem.h"

#include <QRegularExpression>

namespace
{
// Options that the reader took from a braced body ("if {...}", "channel {...}").
// Only the option's own name is tested: a statement name such as "velta_x-if_filter"
// must not turn the options after it into braced ones.
bool isBlockOption(const QString &name)
{
    static const QRegularExpression ifPattern(QStringLiteral(R"(\bif\b|\bif\s*\{|\bif\s)"));
    static const QRegularExpression channelPattern(QStringLiteral(R"((^|[^a-zA-Z0-9_])channel(\s*\{\s*\})?(\s*\})?([^a-zA-Z0-9_]|$))"));
    return ifPattern.match(name).hasMatch() || channelPattern.match(name).hasMatch();
}
} // namespace

CommonWriter::CommonWriter(const QString &fileName)
    : AbstractWriter(fileName)
{
}

CommonWriter::~CommonWriter() = default;

QStringList CommonWriter::lines(const TreeItem *root) const
{
    QStringList result;
    for (int row = 0; row < root->childCount(); ++row) {
        const TreeItem *statement = root->child(row);
        const QString kind = statement->data(0).toString();
        const QString name = statement->data(1).toString();
        if (kind.contains(QLatin1Char('@'))) {
            result.append(kind + QLatin1String(" \"") + name + QLatin1String("\"\n"));
            continue;
        }
        QString text = kind;
        if (!name.isEmpty()) {
            text += QLatin1Char(' ') + name;
        }
        text += QLatin1String(" {\n");
        for (int optionRow = 0; optionRow < statement->childCount(); ++optionRow) {
            const TreeItem *option = statement->child(optionRow);
            const QString optionName = option->data(0).toString();
            const QString value = option->data(2).toString();
            // Piece by piece: a built-up text appended at once is grown to its
            // exact size, which makes a long statement quadratic to write.
            const bool block = isBlockOption(optionName);
            text += QLatin1String("    ");
            text += optionName;
            text += QLatin1Char(block ? '{' : '(');
            text += value;
            text += QLatin1String(block ? "};\n" : ");\n");
        }
        text += QLatin1String("};\n");
        result.append(text);
    }
    return result;
}
