#pragma once

class QString;

// The configuration manager tool that saves and restores the whole configuration.
namespace ConfigManager
{
// Runs the tool with option ("-o" or "-i") and the archive path as given; true when it exited with 0.
bool run(const QString &option, const QString &archive);
} // namespace ConfigManager
