#include "snghandler.h"

#include "serviceslog.h"

#include "platform/asyncprocess.h"
#include "platform/loggingreload.h"
#include "platform/paths.h"
#include "platform/servicecommand.h"

#include <KLocalizedString>

#include <QCoreApplication>
#include <QTimer>

#include <functional>
#include <utility>

namespace
{
const QString AuditUnit = QString::fromLatin1(ServiceCommand::AuditUnit);
const QString LoggingUnit = QString::fromLatin1(ServiceCommand::LoggingUnit);

// The configuration manager puts a snapshot's files back within this time.
constexpr int RollBackTimeoutMs = 120000;

// What a status command tells of its unit.
struct UnitAnswer {
    enum Kind {
        Running,
        Stopped,
        NoAnswer, // no answer in time
        Unknown, // no start, or a code that tells no state
    } kind = Unknown;
    QString reason; // why the state is not known
};

UnitAnswer unitAnswer(const QString &unit, const Process::Result &result, int timeoutMs)
{
    const QString command = ServiceCommand::text(QStringLiteral("status"), unit);
    if (!result.started) {
        return {UnitAnswer::Unknown, i18n("The command \"%1\" could not be started.", command)};
    }
    if (!result.finished) {
        return {UnitAnswer::NoAnswer, i18n("The command \"%1\" did not answer within %2 seconds.", command, (timeoutMs + 999) / 1000)};
    }
    // systemctl status: 0 running; 1 to 3 not running (dead, failed, inactive); 4 no such unit.
    if (result.exitCode == 0) {
        return {UnitAnswer::Running, QString()};
    }
    if (result.exitCode >= 1 && result.exitCode <= 3) {
        return {UnitAnswer::Stopped, QString()};
    }
    qCWarning(QUOR_SERVICES).noquote() << command << "exited with" << result.exitCode << result.output.trimmed();
    return {UnitAnswer::Unknown, i18n("The command \"%1\" ended with exit code %2, which does not tell the state.", command, result.exitCode)};
}

QString stateText(UnitAnswer::Kind state)
{
    switch (state) {
    case UnitAnswer::Running:
        return i18n("on");
    case UnitAnswer::Stopped:
        return i18n("off");
    case UnitAnswer::NoAnswer:
        return i18n("no answer");
    case UnitAnswer::Unknown:
        break;
    }
    return i18n("unknown");
}

// What the administrator must read of a failed command; empty when it succeeded.
QString failure(const QString &command, const Process::Result &result, int timeoutMs)
{
    QString text;
    if (!result.started) {
        text = i18n("The command \"%1\" could not be started.", command);
    } else if (!result.finished) {
        text = i18n("The command \"%1\" did not answer within %2 seconds.", command, (timeoutMs + 999) / 1000);
    } else if (result.exitCode != 0) {
        qCWarning(QUOR_SERVICES).noquote() << command << "exited with" << result.exitCode << QByteArray(result.output + result.errorOutput).trimmed();
        text = i18n("The command \"%1\" failed with exit code %2.", command, result.exitCode);
    } else {
        return QString();
    }
    const QString output = QString::fromUtf8(QByteArray(result.output + result.errorOutput)).trimmed();
    return output.isEmpty() ? text : text + QLatin1Char('\n') + output;
}
} // namespace

// One operation of the handler: its commands one after another, each next
// step chosen from the result of the one before.
class SngHandler::Job : public QObject
{
public:
    using Next = std::function<void(const Process::Result &)>;

    Job()
    {
        connect(&m_process, &AsyncProcess::finished, this, [this](const Process::Result &result) {
            Next next = std::move(m_next);
            m_next = nullptr;
            if (next) {
                next(result);
            }
        });
    }

    void run(const QString &program, const QStringList &arguments, int timeoutMs, Next next, Process::Channels channels = Process::Channels::Merged)
    {
        m_next = std::move(next);
        m_process.start(program, arguments, timeoutMs, channels);
    }
    void sudo(const QStringList &arguments, int timeoutMs, Next next)
    {
        run(QString::fromLatin1(ServiceCommand::Program), arguments, timeoutMs, std::move(next));
    }
    Process::Runner runner()
    {
        return m_process.runner();
    }
    void abandon()
    {
        m_next = nullptr;
        m_process.abandon();
    }

private:
    AsyncProcess m_process;
    Next m_next;
};

SngHandler *SngHandler::instance()
{
    static SngHandler handler;
    return &handler;
}

SngHandler::SngHandler()
{
    // For queued connections and signal spies.
    qRegisterMetaType<SngHandler::State>();
    qRegisterMetaType<SngHandler::Units>();
    qRegisterMetaType<SngHandler::RestartOutcome>();
    // The application's end comes before static objects go: the commands go with it.
    if (QCoreApplication::instance()) {
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &SngHandler::abandonAll);
    }
}

SngHandler::~SngHandler()
{
    abandonAll();
}

SngHandler::Units SngHandler::unitsReading(const QStringList &systemPaths)
{
    Units units;
    for (const QString &path : systemPaths) {
        if (path == Paths::EventsFile || path.startsWith(Paths::SyslogNgConfDir + QLatin1Char('/'))) {
            units |= Logging;
        } else if (path == Paths::AuditRulesFile) {
            units |= Audit;
        }
    }
    return units;
}

void SngHandler::setTimeLimits(int statusMs, int switchMs)
{
    m_statusLimitMs = statusMs;
    m_switchLimitMs = switchMs;
}

bool SngHandler::busy() const
{
    return !m_jobs.empty();
}

void SngHandler::abandonAll()
{
    for (const std::unique_ptr<Job> &job : m_jobs) {
        job->abandon();
    }
    m_jobs.clear();
}

SngHandler::Job *SngHandler::newJob()
{
    m_jobs.push_back(std::make_unique<Job>());
    return m_jobs.back().get();
}

void SngHandler::finishJob(Job *job)
{
    for (auto it = m_jobs.begin(); it != m_jobs.end(); ++it) {
        if (it->get() == job) {
            // Its last step is still running.
            it->release()->deleteLater();
            m_jobs.erase(it);
            return;
        }
    }
}

void SngHandler::syslogNgStart()
{
    Job *job = newJob();
    const int limit = m_switchLimitMs;
    auto failures = std::make_shared<QStringList>();
    const auto done = [this, job, failures] {
        finishJob(job);
        if (!failures->isEmpty()) {
            Q_EMIT switchFailed(failures->join(QStringLiteral("\n\n")));
        }
        Q_EMIT sngSwitched();
    };
    const auto startLogging = [job, limit, failures, done] {
        job->sudo(ServiceCommand::arguments(QStringLiteral("start"), LoggingUnit), limit, [limit, failures, done](const Process::Result &result) {
            const QString failed = failure(ServiceCommand::text(QStringLiteral("start"), LoggingUnit), result, limit);
            if (!failed.isEmpty()) {
                *failures << failed;
            }
            done();
        });
    };
    // The audit service is started only when it does not run: a restart would lose its queue.
    job->sudo(
        ServiceCommand::arguments(QStringLiteral("status"), AuditUnit),
        m_statusLimitMs,
        [job, limit, failures, startLogging, this](const Process::Result &status) {
            if (unitAnswer(AuditUnit, status, m_statusLimitMs).kind == UnitAnswer::Running) {
                startLogging();
                return;
            }
            job->sudo(ServiceCommand::arguments(QStringLiteral("start"), AuditUnit), limit, [limit, failures, startLogging](const Process::Result &result) {
                const QString failed = failure(ServiceCommand::text(QStringLiteral("start"), AuditUnit), result, limit);
                if (!failed.isEmpty()) {
                    *failures << failed;
                }
                startLogging();
            });
        });
}

void SngHandler::syslogNgStop()
{
    // The audit service keeps running: other parts of the system need it.
    Job *job = newJob();
    const int limit = m_switchLimitMs;
    job->sudo(ServiceCommand::arguments(QStringLiteral("stop"), LoggingUnit), limit, [this, job, limit](const Process::Result &result) {
        const QString failed = failure(ServiceCommand::text(QStringLiteral("stop"), LoggingUnit), result, limit);
        finishJob(job);
        if (!failed.isEmpty()) {
            Q_EMIT switchFailed(failed);
        }
        Q_EMIT sngSwitched();
    });
}

quint64 SngHandler::restart(Units units, const QString &snapshot)
{
    const quint64 id = ++m_lastRestart;
    runRestart(newJob(), id, units, snapshot);
    return id;
}

void SngHandler::runRestart(Job *job, quint64 id, Units units, const QString &snapshot)
{
    const int limit = m_switchLimitMs;
    auto outcome = std::make_shared<RestartOutcome>();
    outcome->ok = true;
    const std::function<void()> done = [this, job, id, outcome] {
        finishJob(job);
        Q_EMIT restartFinished(id, *outcome);
        Q_EMIT sngSwitched();
    };
    const std::function<void()> restartAudit = [job, units, limit, outcome, done] {
        if (!(units & Audit)) {
            done();
            return;
        }
        job->sudo(ServiceCommand::arguments(QStringLiteral("restart"), AuditUnit), limit, [limit, outcome, done](const Process::Result &result) {
            const QString failed = failure(ServiceCommand::text(QStringLiteral("restart"), AuditUnit), result, limit);
            if (!failed.isEmpty()) {
                outcome->ok = false;
                outcome->message = i18n("auditd did not restart with the new audit rules.\n\n%1", failed);
            }
            outcome->auditRestarted = failed.isEmpty();
            done();
        });
    };
    if (!units) {
        // Reported like every other end: after restart() has returned its number.
        QTimer::singleShot(0, job, done);
        return;
    }
    if (!(units & Logging)) {
        restartAudit();
        return;
    }
    const auto loggingDown = [outcome, snapshot](const QString &details) {
        outcome->ok = false;
        outcome->loggingDown = true;
        outcome->message = i18n(
            "syslog-ng refused the new configuration and did not start with the previous one either: logging is stopped.\n\n%1\n\n"
            "The configuration before the change is kept as the snapshot %2. Restore it (Settings, Import configuration, or "
            "\"velta-event-config-manager --restore %2\"), then start the logging service.",
            details,
            snapshot);
        qCWarning(QUOR_SERVICES).noquote() << "logging is stopped: syslog-ng started neither with the new configuration nor with the snapshot" << snapshot;
    };
    const int statusLimit = m_statusLimitMs;
    LoggingReload::run(job->runner(), statusLimit, limit, [=](const LoggingReload::Result &took) {
        if (took.ok()) {
            outcome->reloaded = took.reload;
            restartAudit();
            return;
        }
        const QString refused = failure(took.command, took.outcome, limit);
        if (snapshot.isEmpty()) {
            outcome->ok = false;
            if (took.refused()) {
                outcome->message = i18n(
                    "syslog-ng refused the new configuration and keeps running with the previous one, but no snapshot was taken before the "
                    "change to put its files back: the files on disk are the refused ones.\n\n%1",
                    refused);
            } else {
                outcome->loggingDown = true;
                outcome->message =
                    i18n("syslog-ng refused the new configuration, and no snapshot was taken before the change to go back to: logging is stopped.\n\n%1",
                         refused);
            }
            done();
            return;
        }
        // The files as they were before the change, then syslog-ng takes them:
        // after a refused reload it still runs them and loses nothing.
        qCWarning(QUOR_SERVICES).noquote() << "syslog-ng refused the new configuration; the snapshot" << snapshot << "is put back";
        const QString tool = Paths::placed(Paths::ConfigManagerTool);
        const QString rollBack = tool + QLatin1String(" --roll-back ") + snapshot;
        job->run(
            tool,
            {QStringLiteral("--roll-back"), snapshot},
            RollBackTimeoutMs,
            [=](const Process::Result &putBack) {
                const QString notPutBack = failure(rollBack, putBack, RollBackTimeoutMs);
                if (!notPutBack.isEmpty()) {
                    if (took.refused()) {
                        outcome->ok = false;
                        outcome->message = i18n(
                            "syslog-ng refused the new configuration and keeps running with the previous one, but its files could not be put back: "
                            "the files on disk are the refused ones.\n\n%1",
                            refused + QStringLiteral("\n\n") + notPutBack);
                    } else {
                        loggingDown(refused + QStringLiteral("\n\n") + notPutBack);
                    }
                    done();
                    return;
                }
                LoggingReload::run(job->runner(), statusLimit, limit, [=](const LoggingReload::Result &again) {
                    // A refused reload leaves the daemon with what it ran before the change: the files now on disk.
                    if (again.ok() || again.refused()) {
                        outcome->ok = false;
                        outcome->rolledBack = true;
                        outcome->message = took.refused()
                            ? i18n("syslog-ng refused the new configuration and kept running with the previous one; its files were put back.\n\n%1", refused)
                            : i18n("syslog-ng refused the new configuration and was restarted with the previous one.\n\n%1", refused);
                    } else {
                        loggingDown(refused + QStringLiteral("\n\n") + failure(again.command, again.outcome, limit));
                    }
                    done();
                });
            },
            Process::Channels::Separate);
    });
}

quint64 SngHandler::queryStatus()
{
    const quint64 query = ++m_lastQuery;
    runStatus(newJob(), query);
    return query;
}

void SngHandler::runStatus(Job *job, quint64 query)
{
    const int limit = m_statusLimitMs;
    job->sudo(ServiceCommand::arguments(QStringLiteral("status"), LoggingUnit), limit, [this, job, query, limit](const Process::Result &loggingResult) {
        const UnitAnswer logging = unitAnswer(LoggingUnit, loggingResult, limit);
        job->sudo(ServiceCommand::arguments(QStringLiteral("status"), AuditUnit),
                  limit,
                  [this, job, query, limit, logging](const Process::Result &auditResult) {
                      const UnitAnswer audit = unitAnswer(AuditUnit, auditResult, limit);
                      State state = State::Running;
                      Units stopped;
                      QStringList reasons;
                      for (const auto &[unit, answer] : {std::pair{Logging, logging}, std::pair{Audit, audit}}) {
                          if (answer.kind == UnitAnswer::Stopped) {
                              state = State::Stopped;
                              stopped |= unit;
                          } else if (answer.kind != UnitAnswer::Running && state != State::Stopped) {
                              state = State::Unknown;
                          }
                          if (!answer.reason.isEmpty()) {
                              reasons << answer.reason;
                          }
                      }
                      QString text = QStringLiteral("auditd: ") + stateText(audit.kind) + QStringLiteral(", syslog-ng: ") + stateText(logging.kind);
                      if (state == State::Unknown) {
                          text += QLatin1Char('\n') + reasons.join(QLatin1Char('\n'));
                      }
                      finishJob(job);
                      Q_EMIT statusReady(query, state, text, stopped);
                  });
    });
}
