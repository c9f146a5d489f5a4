#include "filesdialog.h"

FilesDialog::FilesDialog(QWidget *parent)
    : QDialog(parent)
{
}

FilesDialog::~FilesDialog() = default;

void FilesDialog::setMode(int mode)
{
    m_mode = mode;
}

void FilesDialog::setData(const QVariant &value)
{
    Q_UNUSED(value)
}
