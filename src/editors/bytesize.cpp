#include "bytesize.h"

#include <KFormat>

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace
{
constexpr int LargestUnit = 4; // TiB

qint64 unitBytes(int unit)
{
    return qint64(1) << (10 * unit);
}

QString formatted(qint64 bytes, int unit, int precision)
{
    return KFormat().formatByteSize(double(bytes), precision, KFormat::IECBinaryDialect, KFormat::BinarySizeUnits(unit));
}

// The unit as text() writes it in the interface's language ("MiB", "МиБ").
QString localUnit(int unit)
{
    static const QRegularExpression number(QStringLiteral("[0-9\\s]"));
    return formatted(unitBytes(unit), unit, 0).remove(number);
}

int unitOf(const QString &suffix)
{
    static const QStringList english[] = {
        {QStringLiteral("b"), QString()},
        {QStringLiteral("kib"), QStringLiteral("k"), QStringLiteral("kb")},
        {QStringLiteral("mib"), QStringLiteral("m"), QStringLiteral("mb")},
        {QStringLiteral("gib"), QStringLiteral("g"), QStringLiteral("gb")},
        {QStringLiteral("tib"), QStringLiteral("t"), QStringLiteral("tb")},
    };
    const QString folded = suffix.toLower();
    for (int unit = 0; unit <= LargestUnit; ++unit) {
        if (english[unit].contains(folded) || folded == localUnit(unit).toLower()) {
            return unit;
        }
    }
    return -1;
}
} // namespace

namespace ByteSize
{
QString text(qint64 bytes)
{
    int unit = 0;
    while (unit < LargestUnit && bytes >= unitBytes(unit + 1)) {
        ++unit;
    }
    return formatted(bytes, unit, bytes % unitBytes(unit) == 0 ? 0 : 2);
}

std::optional<qint64> parse(const QString &typed)
{
    static const QRegularExpression shape(QStringLiteral("^\\s*([0-9]+(?:\\.[0-9]+)?)\\s*(\\S*)\\s*$"));
    QString text = typed;
    text.replace(QLocale().decimalPoint(), QStringLiteral("."));
    const QRegularExpressionMatch match = shape.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const int unit = unitOf(match.captured(2));
    if (unit < 0) {
        return std::nullopt;
    }
    bool ok = false;
    const double number = QLocale::c().toDouble(match.captured(1), &ok);
    if (!ok) {
        return std::nullopt;
    }
    // "1.3 GiB" is the nearest whole byte; 2^63 itself is out of range.
    const double bytes = std::round(number * double(unitBytes(unit)));
    if (bytes >= 9223372036854775808.0) {
        return std::nullopt;
    }
    if (unit == 0) {
        // Bytes exactly as typed: a double would round counts past 2^53.
        bool whole = false;
        const qint64 count = QLocale::c().toLongLong(match.captured(1), &whole);
        return whole ? std::optional<qint64>(count) : std::nullopt;
    }
    return qint64(bytes);
}
} // namespace ByteSize
