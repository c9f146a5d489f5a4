#pragma once

#include <QObject>
#include <QString>

#include <condition_variable>
#include <mutex>

// Starts, stops and restarts syslog-ng together with auditd, and tells whether
// both run. One instance per process; switches run in detached worker threads.
class SngHandler : public QObject
{
    Q_OBJECT
public:
    static SngHandler *instance();
    ~SngHandler() override;

    void syslogNgStart() const;
    void syslogNgStop() const;
    void syslogNgRestart() const;

    // True when syslog-ng and auditd both run; rebuilds the status text.
    bool status();
    QString statusText() const;

Q_SIGNALS:
    // Emitted from the worker thread once its commands have finished.
    void sngSwitched() const;

private:
    enum class Action {
        Start,
        Stop,
        Restart,
    };

    SngHandler();
    void switchDetached(Action action) const;
    void runSwitch(Action action) const;

    QString m_statusText;

    // Workers still running; the destructor waits for them so that no detached
    // thread outlives the code it runs when the plugin is unloaded.
    mutable std::mutex m_workersMutex;
    mutable std::condition_variable m_workersDone;
    mutable int m_workers = 0;
};
