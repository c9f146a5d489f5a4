#pragma once

#include <QWidget>

// The busy cursor over a window while its programs run; its own cursor after.
inline void showBusyCursor(QWidget *window, bool busy)
{
    if (busy) {
        window->setCursor(Qt::BusyCursor);
    } else {
        window->unsetCursor();
    }
}
