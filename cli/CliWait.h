#pragma once
// The tool runs one command at a time: the application's event loop runs until the command's
// steps have ended (every wait in them has a time limit), then its result is read.

#include "support/Clock.h"
#include "support/Task.h"

#include <QEventLoop>
#include <optional>

namespace Cli {

template <typename T>
T finish(Task<T> task)
{
    if constexpr (std::is_void_v<T>) {
        if (task.done())
            return;
        QEventLoop loop;
        bool ended = false;
        std::move(task).then([&] {
            ended = true;
            loop.quit();
        });
        if (!ended)
            loop.exec();
    } else {
        if (task.done())
            return *task.result();
        QEventLoop loop;
        std::optional<T> result;
        std::move(task).then([&](T value) {
            result = std::move(value);
            loop.quit();
        });
        if (!result)
            loop.exec();
        return std::move(*result);
    }
}

// Lets ms pass with the event loop running (ended early by bytes arriving).
inline Task<> activity(Clock &clock, int ms) { co_await clock.activity(ms); }

} // namespace Cli
