#include "tooltipper.h"

#include <QAbstractItemView>

ToolTipper::ToolTipper(QAbstractItemView *view)
    : QObject(view)
{
}

ToolTipper::~ToolTipper() = default;

bool ToolTipper::eventFilter(QObject *object, QEvent *event)
{
    return QObject::eventFilter(object, event);
}
