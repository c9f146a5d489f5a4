#include "asyncprocess.h"

#include "platformlog.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

AsyncProcess::AsyncProcess(QObject *parent)
    : QObject(parent)
    , m_deadline(new QTimer(this))
    , m_exitPoll(new QTimer(this))
{
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, &AsyncProcess::timedOut);
    m_exitPoll->setInterval(20);
    connect(m_exitPoll, &QTimer::timeout, this, &AsyncProcess::checkExit);
}

AsyncProcess::~AsyncProcess()
{
    abandon();
}

bool AsyncProcess::isRunning() const
{
    return m_child.pid > 0;
}

void AsyncProcess::start(const QString &program,
                         const QStringList &arguments,
                         int timeoutMs,
                         Process::Channels channels,
                         const QProcessEnvironment &environment,
                         Process::Input input)
{
    abandon();
    m_result = Process::Result();
    m_command = (QStringList(program) + arguments).join(QLatin1Char(' '));
    m_timeoutMs = timeoutMs;
    if (!Process::start(program, arguments, channels, &m_child, environment, input)) {
        // Reported like every other end: after start() has returned.
        QTimer::singleShot(0, this, [this, result = m_result] {
            report(result);
        });
        return;
    }
    m_result.started = true;
    m_processFd = int(::syscall(SYS_pidfd_open, m_child.pid, 0));
    if (m_processFd >= 0) {
        m_exitNotifier = std::make_unique<QSocketNotifier>(m_processFd, QSocketNotifier::Read);
        connect(m_exitNotifier.get(), &QSocketNotifier::activated, this, &AsyncProcess::checkExit);
    } else {
        m_exitPoll->start();
    }
    m_outputNotifier = std::make_unique<QSocketNotifier>(m_child.output, QSocketNotifier::Read);
    connect(m_outputNotifier.get(), &QSocketNotifier::activated, this, &AsyncProcess::readOutput);
    if (m_child.errors >= 0) {
        m_errorNotifier = std::make_unique<QSocketNotifier>(m_child.errors, QSocketNotifier::Read);
        connect(m_errorNotifier.get(), &QSocketNotifier::activated, this, &AsyncProcess::readOutput);
    }
    if (timeoutMs >= 0) {
        m_deadline->start(timeoutMs);
    }
}

bool AsyncProcess::tell(const QByteArray &text)
{
    return Process::tell(&m_child, text);
}

void AsyncProcess::readOutput()
{
    // A closed pipe stays readable: its watcher goes, the exit is watched elsewhere.
    if (m_outputNotifier && !Process::drain(m_child.output, &m_result.output)) {
        m_outputNotifier.reset();
    }
    if (m_errorNotifier && !Process::drain(m_child.errors, &m_result.errorOutput)) {
        m_errorNotifier.reset();
    }
}

void AsyncProcess::checkExit()
{
    if (m_child.pid <= 0) {
        return;
    }
    int status = 0;
    const pid_t reaped = ::waitpid(m_child.pid, &status, WNOHANG);
    if (reaped == m_child.pid) {
        end(true, status);
    } else if (reaped < 0 && errno == ECHILD) {
        end(true, -1); // reaped elsewhere: ended, with no code known
    }
}

void AsyncProcess::timedOut()
{
    if (m_child.pid > 0) {
        qCWarning(QUOR_PLATFORM).noquote() << m_command << "gave no answer within" << m_timeoutMs << "ms; stopped";
        end(false, 0);
    }
}

void AsyncProcess::end(bool exited, int status)
{
    // What it wrote before it ended is in the pipes now.
    Process::drain(m_child.output, &m_result.output);
    Process::drain(m_child.errors, &m_result.errorOutput);
    clearWatchers();
    if (exited) {
        m_child.pid = -1; // reaped
        m_result.exitCode = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    Process::kill(&m_child);
    m_result.finished = exited;
    // A copy: a receiver may start the next program at once.
    report(Process::Result(m_result));
}

void AsyncProcess::report(const Process::Result &result)
{
    const Process::Done done = std::exchange(m_done, Process::Done());
    Q_EMIT finished(result);
    if (done) {
        done(result);
    }
}

Process::Runner AsyncProcess::runner()
{
    return [this](const QString &program, const QStringList &arguments, int timeoutMs, Process::Channels channels, const Process::Done &done) {
        start(program, arguments, timeoutMs, channels);
        m_done = done;
    };
}

void AsyncProcess::clearWatchers()
{
    m_deadline->stop();
    m_exitPoll->stop();
    m_exitNotifier.reset();
    m_outputNotifier.reset();
    m_errorNotifier.reset();
    if (m_processFd >= 0) {
        ::close(m_processFd);
        m_processFd = -1;
    }
}

void AsyncProcess::abandon()
{
    m_done = Process::Done();
    if (m_child.pid <= 0 && m_child.output < 0 && m_child.input < 0) {
        return;
    }
    clearWatchers();
    Process::kill(&m_child);
}
