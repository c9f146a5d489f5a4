#pragma once

#include <QString>
#include <QStringList>

// The on/off switches of audit event types. The store is a text file of the
// enabled type names, one per line; a missing file means every type is off.
namespace AuditDatabase
{
// The type names known to the audit subsystem.
const QStringList &typeNames();

// Whether the type is switched on. ok is false when the name is unknown or the
// store cannot be read, so the caller cannot tell the state. A store that is
// there but is no regular file, too large, or not UTF-8 text cannot be read:
// error then gets "<path>: <reason>".
bool isOn(const QString &name, bool *ok = nullptr, QString *error = nullptr);
// Both fail for an unknown name and when the store cannot be read or replaced,
// with the reason in error; a store that cannot be read is never replaced.
bool switchOn(const QString &name, QString *error = nullptr);
bool switchOff(const QString &name, QString *error = nullptr);
} // namespace AuditDatabase
