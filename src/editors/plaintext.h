#pragma once

#include <QString>

// A path, a value or a file's text for a tool tip or a message widget, shown
// as it is, control characters escaped: Qt takes a text whose first line
// looks like a tag for rich text, so such a one is handed over as rich text
// that says exactly the plain one. Empty stays empty: no tool tip.
QString shownPlain(const QString &text);
