#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// What Qt's JSON reader does not keep of a text: a number's own digits (it
// holds a double), that a value was null or an empty object (both read back as
// empty text), and a key that an object holds twice (it keeps one). Read from
// a text that Qt's reader accepted.
namespace JsonText
{
struct Scan {
    // The text of every number, null, empty object, and array holding a number,
    // by its path (pathKey() of its keys; array elements have none of their own).
    QHash<QString, QString> literals;
    // Each key that an object holds more than once, as "key/key/key", once.
    QStringList duplicateKeys;
};

Scan scan(const QByteArray &json);

// The path of key below the path parent (empty for the top object): each key
// with its length first, so that no key can pass for two.
QString pathKey(const QString &parent, const QString &key);

// The text a literal shows as a value: a number its own digits, null and an
// empty object nothing.
QString shownText(const QString &literal);
}
