#pragma once

#include "model/abstractwriter.h"

// Writes the logrotate tree back: the block's header, "{", one tab-indented line
// per directive (a postrotate's script line indented by two tabs), "}".
class RotationWriter : public AbstractWriter
{
public:
    explicit RotationWriter(const QString &fileName);
    ~RotationWriter() override;

    // Empty for a tree without a block.
    QStringList lines(const TreeItem *root) const override;
};
