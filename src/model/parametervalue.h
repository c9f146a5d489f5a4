#pragma once

#include <QString>
#include <QStringList>

#include <limits>
#include <optional>

// What a scalar parameter's value may be, judged by the JSON type it was read
// with and by its key: numbers stay numbers, percentages stay within 0 to 100,
// byte limits and intervals are whole numbers within their range.
namespace ParameterValue
{
// One byte: every parameter node of the event tree holds one.
enum class Kind : quint8 {
    Text,
    Number,
    WholeNumber,
    Boolean,
};

// The limits of a whole number, both included; an unset end is the key's own
// (see limits()).
struct Range {
    std::optional<qlonglong> minimum;
    std::optional<qlonglong> maximum;
};

// No limits but what a 64-bit number holds: for values already stored, which
// are written back as they were read.
inline constexpr Range Unlimited{std::numeric_limits<qlonglong>::min(), std::numeric_limits<qlonglong>::max()};

// The limits that apply to a whole number under key: those given, else a
// sensible one for its kind of key (an interval is at least a second, a byte
// count is not negative), else what a 64-bit number holds.
Range limits(const QString &key, const Range &given = {});

// Why text cannot be the value of the parameter key of the given kind; empty when
// it can. name is the parameter as the administrator sees it, which the reason
// names. On success *normalized (when given) holds the value as JSON writes it.
QString refusal(const QString &key, const QString &name, Kind kind, const QString &text, QString *normalized = nullptr, const Range &range = {});

// Whether text holds no line break nor any other control character but a
// tab: an audit rule is one line of its file.
bool isOneLine(const QString &text);

// The elements of a comma-separated list (file lists, dependencies, parameter
// keys), each with its white space simplified; empty ones are left out.
QStringList listElements(const QString &text);
}
