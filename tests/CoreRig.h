#pragma once
// The editor's core without windows on the in-process simulated pedal, in a private documents
// folder, on a clock that moves only when the code waits or the test moves it. Test rigs that
// need no windows build on it; the ones with windows use EditorRig.h.

#include "pedal/EditorCore.h"
#include "simulator/SimBackend.h"
#include "support/ManualClock.h"
#include "support/Prompts.h"

#include <QTemporaryDir>
#include <functional>

// The in-process simulated pedals; with looksReal set each of them passes for a real pedal, so
// stand-in images are refused for it.
class RigBackend : public SimBackend {
public:
    using SimBackend::SimBackend;
    bool looksReal = false;
    bool isRealPedal(quint32 handle) const override { return looksReal || SimBackend::isRealPedal(handle); }
};

struct CoreRig {
    using Setup = std::function<void(SimulatedPedal *)>;

    // realPedals: the simulated pedals a scan finds (none: only Link Simulated reaches a pedal);
    // setUp readies the pedal Link Simulated reaches before anything talks to it.
    explicit CoreRig(int realPedals = 0, const Setup &setUp = {})
        : scan(&clock, realPedals), core(docs.path(), &prompts, &clock, &scan, &simulated)
    {
        if (setUp)
            setUp(pedal());
    }
    explicit CoreRig(const Setup &setUp) : CoreRig(0, setUp) {}

    QTemporaryDir docs;
    ManualClock clock;
    ScriptedPrompts prompts;
    RigBackend scan;
    RigBackend simulated{&clock, 1};
    EditorCore core;
    PedalService &service = core.service;
    Communication &comm = core.comm;

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
