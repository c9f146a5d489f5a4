#pragma once

#include <QString>

// Hands root's notification configuration file to every user.
namespace NotifyrcDeployment
{
// Copies the file (a system path) into "<dir>/<user>/.config/" for every user
// directory of directory, and into the per-level homes when directory is the
// home directory. Returns how many users got the file.
int deploy(const QString &sourcePath, const QString &directory);
}
