#pragma once
// The editor's core without windows on the in-process simulated pedal, in a private documents
// folder, on a clock that moves only when the code waits or the test moves it. Test rigs that
// need no windows build on it; the ones with windows use EditorRig.h.

#include "pedal/EditorCore.h"
#include "simulator/SimBackend.h"
#include "support/ManualClock.h"
#include "support/EditorPrompts.h"

#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

// The in-process simulated pedals; with looksReal set each of them passes for a real pedal, so
// stand-in images are refused for it.
class RigBackend : public SimBackend {
public:
    using SimBackend::SimBackend;
    bool looksReal = false;
    bool isRealPedal(quint32 handle) const override { return looksReal || SimBackend::isRealPedal(handle); }
};

template <typename>
struct TaskResult;
template <typename T>
struct TaskResult<Task<T>> {
    using type = T;
};

struct CoreRig {
    using Setup = std::function<void(SimulatedPedal *)>;

    // realPedals: the simulated pedals a scan finds (none: only Link Simulated reaches a pedal);
    // setUp readies the pedal Link Simulated reaches before anything talks to it.
    explicit CoreRig(int realPedals = 0, const Setup &setUp = {}) : CoreRig(QString(), realPedals, setUp) {}
    explicit CoreRig(const Setup &setUp) : CoreRig(0, setUp) {}
    // The same with the documents in the given folder (the editor's rig) instead of the rig's own.
    CoreRig(const QString &documents, int realPedals, const Setup &setUp)
        : scan(&clock, realPedals),
          core(documents.isEmpty() ? docs.path() : documents, &prompts, &clock, &scan, &simulated)
    {
        if (setUp)
            setUp(pedal());
    }
    // The core on a line of its own (a real serial device) waiting on lineClock (the system's
    // clock); a scan finds what the line has, and there is no simulated pedal to link.
    CoreRig(std::unique_ptr<Clock> lineClock, std::unique_ptr<FtdiBackend> line)
        : scan(&clock, 0), ownClock(std::move(lineClock)), ownLine(std::move(line)),
          core(docs.path(), &prompts, ownClock.get(), ownLine.get())
    {
    }

    QTemporaryDir docs; // the documents folder, unless the rig was given one
    ManualClock clock; // the simulated pedals' clock, and the core's unless it has a line of its own
    EditorScriptedPrompts prompts; // in the editor's words
    RigBackend scan;
    RigBackend simulated{&clock, 1};
    std::unique_ptr<Clock> ownClock;
    std::unique_ptr<FtdiBackend> ownLine;
    EditorCore core;
    PedalService &service = core.service;
    Communication &comm = core.comm;

    // Runs a command as the real clock would: started with the clock driven, its waits suspend
    // it and time moves on from timer to timer by itself, the event loop running between, until
    // it ends. Its result (true for a command without one), or nothing when it has not ended
    // within limitMs on the clock; the clock is left driven as it was. start() starts the
    // command and gives its task.
    template <typename Start>
    auto runToEnd(Start start, int limitMs = 600000)
    {
        using T = typename TaskResult<decltype(start())>::type;
        using Ended = std::conditional_t<std::is_void_v<T>, bool, std::optional<T>>;
        const bool wasDriven = clock.driven();
        clock.setDriven(true);
        // Kept apart from this frame: a command that outlives the limit may end later.
        auto ended = std::make_shared<std::optional<Ended>>();
        if constexpr (std::is_void_v<T>)
            start().then([ended] { *ended = true; });
        else
            start().then([ended](T value) { *ended = Ended(std::move(value)); });
        clock.runUntil([ended] { return ended->has_value(); }, limitMs);
        clock.setDriven(wasDriven);
        return ended->value_or(Ended{});
    }

    SimulatedPedal *pedal() { return simulated.pedal(); }
    bool logged(const QString &line) const { return core.log.lines().contains(line); }
    // Every message the simulated pedal received, in order.
    QList<QByteArray> received()
    {
        QList<QByteArray> out;
        for (const auto &m : pedal()->record)
            out << m.bytes;
        return out;
    }
};

inline QByteArray hex(const char *text) { return QByteArray::fromHex(text); }
