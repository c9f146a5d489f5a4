#include "rotationwriter.h"

#include "model/treeitem.h"

#include <algorithm>

RotationWriter::RotationWriter(const QString &fileName)
    : AbstractWriter(fileName)
{
}

RotationWriter::~RotationWriter() = default;

QStringList RotationWriter::lines(const TreeItem *root) const
{
    const TreeItem *block = root ? root->child(0) : nullptr;
    if (!block) {
        return {};
    }
    QStringList result{block->data(0).toString(), QStringLiteral("{")};
    for (int i = 0; i < block->childCount(); ++i) {
        const TreeItem *directive = block->child(i);
        const QString word = directive->data(0).toString();
        const QString value = directive->data(1).toString();
        if (word == QLatin1String("postrotate")) {
            result << QLatin1Char('\t') + word << QLatin1String("\t\t") + value;
        } else {
            QString line = QLatin1Char('\t') + word;
            if (!value.isEmpty()) {
                line += QLatin1Char(' ') + value;
            }
            result << line;
        }
    }
    result << QStringLiteral("}");
    return result;
}

QStringList RotationWriter::mergedLines(const QStringList &fileLines, const QStringList &directives, const std::function<bool(const QString &)> &owned)
{
    static const QStringList scriptWords{QStringLiteral("postrotate"),
                                         QStringLiteral("prerotate"),
                                         QStringLiteral("firstaction"),
                                         QStringLiteral("lastaction"),
                                         QStringLiteral("preremove")};
    const auto isComment = [](const QString &simplified) {
        return simplified.isEmpty() || simplified.startsWith(QLatin1Char('#'));
    };
    // A file without braces is a header line followed by directives.
    const bool braced = std::any_of(fileLines.cbegin(), fileLines.cend(), [&isComment](const QString &line) {
        const QString simplified = line.simplified();
        return !isComment(simplified) && simplified.contains(QLatin1Char('{'));
    });
    QStringList result;
    bool inBlock = false;
    bool inScript = false;
    bool placed = false;
    for (const QString &line : fileLines) {
        const QString simplified = line.simplified();
        const QString word = simplified.section(QLatin1Char(' '), 0, 0);
        if (!inBlock) {
            result << line;
            if (!placed && !isComment(simplified) && (!braced || simplified.contains(QLatin1Char('{')))) {
                inBlock = true;
                placed = true;
                for (const QString &directive : directives) {
                    result << QLatin1Char('\t') + directive;
                }
            }
            continue;
        }
        if (inScript) {
            inScript = word != QLatin1String("endscript");
        } else if (simplified.startsWith(QLatin1Char('}'))) {
            inBlock = false;
        } else if (scriptWords.contains(word)) {
            inScript = true;
        } else if (!isComment(simplified) && owned(word)) {
            continue;
        }
        result << line;
    }
    return result;
}
