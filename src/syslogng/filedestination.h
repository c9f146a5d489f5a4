#pragma once

#include "destinationkind.h"

// The functions of the file kind of destination. Whether syslog-ng can write
// the file is checked before it is added: a path that passes every check but
// whose folder is missing loses records at run time with only an internal error.
namespace FileDestination
{
struct Check {
    // Why syslog-ng could not write the file; empty when it can.
    QString error;
    // The file's folder does not exist yet: syslog-ng has to create it.
    bool folderMissing = false;
};

// Looks at a system path (it is placed under the system root) as typed.
Check check(const QString &path);

// The path as typed, then the file's options as written.
QString shownValue(const QString &line);
// The path must be absolute, not a folder, and its folder makeable.
DestinationKind::AddressCheck checkAddress(const QString &address);
// The quoted path, the main log's line template, and the making of a missing folder.
QString optionValue(const NewDestination &destination, const TreeItem *root);
} // namespace FileDestination
