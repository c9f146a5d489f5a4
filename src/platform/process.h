#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

// Runs outside programs synchronously from the calling thread.
namespace Process
{
enum class Channels {
    Merged, // standard error goes into output
    Separate,
};

struct Result {
    bool started = false;
    bool finished = false; // false when it failed to start or the time limit passed
    int exitCode = -1; // the code as reported when the wait ended
    QByteArray output;
    QByteArray errorOutput;
};

// A negative timeout waits without a limit. The program is a name of the
// program table or an absolute (placed) path; it starts in the fixed
// environment of the table, with environment's variables added.
// The child reads inputFd (ours, left open) as its standard input, or nothing.
Result run(const QString &program,
           const QStringList &arguments,
           int timeoutMs = -1,
           Channels channels = Channels::Merged,
           const QProcessEnvironment &environment = QProcessEnvironment(),
           int inputFd = -1);

// How a piece of work that runs programs one after the other starts each: it
// hands the result to done, at once (waiting()) or later from the event loop
// (AsyncProcess::runner()). The work is written once for both.
using Done = std::function<void(const Result &)>;
using Runner = std::function<void(const QString &program, const QStringList &arguments, int timeoutMs, Channels channels, const Done &done)>;
Runner waiting();

// What a piece of work written against a runner hands to its done when it
// runs with waiting(): start gets the runner and the done to call.
template<typename Answer, typename Start>
Answer waitFor(const Start &start)
{
    Answer answer{};
    start(waiting(), [&answer](const Answer &given) {
        answer = given;
    });
    return answer;
}

// Appends what the non-blocking pipe fd holds now; false once the child's
// end is closed (or fd is -1, no pipe).
bool drain(int fd, QByteArray *into);

// Where a child's standard input comes from: nothing, or what we tell it.
enum class Input {
    None,
    Ours,
};

// A child started without waiting for it (see AsyncProcess), in a process
// group of its own so that whatever it starts in turn goes with it when it is
// killed. The reading ends of its pipes do not block; errors is -1 with the
// channels merged, input -1 unless it was asked for.
struct Child {
    int pid = -1;
    int input = -1;
    int output = -1;
    int errors = -1;
};
// False, logged, when the program could not be started.
bool start(const QString &program,
           const QStringList &arguments,
           Channels channels,
           Child *child,
           const QProcessEnvironment &environment = QProcessEnvironment(),
           Input input = Input::None);

// Writes text to a child's standard input and closes it: the child reads
// text and then its end. False when the child has no input from us or does
// not take it all (it has ended, say).
bool tell(Child *child, const QByteArray &text);

// Kills a child of start() with its process group, closes its pipes and reaps
// it if it ends within a moment; one that does not is reaped by a later call.
void kill(Child *child);

// The login name of the user behind this session ("logname"), without line breaks.
QString loginName();
}
