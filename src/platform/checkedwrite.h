#pragma once

#include "configcheck.h"
#include "filestamp.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Writes configuration files only when the tool that reads them accepts them,
// so that a restart never meets a file the service would refuse.
namespace CheckedWrite
{
struct Change {
    QString systemPath; // a file of the syslog-ng include folder
    QByteArray content;
    bool remove = false; // delete the file instead of writing content
    // What the writer read of the file; when given, the file is changed only
    // while it still holds that.
    std::optional<FileStamp> expected = std::nullopt;
};

// Asked once a change has been accepted and is going to be written (a file
// really changes); it hands false to goOn to stop it before anything is written.
using GoOn = std::function<void(bool goOn)>;
using BeforeWrite = std::function<void(const GoOn &goOn)>;

// A write's result and the system paths whose content changed.
using Written = std::function<void(const ConfigCheck::Result &result, const QStringList &changed)>;

// Checks the syslog-ng include folder with the changes on a staged copy; only
// when syslog-ng accepts it are the live files changed. When a live file cannot
// be changed, the files already changed are put back. The message tells what
// was refused or could not be written. A file that no longer holds what its
// change expects stops every change before anything is written, and the result
// says changedOutside. changed gets the system paths whose content changed; a
// change that leaves a file as it is writes nothing. The check runs through run.
void syslogNg(const QList<Change> &changes, const Process::Runner &run, const BeforeWrite &beforeWrite, const Written &done);

// The two halves of syslogNg(), for a caller that writes more between them.
void checkSyslogNg(const QList<Change> &changes, const Process::Runner &run, const ConfigCheck::Done &done);
ConfigCheck::Result writeSyslogNg(const QList<Change> &changes, QStringList *changed = nullptr);

// Replaces one logrotate file with content only when logrotate accepts it; a
// refused content is not kept, an unchanged one not written. With expected,
// only while the file still holds what was read. The check runs through run.
void logrotate(const QString &systemPath,
               const QByteArray &content,
               const std::optional<FileStamp> &expected,
               const Process::Runner &run,
               const BeforeWrite &beforeWrite,
               const ConfigCheck::Done &done);

// The message of a change stopped before it was written.
QString stoppedBeforeWrite();

// The result of a writer that found systemPath changed since it was read.
ConfigCheck::Result changedOutside(const QString &systemPath);

// Replaces a file (a placed path) whole or not at all. reason gets why the
// system refused it ("cannot create a temporary file: No such file or directory").
bool replaceFile(const QString &path, const QByteArray &data, QString *reason = nullptr);

// The text of a failed write: the file (a system path) and the reason.
QString writeFailure(const QString &systemPath, const QString &reason);
}
