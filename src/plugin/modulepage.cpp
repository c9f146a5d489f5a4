#include "modulepage.h"

ModulePage::ModulePage(QWidget *parent, const QVariantList &)
    : QWidget(parent)
{
}

void ModulePage::showEvent(QShowEvent *event)
{
    if (m_loadWhenFirstShown) {
        m_loadWhenFirstShown = false;
        // After the showing, as KF5's module does.
        QMetaObject::invokeMethod(this, &ModulePage::load, Qt::QueuedConnection);
        QMetaObject::invokeMethod(
            this,
            [this] {
                Q_EMIT changed(false);
            },
            Qt::QueuedConnection);
    }
    QWidget::showEvent(event);
}
