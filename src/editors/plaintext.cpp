#include "plaintext.h"

#include "platform/controlescape.h"

#include <QTextDocument>

QString shownPlain(const QString &text)
{
    const QString escaped = ControlEscape::escaped(text);
    return Qt::mightBeRichText(escaped) ? Qt::convertFromPlainText(escaped, Qt::WhiteSpaceNormal) : escaped;
}
