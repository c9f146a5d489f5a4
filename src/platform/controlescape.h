#pragma once

#include <QByteArray>
#include <QString>

// Text from files shown on a terminal or in a window: every control
// character but the line break and the tab is written as an escape ("\x1b",
// "\u202e"), so that a file cannot move the cursor, erase a line it follows,
// reorder what is shown or start a line where the reader sees none.
namespace ControlEscape
{
QString escaped(const QString &text);
// The same for UTF-8 bytes; bytes that are not UTF-8 come out as "\xHH".
QByteArray escapedUtf8(const QByteArray &text);
}
