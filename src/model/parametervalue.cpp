#include "parametervalue.h"

#include <KLocalizedString>

#include <QLocale>

#include <cmath>

namespace
{
bool endsWithAny(const QString &key, std::initializer_list<const char *> suffixes)
{
    for (const char *suffix : suffixes) {
        if (key.endsWith(QLatin1String(suffix))) {
            return true;
        }
    }
    return false;
}
} // namespace

namespace ParameterValue
{
QString refusal(const QString &key, Kind kind, const QString &text, QString *normalized)
{
    const QString trimmed = text.trimmed();
    const bool percentage = endsWithAny(key, {"percent"});
    const bool countable = endsWithAny(key, {"bytes", "interval"});
    if (kind == Kind::Text && !percentage && !countable) {
        if (normalized) {
            *normalized = text;
        }
        return QString();
    }
    if (kind == Kind::Boolean) {
        if (trimmed != QLatin1String("true") && trimmed != QLatin1String("false")) {
            return i18n("%1 is either true or false, not \"%2\".", key, text);
        }
        if (normalized) {
            *normalized = trimmed;
        }
        return QString();
    }
    bool isNumber = false;
    const double number = QLocale::c().toDouble(trimmed, &isNumber);
    if (!isNumber || !std::isfinite(number)) {
        return i18n("\"%1\" is not a number; %2 takes a number.", text, key);
    }
    if (percentage && (number < 0 || number > 100)) {
        return i18n("%1 is a percentage from 0 to 100, not %2.", key, trimmed);
    }
    bool whole = false;
    const qlonglong integer = QLocale::c().toLongLong(trimmed, &whole);
    if ((countable || kind == Kind::WholeNumber) && !whole) {
        return i18n("%1 takes a whole number, not %2.", key, trimmed);
    }
    if (countable && integer < 0) {
        return i18n("%1 cannot be negative.", key);
    }
    if (normalized) {
        *normalized = whole ? QString::number(integer) : QString::number(number, 'g', QLocale::FloatingPointShortest);
    }
    return QString();
}
} // namespace ParameterValue
