#pragma once

#include "process.h"

#include <QObject>

#include <memory>

class QSocketNotifier;
class QTimer;

// Runs one outside program at a time without waiting for it: the event loop of
// the thread that starts it watches the child's process descriptor and pipes,
// and a timer its time limit. Nothing blocks and no thread is started.
class AsyncProcess : public QObject
{
    Q_OBJECT
public:
    explicit AsyncProcess(QObject *parent = nullptr);
    // Abandons a child still running.
    ~AsyncProcess() override;

    // finished() follows once, also when the program could not be started
    // (started false) or the time limit passed (finished false; the child is
    // killed). A child still running is abandoned first.
    // An empty environment inherits ours. With input Ours, the child reads
    // what tell() hands it.
    void start(const QString &program,
               const QStringList &arguments,
               int timeoutMs,
               Process::Channels channels = Process::Channels::Merged,
               const QProcessEnvironment &environment = QProcessEnvironment(),
               Process::Input input = Process::Input::None);
    bool isRunning() const;
    // Hands text to the child's standard input and closes it (Process::tell).
    bool tell(const QByteArray &text);
    // Starts each program on this object and hands its result to done, after
    // finished(); done goes with an abandoned child.
    Process::Runner runner();
    // Kills the child with everything it started; finished() does not follow.
    void abandon();

Q_SIGNALS:
    void finished(const Process::Result &result);

private:
    void readOutput();
    void checkExit();
    void timedOut();
    void end(bool exited, int status);
    void report(const Process::Result &result);
    void clearWatchers();

    Process::Child m_child;
    Process::Result m_result;
    QString m_command; // for the log
    Process::Done m_done; // of the runner's start
    int m_timeoutMs = 0;
    int m_processFd = -1; // the child's process descriptor; -1 on kernels without one
    std::unique_ptr<QSocketNotifier> m_exitNotifier;
    std::unique_ptr<QSocketNotifier> m_outputNotifier;
    std::unique_ptr<QSocketNotifier> m_errorNotifier;
    QTimer *m_deadline = nullptr; // Owned by this object.
    QTimer *m_exitPoll = nullptr; // Owned by this object; without a process descriptor only.
};
