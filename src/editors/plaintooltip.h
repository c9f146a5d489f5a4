#pragma once

#include <QString>

// A tool tip that shows a path, a value or a file's text as it is, control
// characters escaped: Qt takes a tool tip whose first line looks like a tag
// for rich text, so such a one is handed over as rich text that says exactly
// the plain one. Empty stays empty: no tool tip.
QString plainToolTip(const QString &text);
