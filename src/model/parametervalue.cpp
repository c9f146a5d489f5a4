#include "parametervalue.h"

#include <KLocalizedString>

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
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

// Digits only, perhaps signed: a whole number, however long.
bool isWholeNumberText(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
    return digits.match(text).hasMatch();
}
} // namespace

namespace ParameterValue
{
Range limits(const QString &key, const Range &given)
{
    Range result = Unlimited;
    if (endsWithAny(key, {"interval"})) {
        // Seconds; the watcher's timers take a 32-bit count.
        result = {1, std::numeric_limits<int>::max()};
    } else if (endsWithAny(key, {"bytes"})) {
        result.minimum = 0;
    }
    if (given.minimum) {
        result.minimum = given.minimum;
    }
    if (given.maximum) {
        result.maximum = given.maximum;
    }
    return result;
}

QString refusal(const QString &key, const QString &name, Kind kind, const QString &text, QString *normalized, const Range &range)
{
    if (key == QLatin1String("message-audit-rules") && !isOneLine(text)) {
        return i18n("%1 holds audit rules, one line each: a line break or another control character cannot be part of one.", name);
    }
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
            return i18n("%1 is either true or false, not \"%2\".", name, text);
        }
        if (normalized) {
            *normalized = trimmed;
        }
        return QString();
    }
    const QLocale c = QLocale::c();
    const Range bounds = limits(key, range);
    const bool wholeWanted = countable || kind == Kind::WholeNumber;
    bool whole = false;
    const qlonglong integer = c.toLongLong(trimmed, &whole);
    if (!whole && isWholeNumberText(trimmed)) {
        // Beyond what 64 bits hold: its sign tells which end it passed.
        return trimmed.startsWith(QLatin1Char('-')) ? i18n("%1 is too small: the least is %2, not %3.", name, c.toString(*bounds.minimum), trimmed)
                                                    : i18n("%1 is too large: the most is %2, not %3.", name, c.toString(*bounds.maximum), trimmed);
    }
    bool isNumber = false;
    const double number = c.toDouble(trimmed, &isNumber);
    if (!isNumber || !std::isfinite(number)) {
        return i18n("\"%1\" is not a number; %2 takes a number.", text, name);
    }
    if (percentage && (number < 0 || number > 100)) {
        return i18n("%1 is a percentage from 0 to 100, not %2.", name, trimmed);
    }
    if (wholeWanted && !whole) {
        return i18n("%1 takes a whole number, not %2.", name, trimmed);
    }
    if (whole && wholeWanted && integer < *bounds.minimum) {
        return i18n("%1 is too small: the least is %2, not %3.", name, c.toString(*bounds.minimum), trimmed);
    }
    if (whole && wholeWanted && integer > *bounds.maximum) {
        return i18n("%1 is too large: the most is %2, not %3.", name, c.toString(*bounds.maximum), trimmed);
    }
    if (normalized) {
        *normalized = whole ? QString::number(integer) : QString::number(number, 'g', QLocale::FloatingPointShortest);
    }
    return QString();
}

bool isOneLine(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        const QChar::Category category = c.category();
        return c == QLatin1Char('\t') || (category != QChar::Other_Control && category != QChar::Separator_Line && category != QChar::Separator_Paragraph);
    });
}

QStringList listElements(const QString &text)
{
    QStringList elements;
    const QStringList parts = text.split(QLatin1Char(','));
    for (const QString &part : parts) {
        const QString element = part.simplified();
        if (!element.isEmpty()) {
            elements << element;
        }
    }
    return elements;
}
} // namespace ParameterValue
