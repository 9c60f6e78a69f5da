#pragma once
// A command's result in a test. On the manual clock every command ends inside its call; on the
// real clock (the pseudo-terminal pedal) the event loop runs until it ends.

#include "support/Clock.h"
#include "support/Task.h"

#include <QEventLoop>
#include <QTimer>
#include <optional>

template <typename T>
T finished(Task<T> task)
{
    QEventLoop loop;
    QTimer limit; // a command that never ends is a fault of its own: the test stops there
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [] { qFatal("a command did not end within 120 s"); });
    if constexpr (std::is_void_v<T>) {
        if (task.done())
            return;
        bool ended = false;
        std::move(task).then([&] {
            ended = true;
            loop.quit();
        });
        if (!ended) {
            limit.start(120000);
            loop.exec();
        }
    } else {
        if (task.done())
            return task.result();
        std::optional<T> result;
        std::move(task).then([&](T value) {
            result = std::move(value);
            loop.quit();
        });
        if (!result) {
            limit.start(120000);
            loop.exec();
        }
        return std::move(*result);
    }
}

// Lets up to ms pass on the clock with the event loop running (ended early by bytes arriving).
inline void waitOn(Clock &clock, int ms)
{
    finished([](Clock &c, int limit) -> Task<> { co_await c.activity(limit); }(clock, ms));
}
