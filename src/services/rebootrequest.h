#pragma once

#include <functional>

class QString;

class AsyncProcess;

// Asks the desktop session of the user behind sudo to reboot the system, through
// the window-manager tool started on process, which is not to run anything
// else meanwhile. done follows when the tool has ended or after 30 s, with
// what went wrong for the administrator to read; empty when the tool took the
// request.
void requestReboot(AsyncProcess *process, const std::function<void(const QString &failure)> &done);
