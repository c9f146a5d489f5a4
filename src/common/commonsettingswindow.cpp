#include "commonsettingswindow.h"

CommonSettingsWindow::CommonSettingsWindow(QWidget *parent)
    : QDialog(parent)
{
}

CommonSettingsWindow::~CommonSettingsWindow() = default;

void CommonSettingsWindow::open()
{
    QDialog::open();
}
