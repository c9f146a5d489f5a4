#pragma once

#include <QFlags>
#include <QObject>
#include <QString>
#include <QStringList>

#include <list>
#include <memory>

// Starts, stops and restarts syslog-ng and auditd, and tells whether both run.
// One instance per process, in the GUI thread: every command runs as an
// asynchronous outside program with a time limit, so nothing waits on the GUI
// thread, and everything still running is abandoned (killed, its result
// ignored) at once when the instance goes.
class SngHandler : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Running, // syslog-ng and auditd both run
        Stopped, // one of them does not
        Unknown, // a query gave no answer that tells
    };
    Q_ENUM(State)

    enum Unit {
        Logging = 0x1, // syslog-ng
        Audit = 0x2, // auditd
    };
    Q_DECLARE_FLAGS(Units, Unit)

    struct RestartOutcome {
        bool ok = false; // every unit asked for runs with the new files
        bool rolledBack = false; // syslog-ng refused them and runs with the snapshot's
        bool loggingDown = false; // syslog-ng started with neither
        bool reloaded = false; // syslog-ng ran and took the new files by a reload, losing no record
        bool auditRestarted = false; // auditd was restarted for its rules
        QString message; // what went wrong, for the administrator; empty when ok
    };

    static SngHandler *instance();
    ~SngHandler() override;

    // The units that read the files at these system paths.
    static Units unitsReading(const QStringList &systemPaths);

    void syslogNgStart();
    void syslogNgStop();

    // Restarts the units, syslog-ng first. When syslog-ng does not start with
    // the new files and a snapshot is named (the one taken before they were
    // written), the snapshot's files are put back and syslog-ng is restarted
    // once more; auditd then keeps running with its files, which are back as
    // they were. restartFinished and sngSwitched follow; no units, no commands.
    quint64 restart(Units units, const QString &snapshot);

    // The state of both units: statusReady carries the answer and the number
    // returned here.
    quint64 queryStatus();

    // Time limits of one status command and of one switch command.
    void setTimeLimits(int statusMs, int switchMs);
    // Whether a command runs or waits to.
    bool busy() const;
    // Kills every running command; none of their results is reported.
    void abandonAll();

Q_SIGNALS:
    // A start, stop or restart has ended.
    void sngSwitched();
    // Before sngSwitched when a start or stop failed or did not answer in time:
    // each failed command with what it printed.
    void switchFailed(const QString &message);
    void restartFinished(quint64 restart, const SngHandler::RestartOutcome &outcome);
    // text: each unit's state, then why a state is not known; stopped: the
    // units known not to run.
    void statusReady(quint64 query, SngHandler::State state, const QString &text, SngHandler::Units stopped);

private:
    class Job;

    SngHandler();
    Job *newJob();
    void finishJob(Job *job);
    void runStatus(Job *job, quint64 query);
    void runRestart(Job *job, quint64 id, Units units, const QString &snapshot);

    int m_statusLimitMs = 10000;
    int m_switchLimitMs = 120000;
    quint64 m_lastQuery = 0;
    quint64 m_lastRestart = 0;
    std::list<std::unique_ptr<Job>> m_jobs;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(SngHandler::Units)
Q_DECLARE_METATYPE(SngHandler::RestartOutcome)
Q_DECLARE_METATYPE(SngHandler::Units)
