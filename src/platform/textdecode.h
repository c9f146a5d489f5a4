#pragma once

#include <QByteArray>
#include <QString>

namespace TextDecode
{
// Decodes a configuration file's bytes as UTF-8. False with the reason when
// they hold a NUL byte or are not UTF-8: such a file shown or written back as
// text would come out changed.
bool utf8(const QByteArray &data, QString *text, QString *reason);
}
