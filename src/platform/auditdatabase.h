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
// store cannot be read, so the caller cannot tell the state.
bool isOn(const QString &name, bool *ok = nullptr);
// Both fail for an unknown name and when the store cannot be read or replaced.
bool switchOn(const QString &name);
bool switchOff(const QString &name);
} // namespace AuditDatabase
