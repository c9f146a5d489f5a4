#include "unifieddiff.h"

#include "process.h"

#include <KLocalizedString>

#include <QFile>
#include <QTemporaryDir>

namespace UnifiedDiff
{
namespace
{
constexpr int DiffTimeoutMs = 30000;
const QString Nothing = QStringLiteral("/dev/null");

// A scratch file only diff reads, in a folder of its own.
bool writeScratch(const QString &path, const QByteArray &data, QString *errorText)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.flush()) {
        return true;
    }
    *errorText = QStringLiteral("%1: %2").arg(path, file.errorString());
    return false;
}

// The path a "---" or "+++" line names, without the time diff may add.
QString labelOf(const QByteArray &line)
{
    QByteArray label = line.mid(4);
    const int tab = label.indexOf('\t');
    if (tab >= 0) {
        label.truncate(tab);
    }
    return QString::fromUtf8(label);
}
}

bool append(const File &file, QByteArray *text, QString *errorText)
{
    if (!file.changes()) {
        return true;
    }
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        *errorText = i18n("no temporary folder: %1", scratch.errorString());
        return false;
    }
    const QString before = scratch.filePath(QStringLiteral("current"));
    const QString after = scratch.filePath(QStringLiteral("wanted"));
    if ((file.exists && !writeScratch(before, file.current, errorText)) || (!file.remove && !writeScratch(after, file.wanted, errorText))) {
        return false;
    }
    const Process::Result result = Process::run(QStringLiteral("diff"),
                                                {QStringLiteral("-u"),
                                                 QStringLiteral("--text"),
                                                 QStringLiteral("--label"),
                                                 file.exists ? file.systemPath : Nothing,
                                                 QStringLiteral("--label"),
                                                 file.remove ? Nothing : file.systemPath,
                                                 file.exists ? before : Nothing,
                                                 file.remove ? Nothing : after},
                                                DiffTimeoutMs,
                                                Process::Channels::Separate);
    // diff exits with 1 when the files differ, as they do here.
    if (!result.finished || result.exitCode != 1) {
        *errorText = i18n("%1: diff failed: %2", file.systemPath, QString::fromLocal8Bit(result.errorOutput).trimmed());
        return false;
    }
    text->append(result.output);
    return true;
}

bool of(const QList<File> &files, QByteArray *text, QString *errorText)
{
    for (const File &file : files) {
        if (!append(file, text, errorText)) {
            return false;
        }
    }
    return true;
}

QList<QPair<QString, QByteArray>> split(const QByteArray &text)
{
    QList<QPair<QString, QByteArray>> files;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const bool header = line.startsWith("--- ") && i + 1 < lines.size() && lines.at(i + 1).startsWith("+++ ");
        if (header) {
            const QString from = labelOf(line);
            const QString to = labelOf(lines.at(i + 1));
            files.append({to == Nothing ? from : to, QByteArray()});
        } else if (files.isEmpty()) {
            continue;
        }
        files.last().second += line;
        if (i + 1 < lines.size()) {
            files.last().second += '\n';
        }
    }
    return files;
}
} // namespace UnifiedDiff
