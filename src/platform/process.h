#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

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

// A negative timeout waits without a limit. An empty environment inherits ours.
Result run(const QString &program,
           const QStringList &arguments,
           int timeoutMs = -1,
           Channels channels = Channels::Merged,
           const QProcessEnvironment &environment = QProcessEnvironment());

// The login name of the user behind this session ("logname"), without line breaks.
QString loginName();
}
