#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

// Starts, stops and restarts syslog-ng together with auditd, and tells whether
// both run. One instance per process; switches and the asynchronous status
// query run in detached worker threads. Every command has a time limit.
class SngHandler : public QObject
{
    Q_OBJECT
public:
    static SngHandler *instance();
    ~SngHandler() override;

    void syslogNgStart() const;
    void syslogNgStop() const;
    void syslogNgRestart() const;

    // True when syslog-ng and auditd both run; rebuilds the status text. Blocks
    // the caller for at most two status time limits.
    bool status();
    QString statusText() const;

    // The same query in a worker thread: statusReady carries the answer and the
    // number returned here.
    quint64 queryStatus() const;

    // Time limits of one status command and of one switch command.
    void setTimeLimits(int statusMs, int switchMs);
    // Waits at most timeoutMs for the workers to end; true when none runs.
    bool waitForWorkers(int timeoutMs) const;

Q_SIGNALS:
    // Emitted from the worker thread once its commands have finished.
    void sngSwitched() const;
    // Emitted from the worker thread before sngSwitched when a command failed or
    // did not answer in time: each failed command with what it printed.
    void switchFailed(const QString &message) const;
    void statusReady(quint64 query, bool running, const QString &text) const;

private:
    enum class Action {
        Start,
        Stop,
        Restart,
    };

    SngHandler();
    void runDetached(std::function<void()> work) const;
    void runSwitch(Action action) const;
    // Both units' state and the status text.
    std::pair<bool, QString> queryBoth() const;

    QString m_statusText;
    std::atomic<int> m_statusLimitMs{10000};
    std::atomic<int> m_switchLimitMs{120000};
    mutable std::atomic<quint64> m_lastQuery{0};
    // Set when the plugin is unloaded: workers run no further command.
    std::atomic<bool> m_closing{false};

    // Workers still running; the destructor waits for them, for a bounded time,
    // so that no detached thread outlives the code it runs.
    mutable std::mutex m_workersMutex;
    mutable std::condition_variable m_workersDone;
    mutable int m_workers = 0;
};
