#include "dbusdialog.h"

DBusDialog::DBusDialog(QWidget *parent)
    : QDialog(parent)
{
}

DBusDialog::~DBusDialog() = default;

void DBusDialog::setDialogType(NotificationsDialogType type)
{
    m_dialogType = type;
}

void DBusDialog::fill(EventTreeItem *event)
{
    Q_UNUSED(event)
}
