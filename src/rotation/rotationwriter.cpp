#include "rotationwriter.h"

#include "logrotateparser.h"
#include "model/treeitem.h"
#include "platform/paths.h"

#include <algorithm>

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

QStringList
RotationWriter::mergedLines(const QStringList &fileLines, const QStringList &directives, const std::function<bool(const QString &)> &owned, int block)
{
    const auto isComment = [](const QString &simplified) {
        return simplified.isEmpty() || simplified.startsWith(QLatin1Char('#'));
    };
    // A file without braces is a header line followed by directives.
    const QVector<LogRotateParser::Block> blocks = LogRotateParser::blocks(fileLines);
    int open = -1;
    int close = int(fileLines.size());
    if (!blocks.isEmpty()) {
        const LogRotateParser::Block &edited = blocks.at(block >= 0 && block < blocks.size() ? block : 0);
        open = edited.open;
        close = edited.close;
    } else {
        for (int i = 0; i < fileLines.size() && open < 0; ++i) {
            if (!isComment(fileLines.at(i).simplified())) {
                open = i;
            }
        }
    }
    QStringList result;
    result.reserve(fileLines.size() + directives.size() + 3);
    if (open < 0) {
        // Comments only: a block for the main log, or the settings would go nowhere.
        result << fileLines << QString(Paths::MainEventLog) + QLatin1String(" {");
        for (const QString &directive : directives) {
            result << QLatin1Char('\t') + directive;
        }
        return result << QStringLiteral("}");
    }
    bool inScript = false;
    for (int i = 0; i < fileLines.size(); ++i) {
        const QString &line = fileLines.at(i);
        if (i <= open || i >= close) {
            result << line;
            if (i == open) {
                for (const QString &directive : directives) {
                    result << QLatin1Char('\t') + directive;
                }
            }
            continue;
        }
        const QString simplified = line.simplified();
        const QString word = LogRotateParser::directiveWord(simplified);
        if (inScript) {
            inScript = word != QLatin1String("endscript");
        } else if (LogRotateParser::isScriptWord(word)) {
            inScript = true;
        } else if (!isComment(simplified) && owned(word)) {
            continue;
        }
        result << line;
    }
    return result;
}
