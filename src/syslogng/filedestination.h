#pragma once

#include <QString>

// Whether syslog-ng can write the file of a new file destination: a path that
// passes every check but whose folder is missing loses records at run time with
// only an internal error.
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
} // namespace FileDestination
