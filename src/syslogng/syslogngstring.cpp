#include "syslogngstring.h"

namespace SyslogNgString
{
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
} // namespace SyslogNgString
