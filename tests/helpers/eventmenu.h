#pragma once

#include <QModelIndex>
#include <QString>

class QMenu;
class QWidget;

// The module's event tree, as the administrator uses it.
namespace EventMenu
{
// Selects the row shown with this name; an invalid index when there is none.
QModelIndex select(QWidget *module, const QString &name);
// Selects the row and opens the tree's context menu on it; null when either is
// missing. The caller deletes the menu.
QMenu *open(QWidget *module, const QString &name);
// Opens the menu on the row and triggers the action with this text; false when
// the row or the action is missing.
bool trigger(QWidget *module, const QString &name, const QString &action);
} // namespace EventMenu
