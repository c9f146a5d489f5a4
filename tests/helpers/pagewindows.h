#pragma once

class QuorAdminEvents;

// The page makes its windows when they are first opened. Tests that look into
// them open each once, as the administrator would, and close it again.
namespace PageWindows
{
// The common parameters window, the notification settings dialog, and the
// editors of a file list and of the monitored directories. The page must be
// loaded. False when one of them was not made.
bool openEach(QuorAdminEvents &module);
} // namespace PageWindows
