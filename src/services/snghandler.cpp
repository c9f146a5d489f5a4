#include "snghandler.h"

#include "platform/process.h"

#include <KLocalizedString>

#include <thread>

namespace
{
const QString AuditUnit = QStringLiteral("auditd");
const QString LoggingUnit = QStringLiteral("syslog-ng");

// "sudo systemctl <verb> <unit>" without a time limit; its exit code.
int systemctl(const QString &verb, const QString &unit)
{
    return Process::run(QStringLiteral("sudo"), {QStringLiteral("systemctl"), verb, unit}).exitCode;
}

bool isRunning(const QString &unit)
{
    return systemctl(QStringLiteral("status"), unit) == 0;
}

QString onOff(bool on)
{
    return on ? i18n("on") : i18n("off");
}
} // namespace

SngHandler *SngHandler::instance()
{
    static SngHandler handler;
    return &handler;
}

SngHandler::SngHandler() = default;

SngHandler::~SngHandler()
{
    std::unique_lock<std::mutex> lock(m_workersMutex);
    m_workersDone.wait(lock, [this] {
        return m_workers == 0;
    });
}

void SngHandler::syslogNgStart() const
{
    switchDetached(Action::Start);
}

void SngHandler::syslogNgStop() const
{
    switchDetached(Action::Stop);
}

void SngHandler::syslogNgRestart() const
{
    switchDetached(Action::Restart);
}

void SngHandler::switchDetached(Action action) const
{
    {
        std::lock_guard<std::mutex> lock(m_workersMutex);
        ++m_workers;
    }
    std::thread([this, action] {
        runSwitch(action);
        Q_EMIT sngSwitched();
        std::lock_guard<std::mutex> lock(m_workersMutex);
        --m_workers;
        m_workersDone.notify_all();
    }).detach();
}

void SngHandler::runSwitch(Action action) const
{
    QString verb;
    switch (action) {
    case Action::Start:
        if (!isRunning(AuditUnit)) {
            systemctl(QStringLiteral("start"), AuditUnit);
        }
        verb = QStringLiteral("start");
        break;
    case Action::Stop:
        // The audit service keeps running: other parts of the system need it.
        verb = QStringLiteral("stop");
        break;
    case Action::Restart:
        systemctl(QStringLiteral("restart"), AuditUnit);
        verb = QStringLiteral("restart");
        break;
    }
    systemctl(verb, LoggingUnit);
}

bool SngHandler::status()
{
    const bool loggingRuns = isRunning(LoggingUnit);
    const bool auditRuns = isRunning(AuditUnit);
    m_statusText = QStringLiteral("auditd: ") + onOff(auditRuns) + QStringLiteral(", syslog-ng: ") + onOff(loggingRuns);
    return loggingRuns && auditRuns;
}

QString SngHandler::statusText() const
{
    return m_statusText;
}
