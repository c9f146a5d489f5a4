#pragma once

#include "model/abstractwriter.h"

// Writes a syslog-ng tree of the form CommonSettingsParser reads: directives and
// block statements with their options. Names and values are written as stored.
class CommonWriter : public AbstractWriter
{
public:
    explicit CommonWriter(const QString &fileName);
    ~CommonWriter() override;

    // One text per statement, each ending with a line break.
    QStringList lines(const TreeItem *root) const override;

    // Whether an option of this name is written as a braced body ("if {...}",
    // "channel {...}") rather than in parentheses.
    static bool isBlockOption(const QString &name);
};
