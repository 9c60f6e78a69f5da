#pragma once
// The editor's core without windows on the in-process simulated pedal, in a private documents
// folder, on a clock that moves only when the code waits or the test moves it. Test rigs that
// need no windows build on it; the ones with windows use EditorRig.h.

#include "pedal/EditorCore.h"
#include "simulator/SimBackend.h"
#include "support/ManualClock.h"
#include "support/Prompts.h"

#include <QTemporaryDir>

struct CoreRig {
    QTemporaryDir docs;
    ManualClock clock;
    ScriptedPrompts prompts;
    SimBackend scan{&clock, 0};
    SimBackend simulated{&clock, 1};
    EditorCore core{docs.path(), &prompts, &clock, &scan, &simulated};
    PedalService &service = core.service;
    SimulatedPedal *pedal() { return simulated.pedal(); }
    bool logged(const QString &line) const { return core.log.lines().contains(line); }
};
