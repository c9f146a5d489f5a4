#pragma once

#include <QString>

// What a scalar parameter's value may be, judged by the JSON type it was read
// with and by its key: numbers stay numbers, percentages stay within 0 to 100,
// byte limits and intervals are non-negative whole numbers.
namespace ParameterValue
{
enum class Kind {
    Text,
    Number,
    WholeNumber,
    Boolean,
};

// Why text cannot be the value of the parameter key of the given kind; empty when
// it can. On success *normalized (when given) holds the value as JSON writes it.
QString refusal(const QString &key, Kind kind, const QString &text, QString *normalized = nullptr);
}
