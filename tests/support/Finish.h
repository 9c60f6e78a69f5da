#pragma once
// A command's result in a test. On the manual clock every command ends inside its call; on the
// real clock (the pseudo-terminal pedal) the event loop runs until it ends, as in the tool.

#include "cli/CliWait.h"
#include "support/Clock.h"
#include "support/Task.h"

#include <QTimer>

template <typename T>
T finished(Task<T> task)
{
    QTimer limit; // a command that never ends is a fault of its own: the test stops there
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [] { qFatal("a command did not end within 120 s"); });
    if (!task.done())
        limit.start(120000);
    return Cli::finish(std::move(task));
}

// Lets up to ms pass on the clock with the event loop running (ended early by bytes arriving).
inline void waitOn(Clock &clock, int ms) { finished(Cli::activity(clock, ms)); }
