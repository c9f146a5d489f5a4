#pragma once

#include "model/abstractwriter.h"

// Writes a syslog-ng tree. A tree read by CommonSettingsParser (a SyslogNgRoot)
// is written as the text it was read from, changed only where the tree was:
// a removed statement or option goes with the lines it stood on, a changed one
// is written anew in its place, an added one is placed beside its neighbour in
// the tree. Any other tree, and every added statement, is written in the
// module's own layout: directives and block statements with their options,
// names and values as stored.
class CommonWriter : public AbstractWriter
{
public:
    using AbstractWriter::AbstractWriter;

    // The module's layout: one text per statement, each ending with a line break.
    QStringList lines(const TreeItem *root) const override;
    // The file's bytes: the text as read with the tree's changes for a tree
    // the reader made, the lines otherwise.
    QByteArray contents(const TreeItem *root) const override;

    // Whether an option of this name is written as a braced body ("if {...}",
    // "channel {...}") rather than in parentheses.
    static bool isBlockOption(const QString &name);
};
