// The logging service status under the tree and its start/stop button.
#include "quoradminevents.h"

#include "ui_quoradminevents.h"

#include "services/snghandler.h"

#include <KLocalizedString>

#include <QMessageBox>

void QuorAdminEvents::updateServiceStatus()
{
    // The answer arrives through showServiceStatus; the page stays usable meanwhile.
    SngHandler::instance()->queryStatus();
}

void QuorAdminEvents::showServiceStatus(quint64 query, bool running, const QString &text)
{
    // Queries may overtake each other; an older answer never replaces a newer one.
    if (query < m_shownStatusQuery) {
        return;
    }
    m_shownStatusQuery = query;
    QPushButton *button = ui->sngStartStopButton;
    if (running != m_serviceRunning || m_firstStatusUpdate) {
        m_serviceRunning = running;
        if (running) {
            ui->sngStatusLabel->setText(i18n("Logging service is running."));
            button->setIcon(QIcon::fromTheme(QStringLiteral("media-playback-stop")));
            button->setText(i18n("Stop logging service"));
            disconnect(button, &QPushButton::clicked, this, &QuorAdminEvents::startLoggingService);
            connect(button, &QPushButton::clicked, this, &QuorAdminEvents::stopLoggingService, Qt::UniqueConnection);
        } else {
            ui->sngStatusLabel->setText(i18n("Logging service stopped."));
            button->setIcon(QIcon::fromTheme(QStringLiteral("media-playback-start")));
            button->setText(i18n("Start logging service"));
            disconnect(button, &QPushButton::clicked, this, &QuorAdminEvents::stopLoggingService);
            connect(button, &QPushButton::clicked, this, &QuorAdminEvents::startLoggingService, Qt::UniqueConnection);
        }
        m_firstStatusUpdate = false;
    }
    // Also after a switch that changed nothing (a failed start): the button must
    // not stay disabled and the tool tip must tell what runs now.
    button->setEnabled(true);
    ui->sngStatusLabel->setToolTip(text);
}

void QuorAdminEvents::showServiceFailure(const QString &message)
{
    QMessageBox::critical(this, i18n("Error"), message, QMessageBox::Ok);
}

void QuorAdminEvents::startLoggingService()
{
    ui->sngStartStopButton->setEnabled(false);
    SngHandler::instance()->syslogNgStart();
}

void QuorAdminEvents::stopLoggingService()
{
    ui->sngStartStopButton->setEnabled(false);
    SngHandler::instance()->syslogNgStop();
}
