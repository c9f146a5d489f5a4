#pragma once

#include "model/abstractwriter.h"

#include <functional>

// Writes the logrotate tree back: the block's header, "{", one tab-indented line
// per directive (a postrotate's script line indented by two tabs), "}".
class RotationWriter : public AbstractWriter
{
public:
    using AbstractWriter::AbstractWriter;

    // Empty for a tree without a block.
    QStringList lines(const TreeItem *root) const override;

    // The file's lines with the directives that owned() claims replaced by
    // directives, placed first in the block: the one of LogRotateParser::blocks
    // numbered block (the reader's shownBlock()). Comments, scripts, the other
    // blocks and every other line stay as the administrator wrote them.
    static QStringList
    mergedLines(const QStringList &fileLines, const QStringList &directives, const std::function<bool(const QString &)> &owned, int block = 0);
};
