#pragma once

#include "platform/asyncprocess.h"

#include <optional>

// A program run on the event loop, and what it ended with once it has.
struct WatchedChild {
    WatchedChild()
    {
        QObject::connect(&process, &AsyncProcess::finished, &process, [this](const Process::Result &result) {
            ended = result;
        });
    }
    WatchedChild(const WatchedChild &) = delete;
    WatchedChild &operator=(const WatchedChild &) = delete;

    AsyncProcess process;
    std::optional<Process::Result> ended;
};
