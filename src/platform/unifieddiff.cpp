#include "unifieddiff.h"

#include "privatefolder.h"
#include "process.h"
#include "stagedfile.h"

#include <KLocalizedString>

#include <memory>

namespace UnifiedDiff
{
namespace
{
constexpr int DiffTimeoutMs = 30000;
const QString Nothing = QStringLiteral("/dev/null");

// A scratch file only diff reads, in a folder of its own.
bool writeScratch(const QString &path, const QByteArray &data, QString *errorText)
{
    if (StagedFile::writeScratch(path, data, errorText)) {
        return true;
    }
    *errorText = QStringLiteral("%1: %2").arg(path, *errorText);
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

namespace
{
// The files from index on, appended to what the ones before gave.
void continueFrom(const QList<File> &files, int index, const Process::Runner &run, const Diffs &sofar, const Done &done)
{
    while (index < files.size() && !files.at(index).changes()) {
        ++index;
    }
    if (index == files.size()) {
        return done(sofar);
    }
    const File &file = files.at(index);
    Diffs failed = sofar;
    failed.ok = false;
    // diff reads the scratch files until it ends.
    const auto scratch = std::make_shared<ScratchFolder>();
    if (!scratch->isValid()) {
        failed.errorText = i18n("no temporary folder: %1", scratch->errorString());
        return done(failed);
    }
    const QString before = scratch->filePath(QStringLiteral("current"));
    const QString after = scratch->filePath(QStringLiteral("wanted"));
    if ((file.exists && !writeScratch(before, file.current, &failed.errorText)) || (!file.remove && !writeScratch(after, file.wanted, &failed.errorText))) {
        return done(failed);
    }
    run(QStringLiteral("diff"),
        {QStringLiteral("-u"),
         QStringLiteral("--text"),
         QStringLiteral("--label"),
         file.exists ? file.systemPath : Nothing,
         QStringLiteral("--label"),
         file.remove ? Nothing : file.systemPath,
         file.exists ? before : Nothing,
         file.remove ? Nothing : after},
        DiffTimeoutMs,
        Process::Channels::Separate,
        [files, index, run, sofar, done, scratch](const Process::Result &result) {
            // diff exits with 1 when the files differ, as they do here.
            if (!result.finished || result.exitCode != 1) {
                Diffs failed = sofar;
                failed.ok = false;
                failed.errorText = i18n("%1: diff failed: %2", files.at(index).systemPath, QString::fromLocal8Bit(result.errorOutput).trimmed());
                return done(failed);
            }
            Diffs next = sofar;
            next.text.append(result.output);
            continueFrom(files, index + 1, run, next, done);
        });
}
}

void of(const QList<File> &files, const Process::Runner &run, const Done &done)
{
    continueFrom(files, 0, run, Diffs(), done);
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
