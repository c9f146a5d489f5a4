#include "syslogngstring.h"

#include "platform/backslashescapes.h"

namespace SyslogNgString
{
namespace
{
// ASCII only: QChar::isDigit() also takes other scripts' digits.
bool isHexDigit(QChar c)
{
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

const BackslashEscapes Escapes{{u'\\', u'\\'}, {u'"', u'"'}, {u'\n', u'n'}, {u'\r', u'r'}, {u'\t', u't'}};
}

QString escaped(const QString &text)
{
    QString result;
    result.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (const QChar letter = Escapes.letterOf(c); !letter.isNull()) {
            result += QLatin1Char('\\');
            result += letter;
        } else if (c == QLatin1Char('`')) {
            // The configuration is scanned for `name` substitutions even inside
            // strings; a doubled backtick stands for one.
            result += QLatin1String("``");
        } else if (c.isNull()) {
            // A null character would end the string inside syslog-ng: dropped.
        } else if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            // Always two digits, so that a following hex digit is not taken in.
            result += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            result += c;
        }
    }
    return result;
}

QString unescaped(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('`') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('`')) {
            result += c;
            ++i;
            continue;
        }
        if (c.isNull()) {
            continue; // never written, see escaped()
        }
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            result += c;
            continue;
        }
        const QChar next = text.at(++i);
        if (const QChar character = Escapes.characterOf(next); !character.isNull()) {
            result += character;
        } else if (next == QLatin1Char('x')) {
            // Exactly two hex digits, as escaped() writes them; a null stays out.
            if (i + 2 < text.size() && isHexDigit(text.at(i + 1)) && isHexDigit(text.at(i + 2))) {
                const ushort code = text.mid(i + 1, 2).toUShort(nullptr, 16);
                if (code != 0) {
                    result += QChar(code);
                }
                i += 2;
            } else {
                result += next;
            }
        } else if (!next.isNull()) {
            // Any other escaped character stands for itself; an escaped null
            // is dropped like a bare one.
            result += next;
        }
    }
    return result;
}

int quotedLength(const QString &text)
{
    if (!text.startsWith(QLatin1Char('"'))) {
        return 0;
    }
    for (int i = 1; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\\')) {
            ++i;
        } else if (text.at(i) == QLatin1Char('"')) {
            return i + 1;
        }
    }
    return 0;
}
} // namespace SyslogNgString
