#include "diskspacemondialog.h"

DiskSpaceMonDialog::DiskSpaceMonDialog(QWidget *parent)
    : QDialog(parent)
{
}

DiskSpaceMonDialog::~DiskSpaceMonDialog() = default;

void DiskSpaceMonDialog::setData(const QString &jsonText)
{
    Q_UNUSED(jsonText)
}
