#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "process.h"

#include <functional>

// Runs the real tools on configuration files before they are used, so that a
// file the service would reject never reaches a restart.
namespace ConfigCheck
{
struct Result {
    bool accepted = false;
    QString message; // what the tool printed, or why it could not run
    bool changedOutside = false; // a writer found its file changed since it was read and wrote nothing
};

// A check's result, handed over when the programs it runs have ended: the
// checks that run programs take a runner (see Process::Runner) and a Done.
using Done = std::function<void(const Result &)>;

// "syslog-ng --syntax-only" on the system's main configuration with its
// include of "/etc/syslog-ng/conf.d" pointed at confDir (a placed path, the
// live folder or a staged copy). A system root without a main configuration
// gets a minimal one that includes confDir only; one that is there but cannot
// be read as text (a FIFO, a folder, a link loop, too large, not UTF-8) is
// refused with its path and reason. So is a confDir that holds anything
// other than regular files (includeFolderProblems). A configuration syslog-ng
// parses is still refused when one of its files names an object that nothing
// defines, or a Python class that cannot be imported: syslog-ng would then
// fail only when it starts. The message names the file, the line and the name.
Result syslogNg(const QString &confDir);
void syslogNg(const QString &confDir, const Process::Runner &run, const Done &done);

// One line "<system path>: <reason>" for each entry of an include folder (a
// placed path) that is not a regular file when links are followed: a FIFO,
// a folder, a device, a link to nothing or a link loop. syslog-ng opens each
// and would block on a FIFO or fail; nothing may be checked or restarted then.
QStringList includeFolderProblems(const QString &placedDir);

// One file of a syslog-ng configuration, under the path the messages give it.
struct ConfigFile {
    QString path;
    QByteArray text;
};

// A place in a configuration file where something is named.
struct Reference {
    QString path;
    int line = 0; // from 1
    QString kind; // "source", "destination", "filter", "parser", "rewrite", "template"; "class" for a Python class
    QString name;

    bool operator==(const Reference &other) const
    {
        return path == other.path && line == other.line && kind == other.kind && name == other.name;
    }
};

// The references to named objects that the files make (in log paths, in
// filters, in destinations' templates, ...) to objects that no top-level
// statement of the files or of definedElsewhere (the preprocessed whole
// configuration, which also holds what other includes bring) defines, in file
// order. References inside block definitions and Python code are not read:
// they mean something only where a block is used.
QList<Reference> undefinedReferences(const QList<ConfigFile> &files, const QByteArray &definedElsewhere = QByteArray());

// The classes that the files' python() drivers name, each place once.
QList<Reference> pythonClasses(const QList<ConfigFile> &files);

// The code of the files' top-level python {} blocks, in file order: the module
// in which syslog-ng looks up a class named without a module.
QByteArray pythonBlockCode(const QList<ConfigFile> &files);

// Imports each class with a short "python3" run, as syslog-ng's Python module
// would (its own module folder and PYTHONPATH first, its built-in module
// replaced by a stand-in), and refuses the first classes that cannot be.
Result importPythonClasses(const QList<Reference> &classes, const QByteArray &blockCode);
void importPythonClasses(const QList<Reference> &classes, const QByteArray &blockCode, const Process::Runner &run, const Done &done);

// How a reference is reported: "<path>:<line>: <what is missing>".
QString describe(const Reference &reference);

// "logrotate -d" on one logrotate file (a placed path). Under a system root the
// check runs on a copy whose log paths are placed under the root too, so that
// logrotate finds the log folders the file names. A refusal's message holds
// only the errors of the debug run, which prints its whole reasoning.
Result logrotate(const QString &file);
// What a refusing debug run of logrotate holds against a file, in its own
// words, from what it printed: its "error:" lines; without any, its
// "Handling 0 logs" (the file rotates nothing), else the last line it printed.
QStringList logrotateSays(const QByteArray &output);
void logrotate(const QString &file, const Process::Runner &run, const Done &done);
}
