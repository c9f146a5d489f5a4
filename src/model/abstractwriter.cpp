#include "abstractwriter.h"

#include "platform/checkedwrite.h"

AbstractWriter::AbstractWriter(const QString &path)
    : m_path(path)
{
}

AbstractWriter::~AbstractWriter() = default;

bool AbstractWriter::write(const TreeItem *root)
{
    return CheckedWrite::replaceFile(m_path, contents(root));
}

QByteArray AbstractWriter::contents(const TreeItem *root) const
{
    QByteArray data;
    const QStringList fileLines = lines(root);
    for (const QString &line : fileLines) {
        data += line.toUtf8();
        data += '\n';
    }
    return data;
}

QStringList AbstractWriter::text(const TreeItem *root) const
{
    return lines(root);
}

QString AbstractWriter::filePath() const
{
    return m_path;
}
