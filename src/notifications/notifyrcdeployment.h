#pragma once

#include <QString>
#include <QStringList>

// Hands root's notification configuration file to every user.
namespace NotifyrcDeployment
{
struct Report {
    int copied = 0; // users who got the file
    QStringList skipped; // "<path>: <reason>" for each home left alone
    QString error; // the source could not be read
};

// Copies the file (a system path) into "<dir>/<user>/.config/" for every user
// directory of directory, and into the per-level homes when directory is the
// home directory. A home whose path is unsafe, or that belongs to no user, is
// skipped and named; a home without ~/.config is left alone silently.
Report deploy(const QString &sourcePath, const QString &directory);
}
