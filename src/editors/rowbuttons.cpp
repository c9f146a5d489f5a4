#include "rowbuttons.h"

#include <QAbstractItemView>

namespace RowButtons
{
void removeSelectedOn(QAbstractButton *remove, QAbstractItemView *view)
{
    QObject::connect(remove, &QAbstractButton::clicked, view, [view] {
        const QModelIndexList rows = view->selectionModel()->selectedRows();
        if (!rows.isEmpty()) {
            view->model()->removeRow(rows.first().row());
        }
    });
}
} // namespace RowButtons
