#pragma once

#include <QObject>
#include <QString>

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
    SngHandler();

    QString m_statusText;
};
