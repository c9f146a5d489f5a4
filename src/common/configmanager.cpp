#include "configmanager.h"

#include "platform/paths.h"
#include "platform/process.h"

namespace ConfigManager
{
bool run(const QString &option, const QString &archive)
{
    // No time limit: the archive may be large, and the user waits for the result.
    const Process::Result result = Process::run(Paths::placed(Paths::ConfigManagerTool), {option, archive});
    return result.finished && result.exitCode == 0;
}
} // namespace ConfigManager
