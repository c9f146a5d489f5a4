#pragma once

#include "configcheck.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Writes configuration files only when the tool that reads them accepts them,
// so that a restart never meets a file the service would refuse.
namespace CheckedWrite
{
struct Change {
    QString systemPath; // a file of the syslog-ng include folder
    QByteArray content;
    bool remove = false; // delete the file instead of writing content
};

// Asked once a change has been accepted and is going to be written (a file
// really changes): false stops it before anything is written.
using BeforeWrite = std::function<bool()>;

// Checks the syslog-ng include folder with the changes on a staged copy; only
// when syslog-ng accepts it are the live files changed. When a live file cannot
// be changed, the files already changed are put back. The message tells what
// was refused or could not be written. changed gets the system paths whose
// content changed; a change that leaves a file as it is writes nothing.
ConfigCheck::Result syslogNg(const QList<Change> &changes, const BeforeWrite &beforeWrite = BeforeWrite(), QStringList *changed = nullptr);

// The two halves of syslogNg(), for a caller that writes more between them.
ConfigCheck::Result checkSyslogNg(const QList<Change> &changes);
ConfigCheck::Result writeSyslogNg(const QList<Change> &changes, const BeforeWrite &beforeWrite = BeforeWrite(), QStringList *changed = nullptr);

// Replaces one logrotate file with content only when logrotate accepts it; a
// refused content is not kept, an unchanged one not written.
ConfigCheck::Result logrotate(const QString &systemPath, const QByteArray &content, const BeforeWrite &beforeWrite = BeforeWrite());

// The message of a change stopped before it was written.
QString stoppedBeforeWrite();

// Replaces a file (a placed path) whole or not at all. reason gets why the
// system refused it ("cannot create a temporary file: No such file or directory").
bool replaceFile(const QString &path, const QByteArray &data, QString *reason = nullptr);

// The text of a failed write: the file (a system path) and the reason.
QString writeFailure(const QString &systemPath, const QString &reason);
}
