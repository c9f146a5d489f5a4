#include "snghandler.h"

#include "serviceslog.h"

#include "platform/process.h"

#include <KLocalizedString>

#include <QStringList>

#include <chrono>
#include <thread>

namespace
{
const QString AuditUnit = QStringLiteral("auditd");
const QString LoggingUnit = QStringLiteral("syslog-ng");

enum class UnitState {
    Running,
    Stopped,
    NoAnswer,
};

// "sudo systemctl <verb> <unit>" within the time limit.
Process::Result systemctl(const QString &verb, const QString &unit, int timeoutMs)
{
    return Process::run(QStringLiteral("sudo"), {QStringLiteral("systemctl"), verb, unit}, timeoutMs);
}

UnitState unitState(const QString &unit, int timeoutMs)
{
    const Process::Result result = systemctl(QStringLiteral("status"), unit, timeoutMs);
    if (!result.finished) {
        return UnitState::NoAnswer;
    }
    return result.exitCode == 0 ? UnitState::Running : UnitState::Stopped;
}

QString stateText(UnitState state)
{
    switch (state) {
    case UnitState::Running:
        return i18n("on");
    case UnitState::Stopped:
        return i18n("off");
    case UnitState::NoAnswer:
        break;
    }
    return i18n("no answer");
}

// What the administrator must read of a failed command; empty when it succeeded.
QString failure(const QString &verb, const QString &unit, const Process::Result &result, int timeoutMs)
{
    const QString command = QStringLiteral("sudo systemctl %1 %2").arg(verb, unit);
    QString text;
    if (!result.started) {
        text = i18n("The command \"%1\" could not be started.", command);
    } else if (!result.finished) {
        text = i18n("The command \"%1\" did not answer within %2 seconds.", command, (timeoutMs + 999) / 1000);
    } else if (result.exitCode != 0) {
        qCWarning(QUOR_SERVICES).noquote() << command << "exited with" << result.exitCode << result.output.trimmed();
        text = i18n("The command \"%1\" failed with exit code %2.", command, result.exitCode);
    } else {
        return QString();
    }
    const QString output = QString::fromUtf8(result.output).trimmed();
    return output.isEmpty() ? text : text + QLatin1Char('\n') + output;
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
    m_closing = true;
    // A worker runs at most one more command, which ends within its limit.
    waitForWorkers(std::max(m_statusLimitMs.load(), m_switchLimitMs.load()) + 2000);
}

bool SngHandler::waitForWorkers(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_workersMutex);
    return m_workersDone.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return m_workers == 0;
    });
}

void SngHandler::setTimeLimits(int statusMs, int switchMs)
{
    m_statusLimitMs = statusMs;
    m_switchLimitMs = switchMs;
}

void SngHandler::syslogNgStart() const
{
    runDetached([this] {
        runSwitch(Action::Start);
    });
}

void SngHandler::syslogNgStop() const
{
    runDetached([this] {
        runSwitch(Action::Stop);
    });
}

void SngHandler::syslogNgRestart() const
{
    runDetached([this] {
        runSwitch(Action::Restart);
    });
}

quint64 SngHandler::queryStatus() const
{
    const quint64 query = ++m_lastQuery;
    runDetached([this, query] {
        const auto [running, text] = queryBoth();
        Q_EMIT statusReady(query, running, text);
    });
    return query;
}

void SngHandler::runDetached(std::function<void()> work) const
{
    {
        std::lock_guard<std::mutex> lock(m_workersMutex);
        ++m_workers;
    }
    std::thread([this, work = std::move(work)] {
        work();
        std::lock_guard<std::mutex> lock(m_workersMutex);
        --m_workers;
        m_workersDone.notify_all();
    }).detach();
}

void SngHandler::runSwitch(Action action) const
{
    const int limit = m_switchLimitMs;
    QStringList failures;
    const auto run = [&](const QString &verb, const QString &unit) {
        if (m_closing) {
            return;
        }
        const QString failed = failure(verb, unit, systemctl(verb, unit, limit), limit);
        if (!failed.isEmpty()) {
            failures << failed;
        }
    };
    QString verb;
    switch (action) {
    case Action::Start:
        if (!m_closing && unitState(AuditUnit, m_statusLimitMs) != UnitState::Running) {
            run(QStringLiteral("start"), AuditUnit);
        }
        verb = QStringLiteral("start");
        break;
    case Action::Stop:
        // The audit service keeps running: other parts of the system need it.
        verb = QStringLiteral("stop");
        break;
    case Action::Restart:
        run(QStringLiteral("restart"), AuditUnit);
        verb = QStringLiteral("restart");
        break;
    }
    run(verb, LoggingUnit);
    if (!failures.isEmpty()) {
        Q_EMIT switchFailed(failures.join(QStringLiteral("\n\n")));
    }
    Q_EMIT sngSwitched();
}

std::pair<bool, QString> SngHandler::queryBoth() const
{
    const int limit = m_statusLimitMs;
    const UnitState logging = m_closing ? UnitState::NoAnswer : unitState(LoggingUnit, limit);
    const UnitState audit = m_closing ? UnitState::NoAnswer : unitState(AuditUnit, limit);
    const QString text = QStringLiteral("auditd: ") + stateText(audit) + QStringLiteral(", syslog-ng: ") + stateText(logging);
    return {logging == UnitState::Running && audit == UnitState::Running, text};
}

bool SngHandler::status()
{
    const auto [running, text] = queryBoth();
    m_statusText = text;
    return running;
}

QString SngHandler::statusText() const
{
    return m_statusText;
}
