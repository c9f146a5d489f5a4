#include "controlescape.h"

#include <QVector>

namespace ControlEscape
{
namespace
{
bool mustEscape(char32_t c)
{
    if (c == U'\n' || c == U'\t') {
        return false;
    }
    const QChar::Category category = QChar::category(c);
    return category == QChar::Other_Control || category == QChar::Other_Format || category == QChar::Separator_Line || category == QChar::Separator_Paragraph;
}

QString escapeOf(char32_t c)
{
    return c < 0x80 ? QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0')) : QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
}
} // namespace

QString escaped(const QString &text)
{
    QString result;
    result.reserve(text.size());
    const QVector<uint> characters = text.toUcs4();
    for (const uint c : characters) {
        if (mustEscape(c)) {
            result += escapeOf(c);
        } else {
            const char32_t character = c;
            result += QString::fromUcs4(&character, 1);
        }
    }
    return result;
}

QByteArray escapedUtf8(const QByteArray &text)
{
    QByteArray result;
    result.reserve(text.size());
    int i = 0;
    while (i < text.size()) {
        // The longest valid UTF-8 sequence from here, one character at a time.
        int length = 1;
        const uchar lead = uchar(text.at(i));
        if (lead >= 0xc2 && lead <= 0xdf) {
            length = 2;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            length = 3;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            length = 4;
        }
        const QByteArray sequence = text.mid(i, length);
        const QString decoded = QString::fromUtf8(sequence);
        const bool valid = (lead < 0x80 || length > 1) && sequence.size() == length && decoded.size() >= 1 && !decoded.contains(QChar::ReplacementCharacter)
            && decoded.toUtf8() == sequence;
        if (!valid) {
            result += QStringLiteral("\\x%1").arg(uint(lead), 2, 16, QLatin1Char('0')).toLatin1();
            ++i;
            continue;
        }
        result += escaped(decoded).toUtf8();
        i += length;
    }
    return result;
}
} // namespace ControlEscape
