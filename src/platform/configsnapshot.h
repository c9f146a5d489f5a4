#pragma once

class QString;

// Keeps the managed files as they are now, before the module replaces some of
// them, by running the configuration manager with "--snapshot". A snapshot is
// a safety net: when it cannot be taken the write goes ahead, and the reason
// is logged.
namespace ConfigSnapshot
{
bool take(QString *errorText = nullptr);
}
