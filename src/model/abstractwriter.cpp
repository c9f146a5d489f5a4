#include "abstractwriter.h"

#include "platform/filewrite.h"

AbstractWriter::AbstractWriter(const QString &path)
    : m_path(path)
{
}

AbstractWriter::~AbstractWriter() = default;

bool AbstractWriter::write(const TreeItem *root)
{
    QByteArray data;
    const QStringList fileLines = lines(root);
    for (const QString &line : fileLines) {
        data += line.toUtf8();
        data += '\n';
    }
    return FileWrite::replaceFile(m_path, data);
}

QStringList AbstractWriter::text(const TreeItem *root) const
{
    return lines(root);
}

QString AbstractWriter::filePath() const
{
    return m_path;
}
