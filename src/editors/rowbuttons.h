#pragma once

#include <QAbstractButton>

class QAbstractItemView;

// The add and remove buttons beside an editable list or table.
namespace RowButtons
{
// remove takes the first selected row out of view.
void removeSelectedOn(QAbstractButton *remove, QAbstractItemView *view);

// add calls addRow of the dialog; remove as above.
template<typename Dialog>
void attach(QAbstractButton *add, QAbstractButton *remove, QAbstractItemView *view, Dialog *dialog, void (Dialog::*addRow)())
{
    QObject::connect(add, &QAbstractButton::clicked, dialog, addRow);
    removeSelectedOn(remove, view);
}
}
