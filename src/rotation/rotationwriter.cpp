#include "rotationwriter.h"

#include "model/treeitem.h"

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
