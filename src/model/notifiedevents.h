#pragma once

#include <QDir>
#include <QSet>
#include <QString>
#include <QStringList>

// The process-wide set of events that have a per-event notification file, as
// file identifiers ("message_id" with "_" written as "-"): the names of the
// files "mod-velta-<identifier>.conf" in the syslog-ng include directory.
namespace NotifiedEvents
{
const QSet<QString> &ids();
// Reads the include directory again.
void rebuild();
// Whether the event with this "message_id" has a notification file.
bool contains(const QString &messageId);
// The file identifier of a "message_id".
QString fileIdentifier(const QString &messageId);
// The system path of the per-event file of a "message_id" (or of its file identifier).
QString filePath(const QString &messageId);
// The names of the include directory's entries named like a per-event file,
// sorted; filters as QDir takes them.
QStringList fileNames(QDir::Filters filters);
// The file identifier in such a name.
QString identifierOfFileName(const QString &name);
}
