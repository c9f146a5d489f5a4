#include "process.h"

#include "platformlog.h"
#include "programs.h"

#include <QFile>

#include <algorithm>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace Process
{
namespace
{
using Clock = std::chrono::steady_clock;

QString commandLine(const QString &program, const QStringList &arguments)
{
    return (QStringList(program) + arguments).join(QLatin1Char(' '));
}

// A descriptor closed with its owner.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        reset();
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const
    {
        return m_fd;
    }
    void release()
    {
        m_fd = -1;
    }
    void reset(int fd = -1)
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd;
};

// A pipe whose reading end stays here, not blocking, and whose writing end
// becomes a descriptor of the child.
struct Pipe {
    Descriptor read;
    Descriptor write;
    bool open()
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return false;
        }
        read.reset(ends[0]);
        write.reset(ends[1]);
        return ::fcntl(ends[0], F_SETFL, O_NONBLOCK) == 0;
    }
};

// The child's standard input from us: a socket rather than a pipe, so that
// writing to a child that has ended fails instead of raising SIGPIPE here.
struct InputSocket {
    Descriptor ours;
    Descriptor childs;
    bool open()
    {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            return false;
        }
        ours.reset(ends[0]);
        childs.reset(ends[1]);
        // Only we write, only the child reads.
        return ::shutdown(ends[0], SHUT_RD) == 0 && ::shutdown(ends[1], SHUT_WR) == 0;
    }
};

// Null-terminated arrays of C strings over byte arrays kept alive here.
class CStrings
{
public:
    void append(const QByteArray &text)
    {
        m_texts.push_back(text);
    }
    char **data()
    {
        m_pointers.clear();
        for (QByteArray &text : m_texts) {
            m_pointers.push_back(text.data());
        }
        m_pointers.push_back(nullptr);
        return m_pointers.data();
    }

private:
    std::vector<QByteArray> m_texts;
    std::vector<char *> m_pointers;
};

// Milliseconds left until the deadline for poll(); -1 without one.
int remainingMs(const Clock::time_point *deadline)
{
    if (!deadline) {
        return -1;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return int(std::max<decltype(left)>(left, 0));
}

// Starts the child with posix_spawn: unlike fork, nothing of this process's
// memory is shared copy-on-write with it, so the large trees it holds are not
// faulted in page by page after every status query or check.
pid_t spawn(const QString &program,
            const QStringList &arguments,
            const QProcessEnvironment &environment,
            int inputFd,
            int outputFd,
            int errorFd,
            int *error,
            bool ownGroup = false)
{
    // Only programs of the table, by their placed path, and in the fixed
    // environment: nothing of what started us decides what runs.
    const QString path = Programs::located(program);
    if (path.isEmpty()) {
        *error = ENOENT;
        return -1;
    }
    CStrings argv;
    argv.append(QFile::encodeName(path));
    for (const QString &argument : arguments) {
        argv.append(argument.toLocal8Bit());
    }
    CStrings envp;
    const QStringList entries = Programs::environment(environment).toStringList();
    for (const QString &entry : entries) {
        envp.append(entry.toLocal8Bit());
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (inputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, inputFd, STDIN_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errorFd, STDERR_FILENO);
    // The child starts with no signal blocked and SIGPIPE back at its default,
    // whatever this process set for itself.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigaddset(&signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (ownGroup) {
        posix_spawnattr_setpgroup(&attributes, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attributes, flags);

    pid_t pid = -1;
    char **args = argv.data();
    *error = posix_spawn(&pid, args[0], &actions, &attributes, args, envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return *error == 0 ? pid : -1;
}

// Waits for the child while collecting its output; false when the deadline
// passed first. A descriptor of the process tells when it ends, so that a
// grandchild keeping the pipes open does not hold us.
bool collect(pid_t pid, int outputFd, int errorFd, const Clock::time_point *deadline, Result *result, int *status)
{
    Descriptor processFd(int(::syscall(SYS_pidfd_open, pid, 0)));
    bool outputOpen = true;
    bool errorOpen = errorFd >= 0;
    for (;;) {
        std::vector<pollfd> fds;
        if (processFd.get() >= 0) {
            fds.push_back({processFd.get(), POLLIN, 0});
        }
        if (outputOpen) {
            fds.push_back({outputFd, POLLIN, 0});
        }
        if (errorOpen) {
            fds.push_back({errorFd, POLLIN, 0});
        }
        // Without a process descriptor (an old kernel) the exit is looked for
        // between short waits.
        int wait = remainingMs(deadline);
        if (processFd.get() < 0) {
            wait = wait < 0 ? 10 : std::min(wait, 10);
        }
        const int ready = ::poll(fds.data(), nfds_t(fds.size()), wait);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (outputOpen) {
            outputOpen = drain(outputFd, &result->output);
        }
        if (errorOpen) {
            errorOpen = drain(errorFd, &result->errorOutput);
        }
        const pid_t reaped = ::waitpid(pid, status, WNOHANG);
        const bool reapedElsewhere = reaped < 0 && errno == ECHILD;
        if (reapedElsewhere) {
            *status = -1; // ended, with no code known
        }
        if (reaped == pid || reapedElsewhere) {
            // What it wrote before it ended is in the pipes now.
            drain(outputFd, &result->output);
            if (errorFd >= 0) {
                drain(errorFd, &result->errorOutput);
            }
            return true;
        }
        if (deadline && Clock::now() >= *deadline) {
            return false;
        }
    }
}

// Starts the program with its output (and its errors, when kept apart) on new
// pipes, whose writing ends are closed here once the child has them; -1, and a
// line in the log, when it could not be started. With input, its standard
// input comes from input's own end; otherwise it reads nothing.
pid_t spawnPiped(const QString &program,
                 const QStringList &arguments,
                 Channels channels,
                 const QProcessEnvironment &environment,
                 bool ownGroup,
                 Pipe *output,
                 Pipe *errors,
                 InputSocket *input = nullptr,
                 int inputFd = -1)
{
    const bool merged = channels == Channels::Merged;
    int error = 0;
    pid_t pid = -1;
    if (!output->open() || (!merged && !errors->open()) || (input && !input->open())) {
        error = errno;
    } else {
        pid = spawn(program,
                    arguments,
                    environment,
                    input ? input->childs.get() : inputFd,
                    output->write.get(),
                    merged ? output->write.get() : errors->write.get(),
                    &error,
                    ownGroup);
    }
    // Only the child writes now: its end of file is ours once it is done.
    output->write.reset();
    errors->write.reset();
    if (input) {
        input->childs.reset();
    }
    if (pid < 0) {
        qCWarning(QUOR_PLATFORM).noquote() << commandLine(program, arguments) << "could not be started:" << QString::fromLocal8Bit(std::strerror(error));
    }
    return pid;
}
}

Result run(const QString &program, const QStringList &arguments, int timeoutMs, Channels channels, const QProcessEnvironment &environment, int inputFd)
{
    Result result;
    const Clock::time_point deadlineTime = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    const Clock::time_point *deadline = timeoutMs < 0 ? nullptr : &deadlineTime;

    Pipe output;
    Pipe errors; // not opened with the channels merged: its ends stay -1
    const pid_t pid = spawnPiped(program, arguments, channels, environment, false, &output, &errors, nullptr, inputFd);
    if (pid < 0) {
        return result;
    }
    result.started = true;

    int status = 0;
    result.finished = collect(pid, output.read.get(), errors.read.get(), deadline, &result, &status);
    if (!result.finished) {
        qCWarning(QUOR_PLATFORM).noquote() << commandLine(program, arguments) << "gave no answer within" << timeoutMs << "ms; stopped";
        ::kill(pid, SIGKILL);
        const Clock::time_point grace = Clock::now() + std::chrono::seconds(1);
        while (::waitpid(pid, &status, WNOHANG) == 0 && Clock::now() < grace) {
            ::poll(nullptr, 0, 10);
        }
        return result;
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool drain(int fd, QByteArray *into)
{
    if (fd < 0) {
        return false;
    }
    char chunk[16 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) {
            into->append(chunk, int(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            return got < 0 && errno == EAGAIN; // EWOULDBLOCK is the same on Linux
        }
    }
}

Runner waiting()
{
    return [](const QString &program, const QStringList &arguments, int timeoutMs, Channels channels, const Done &done) {
        done(run(program, arguments, timeoutMs, channels));
    };
}

bool start(const QString &program, const QStringList &arguments, Channels channels, Child *child, const QProcessEnvironment &environment, Input input)
{
    Pipe output;
    Pipe errors; // as in run()
    InputSocket inputSocket;
    const pid_t pid = spawnPiped(program, arguments, channels, environment, true, &output, &errors, input == Input::Ours ? &inputSocket : nullptr);
    if (pid < 0) {
        return false;
    }
    // Our ends pass to the caller.
    child->pid = pid;
    child->input = inputSocket.ours.get();
    child->output = output.read.get();
    child->errors = errors.read.get();
    inputSocket.ours.release();
    output.read.release();
    errors.read.release();
    return true;
}

bool tell(Child *child, const QByteArray &text)
{
    if (child->input < 0) {
        return false;
    }
    qsizetype sent = 0;
    while (sent < text.size()) {
        const ssize_t now = ::send(child->input, text.constData() + sent, size_t(text.size() - sent), MSG_NOSIGNAL);
        if (now < 0 && errno == EINTR) {
            continue;
        }
        if (now <= 0) {
            break;
        }
        sent += now;
    }
    ::close(child->input);
    child->input = -1;
    return sent == text.size();
}

namespace
{
// Killed children that had not ended yet when they were killed.
std::vector<pid_t> &unreaped()
{
    static std::vector<pid_t> pids;
    return pids;
}
}

void kill(Child *child)
{
    auto &pending = unreaped();
    pending.erase(std::remove_if(pending.begin(),
                                 pending.end(),
                                 [](pid_t pid) {
                                     return ::waitpid(pid, nullptr, WNOHANG) != 0;
                                 }),
                  pending.end());
    for (int *fd : {&child->input, &child->output, &child->errors}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    if (child->pid <= 0) {
        return;
    }
    const pid_t pid = child->pid;
    child->pid = -1;
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    // A killed process ends at once unless the kernel holds it; it is not waited for.
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(100);
    while (::waitpid(pid, nullptr, WNOHANG) == 0) {
        if (Clock::now() >= until) {
            pending.push_back(pid);
            return;
        }
        ::poll(nullptr, 0, 2);
    }
}

QString loginName()
{
    // Only standard output is the name: "logname: no login name" on standard
    // error must not become one.
    const Result result = run(QStringLiteral("logname"), {}, 30000, Channels::Separate);
    return QString::fromUtf8(result.output).remove(QLatin1Char('\n'));
}
}
