#pragma once

class QuorAdminEvents;

// Apply runs its outside programs without blocking the page: save() starts it
// and the page says when it has ended.
namespace PageApply
{
// Runs Apply as the settings centre's button does and returns once it has
// ended (message boxes are answered meanwhile); false, and a test failure,
// when it did not end within the time limit.
bool run(QuorAdminEvents &page, int timeoutMs = 120000);
} // namespace PageApply
