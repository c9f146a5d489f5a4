#include "textdecode.h"

#include <KLocalizedString>

#if QT_VERSION_MAJOR >= 6
#include <QStringDecoder>
#else
#include <QTextCodec>
#endif

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
    // Both decoders drop a leading byte order mark. The data is the whole file:
    // a character cut off at its end is an error too, not one to be continued.
#if QT_VERSION_MAJOR >= 6
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    *text = decoder.decode(data);
    if (decoder.hasError()) {
#else
    QTextCodec::ConverterState state;
    *text = QTextCodec::codecForMib(106)->toUnicode(data.constData(), data.size(), &state);
    if (state.invalidChars > 0 || state.remainingChars > 0) {
#endif
        text->clear();
        *reason = i18n("not UTF-8 text");
        return false;
    }
    return true;
}
}
