#pragma once

#include <QString>

#include <optional>

// Byte counts as the administrator reads and types them: with binary units,
// in the interface's language.
namespace ByteSize
{
// Whole units where the size is a whole number of them ("100 MiB"), else two
// decimals in the largest unit below it ("1.50 GiB").
QString text(qint64 bytes);

// The bytes of typed text: a whole number of bytes, or a number with a unit
// (B, KiB, MiB, GiB, TiB; K, M, G, T or KB, MB, GB, TB for the same; any case;
// or as text() writes them), with "." or the locale's decimal sign; a size
// with a unit counts to the nearest byte. Nothing when the text is no size, a
// fraction of a byte, or larger than 64 bits hold.
std::optional<qint64> parse(const QString &typed);
}
