#pragma once

#include <QFile>

// Whether a shared library whose path contains part is mapped into this process.
inline bool libraryLoaded(const QByteArray &part)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(part);
}
