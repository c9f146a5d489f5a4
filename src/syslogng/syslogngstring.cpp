#include "syslogngstring.h"

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
}

QString escaped(const QString &text)
{
    QString result;
    result.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            result += QLatin1String("\\\\");
            break;
        case '"':
            result += QLatin1String("\\\"");
            break;
        // The configuration is scanned for `name` substitutions even inside
        // strings; a doubled backtick stands for one.
        case '`':
            result += QLatin1String("``");
            break;
        case '\n':
            result += QLatin1String("\\n");
            break;
        case '\r':
            result += QLatin1String("\\r");
            break;
        case '\t':
            result += QLatin1String("\\t");
            break;
        case 0:
            // A null character would end the string inside syslog-ng: dropped.
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
                // Always two digits, so that a following hex digit is not taken in.
                result += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            } else {
                result += c;
            }
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
        switch (next.unicode()) {
        case 'n':
            result += QLatin1Char('\n');
            break;
        case 'r':
            result += QLatin1Char('\r');
            break;
        case 't':
            result += QLatin1Char('\t');
            break;
        case 'x':
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
            break;
        default:
            // "\\", "\"" and any other escaped character stand for themselves;
            // an escaped null is dropped like a bare one.
            if (!next.isNull()) {
                result += next;
            }
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
