#pragma once

#include <QByteArray>
#include <QString>

// Writing files in folders only root can change: a reader sees the old file or
// the new one, never half of it.
namespace FileWrite
{
// Replaces path with data atomically; false when that failed.
bool replaceFile(const QString &path, const QByteArray &data);
}
