#pragma once

// Asks the desktop session of the user behind sudo to reboot the system, through
// the window-manager tool. Waits up to 30 s; the outcome is not examined.
void requestReboot();
