// The logrotate file as the rotation tab reads and saves it (logrotate itself
// is not run: the fuzzer's PATH has none): the reader picks the main log's
// block of however many; the tab's merge sets the three settings in that block
// and drops their repeats. Read again, the file must show the new settings in
// the same block, with the same blocks, and every line outside that block as
// it was.
#include "fuzzroot.h"
#include "testroot.h"

#include "model/treeitem.h"
#include "platform/paths.h"
#include "rotation/logrotateparser.h"
#include "rotation/rotationwriter.h"

#include <algorithm>
#include <memory>

namespace
{
struct Reading {
    std::unique_ptr<TreeItem> tree;
    QStringList lines;
    QVector<LogRotateParser::Block> blocks;
    int shown = 0;
};

bool isPeriod(const QString &word)
{
    return word == QLatin1String("daily") || word == QLatin1String("weekly") || word == QLatin1String("monthly") || word == QLatin1String("yearly");
}

Reading readRotationFile()
{
    LogRotateParser parser(Paths::placed(Paths::LogRotateFile));
    Reading reading;
    reading.tree.reset(parser.parse());
    reading.lines = parser.text().split(QLatin1Char('\n'));
    reading.blocks = LogRotateParser::blocks(reading.lines);
    reading.shown = parser.shownBlock();
    return reading;
}

QStringList blocksText(const Reading &reading)
{
    QStringList text;
    for (const LogRotateParser::Block &block : reading.blocks) {
        text << block.paths;
    }
    text << QString::number(reading.shown);
    return text;
}

// The last value of each of the tab's settings in the block shown, as the tab
// shows it.
QStringList settings(const TreeItem *root)
{
    QString rotate;
    QString size;
    QString period;
    const TreeItem *block = root->child(0);
    bool inScript = false;
    for (int row = 0; row < block->childCount(); ++row) {
        const QString word = block->child(row)->data(0).toString();
        if (inScript || LogRotateParser::isScriptWord(word)) {
            inScript = word != QLatin1String("endscript");
        } else if (word == QLatin1String("rotate")) {
            rotate = block->child(row)->data(1).toString();
        } else if (word == QLatin1String("size")) {
            size = block->child(row)->data(1).toString();
        } else if (isPeriod(word)) {
            period = word;
        }
    }
    return {rotate, size, period};
}

// The lines before and after the edited block.
QStringList outside(const Reading &reading)
{
    if (reading.blocks.isEmpty()) {
        return {};
    }
    const LogRotateParser::Block &block = reading.blocks.at(reading.shown);
    return reading.lines.mid(0, block.open + 1) + reading.lines.mid(block.close);
}
}

// Whether logrotate refuses the file for its shape alone: a script
// (postrotate ... endscript) that runs to the end of the file, a brace inside
// a block, a "}" without its "{" or a block left open. The tab's check before
// writing keeps such a file from being saved, so the property is not asked of it.
bool refusedShape(const QStringList &lines)
{
    bool inScript = false;
    int depth = 0;
    for (const QString &line : lines) {
        const QString trimmed = line.trimmed();
        const QString word = trimmed.section(QLatin1Char(' '), 0, 0).section(QLatin1Char('\t'), 0, 0);
        if (inScript) {
            inScript = word != QLatin1String("endscript");
            continue;
        }
        inScript = LogRotateParser::isScriptWord(word);
        const QString code = trimmed.section(QLatin1Char('#'), 0, 0).trimmed();
        // logrotate wants nothing after a brace on its line, nor before a "}".
        if ((code.contains(QLatin1Char('}')) && code != QLatin1String("}")) || (code.contains(QLatin1Char('{')) && !code.endsWith(QLatin1Char('{')))) {
            return true;
        }
        for (const QChar c : code) {
            depth += c == QLatin1Char('{') ? 1 : c == QLatin1Char('}') ? -1 : 0;
            if (depth < 0 || depth > 1) {
                return true;
            }
        }
    }
    return inScript || depth != 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestRoot &root = fuzzRoot();
    root.writeFile(Paths::LogRotateFile, QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size)));
    const Reading first = readRotationFile();
    if (!first.tree || refusedShape(first.lines)) {
        return 0;
    }
    const QStringList merged = RotationWriter::mergedLines(
        first.lines,
        {QStringLiteral("rotate 4"), QStringLiteral("size 7M"), QStringLiteral("weekly")},
        [](const QString &word) {
            return word == QLatin1String("rotate") || word == QLatin1String("size") || isPeriod(word);
        },
        first.shown);
    root.writeFile(Paths::LogRotateFile, merged.join(QLatin1Char('\n')).toUtf8());
    const Reading second = readRotationFile();
    if (!second.tree) {
        requireSame({}, {QStringLiteral("nothing read")}, "logrotate file after the tab's save");
    }
    requireSame({QStringLiteral("4"), QStringLiteral("7M"), QStringLiteral("weekly")}, settings(second.tree.get()), "logrotate settings saved");
    // A file of comments only gains a block for the main log.
    const bool commentsOnly = std::all_of(first.lines.cbegin(), first.lines.cend(), [](const QString &line) {
        const QString trimmed = line.trimmed();
        return trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'));
    });
    if (!commentsOnly) {
        requireSame(blocksText(first), blocksText(second), "logrotate blocks");
        requireSame(outside(first), outside(second), "logrotate lines outside the edited block");
    }
    return 0;
}
