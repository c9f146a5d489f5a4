#include "textdecode.h"

#include <KLocalizedString>

#include <QTextCodec>

namespace TextDecode
{
bool utf8(const QByteArray &data, QString *text, QString *reason)
{
    if (const int nul = data.indexOf('\0'); nul >= 0) {
        // A byte order mark of UTF-16 before it: the file is in the wrong encoding.
        const bool utf16 = data.startsWith("\xff\xfe") || data.startsWith("\xfe\xff");
        *reason = utf16 ? i18n("UTF-16 text, not UTF-8") : i18n("a NUL byte at offset %1", nul);
        return false;
    }
    QTextCodec::ConverterState state;
    *text = QTextCodec::codecForMib(106)->toUnicode(data.constData(), data.size(), &state);
    // A sequence cut off at the end is no character either.
    if (state.invalidChars > 0 || state.remainingChars > 0) {
        text->clear();
        *reason = i18n("not UTF-8 text");
        return false;
    }
    return true;
}
}
