#pragma once

#include "configcheck.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Writes configuration files only when the tool that reads them accepts them,
// so that a restart never meets a file the service would refuse.
namespace CheckedWrite
{
struct Change {
    QString systemPath; // a file of the syslog-ng include folder
    QByteArray content;
    bool remove = false; // delete the file instead of writing content
};

// Checks the syslog-ng include folder with the changes on a staged copy; only
// when syslog-ng accepts it are the live files changed. When a live file cannot
// be changed, the files already changed are put back. The message tells what
// was refused or could not be written.
ConfigCheck::Result syslogNg(const QList<Change> &changes);

// Replaces one logrotate file with content only when logrotate accepts it; a
// refused content is not kept.
ConfigCheck::Result logrotate(const QString &systemPath, const QByteArray &content);

// Replaces a file (a placed path) whole or not at all. reason gets why the
// system refused it ("cannot create a temporary file: No such file or directory").
bool replaceFile(const QString &path, const QByteArray &data, QString *reason = nullptr);

// The text of a failed write: the file (a system path) and the reason.
QString writeFailure(const QString &systemPath, const QString &reason);
}
