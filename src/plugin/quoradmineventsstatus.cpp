// The logging service status under the tree, its start/stop button, and what
// the page says of the restarts its actions start.
#include "editors/plaintext.h"
#include "quoradminevents.h"

#include "ui_quoradminevents.h"

#include "editors/messagebox.h"
#include "services/snghandler.h"

#include <KColorScheme>
#include <KLocalizedString>

#include <QTimer>

void QuorAdminEvents::updateServiceStatus()
{
    // The answer arrives through showServiceStatus; the page stays usable meanwhile.
    m_askedStatusQuery = SngHandler::instance()->queryStatus();
}

void QuorAdminEvents::refreshServiceStatus()
{
    // A query that hangs is not joined by more: its time limit ends it.
    if (m_askedStatusQuery > m_shownStatusQuery) {
        return;
    }
    updateServiceStatus();
}

void QuorAdminEvents::showEvent(QShowEvent *event)
{
    ModulePage::showEvent(event);
    // The state can change behind the page's back (a crash, another tool).
    if (!m_statusTimer->isActive() && m_missingRights.isEmpty()) {
        m_statusTimer->start();
        refreshServiceStatus();
    }
}

void QuorAdminEvents::hideEvent(QHideEvent *event)
{
    m_statusTimer->stop();
    ModulePage::hideEvent(event);
}

void QuorAdminEvents::showServiceStatus(quint64 query, SngHandler::State state, const QString &text, SngHandler::Units stopped)
{
    // Queries may overtake each other; an older answer never replaces a newer one.
    if (query < m_shownStatusQuery) {
        return;
    }
    m_shownStatusQuery = query;
    QPushButton *button = ui->sngStartStopButton;
    if (state != m_serviceState || stopped != m_stoppedUnits || m_firstStatusUpdate) {
        m_serviceState = state;
        m_stoppedUnits = stopped;
        const bool running = state == SngHandler::State::Running;
        switch (state) {
        case SngHandler::State::Running:
            ui->sngStatusLabel->setText(i18n("Logging service is running."));
            break;
        case SngHandler::State::Stopped:
            // The line names the service that does not run.
            if (stopped == SngHandler::Audit) {
                ui->sngStatusLabel->setText(i18n("Audit service (auditd) stopped."));
            } else if (stopped == SngHandler::Logging) {
                ui->sngStatusLabel->setText(i18n("Logging service stopped."));
            } else {
                ui->sngStatusLabel->setText(i18n("Logging and audit services stopped."));
            }
            break;
        case SngHandler::State::Unknown:
            ui->sngStatusLabel->setText(i18n("Logging service status unknown"));
            break;
        }
        // Whatever is not known to run may be started: a start of a running unit changes nothing.
        if (running) {
            button->setIcon(QIcon::fromTheme(QStringLiteral("media-playback-stop")));
            button->setText(i18n("Stop logging service"));
            disconnect(button, &QPushButton::clicked, this, &QuorAdminEvents::startLoggingService);
            connect(button, &QPushButton::clicked, this, &QuorAdminEvents::stopLoggingService, Qt::UniqueConnection);
        } else {
            button->setIcon(QIcon::fromTheme(QStringLiteral("media-playback-start")));
            button->setText(i18n("Start logging service"));
            disconnect(button, &QPushButton::clicked, this, &QuorAdminEvents::stopLoggingService);
            connect(button, &QPushButton::clicked, this, &QuorAdminEvents::startLoggingService, Qt::UniqueConnection);
        }
        // A stopped service records nothing: the line stands out in the theme's
        // warning colour. An unknown state is not a stopped one: neutral.
        QPalette palette = ui->sngStatusLabel->parentWidget()->palette();
        if (state == SngHandler::State::Stopped) {
            palette.setColor(QPalette::WindowText, KColorScheme(QPalette::Active, KColorScheme::Window).foreground(KColorScheme::NegativeText).color());
        }
        ui->sngStatusLabel->setPalette(palette);
        m_firstStatusUpdate = false;
    }
    // Also after a switch that changed nothing (a failed start): the button must
    // not stay disabled and the tool tip must tell what runs now. While Apply
    // runs the services are its own.
    button->setEnabled(!m_applying);
    ui->sngStatusLabel->setToolTip(shownPlain(text));
}

void QuorAdminEvents::showServiceFailure(const QString &message)
{
    MessageBox::show(this, MessageBox::Kind::Error, i18n("Error"), message);
}

void QuorAdminEvents::startLoggingService()
{
    clearMessage();
    ui->sngStartStopButton->setEnabled(false);
    SngHandler::instance()->syslogNgStart();
}

void QuorAdminEvents::stopLoggingService()
{
    if (!MessageBox::confirm(this, i18n("Stop logging service"), i18n("While the logging service is stopped, security events are not recorded. Stop it?"))) {
        return;
    }
    clearMessage();
    ui->sngStartStopButton->setEnabled(false);
    SngHandler::instance()->syslogNgStop();
}

void QuorAdminEvents::clearMessage()
{
    m_pageRestart = 0;
    m_restartSummary.clear();
    ui->messageWidget->hide();
}

void QuorAdminEvents::restartFor(SngHandler::Units units, const QString &snapshot, const QString &summary)
{
    m_restartSummary = summary;
    if (!units) {
        m_pageRestart = 0;
        return;
    }
    m_pageRestart = SngHandler::instance()->restart(units, snapshot);
}

void QuorAdminEvents::showRestartOutcome(quint64 restart, const SngHandler::RestartOutcome &outcome)
{
    const bool ours = restart == m_pageRestart;
    if (outcome.ok) {
        // The banner of the action now says it is done.
        if (ours) {
            // A running syslog-ng reloads: it was not restarted, and said so.
            QString taken = i18n("The services that read the changed files were restarted.");
            if (outcome.reloaded) {
                taken = outcome.auditRestarted ? i18n("syslog-ng reloaded the changed files without a restart; auditd was restarted for its rules.")
                                               : i18n("syslog-ng reloaded the changed files without a restart.");
            }
            showMessage(ui->messageWidget->messageType(), m_restartSummary + QLatin1Char('\n') + taken);
        }
        return;
    }
    // A failure replaces whatever the page said, whoever started the restart.
    if (outcome.rolledBack) {
        // The files on disk are the previous ones again: the page shows them.
        load();
    }
    m_pageRestart = 0;
    showMessage(KMessageWidget::Error, outcome.message);
}
