#include "hungprogram.h"

#include "testroot.h"

#include "platform/programs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace HungProgram
{
QString pidFile(const QString &bin)
{
    return QDir(bin).filePath(QStringLiteral("hung.pid"));
}

bool write(const QString &program, const QString &bin, const TestRoot &root, const QString &firstArgument)
{
    const QString path = program.startsWith(QLatin1Char('/')) ? root.placed(program) : Programs::located(program);
    const QByteArray replaced = QFile::encodeName(QFileInfo(path).canonicalFilePath());
    if (!firstArgument.isEmpty() && replaced.isEmpty()) {
        return false;
    }
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray hang = "echo $$ > '" + QFile::encodeName(pidFile(bin)) + "'\nexec sleep 3600\n";
    file.write(firstArgument.isEmpty()
                   ? QByteArray("#!/bin/sh\n" + hang)
                   : QByteArray("#!/bin/sh\nif [ \"$1\" = '" + firstArgument.toUtf8() + "' ]; then\n" + hang + "fi\nexec '" + replaced + "' \"$@\"\n"));
    file.close();
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QByteArray startedPid(const QString &pidFile)
{
    QFile file(pidFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

bool isGone(const QByteArray &pid)
{
    // The state letter of /proc/<pid>/stat ("R", "S", "Z", ...) follows the name in parentheses.
    QFile stat(QStringLiteral("/proc/") + QString::fromLatin1(pid) + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly)) {
        return true;
    }
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() && line.at(close + 2) == 'Z';
}
} // namespace HungProgram
