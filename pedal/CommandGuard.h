#pragma once
// The one table of what each command needs: the pedal service refuses from it, and the main
// window's enabled states come from it.

#include "pedal/GateState.h"

#include <optional>

enum class PedalCommand {
    Request,        // the device information request
    ParameterWrite, // a control of the effect window
    Bypass,
    Assign,
    Footswitch,
    Tuning,
    NoteFilters,
    SaveParameters,
    ResetDefaults,
    PedalOption,    // instrument range, bypass status, range limit, MIDI channel
    PresetSave,
    PresetLoad,     // a local preset, or a backup restored
    AlgorithmUpload,
    TuningUpload,
    MemoryTool,     // erasing and reading the settings memory
    RawWrite,       // the console's raw parameter write
    // Commands of the link itself, offered by the window and not sent through the guard.
    Link,               // Scan And Link, Link, Link Simulated
    Unlink,
    EffectChoice,       // the effect list
    UpgradeMode,        // the Upgrade Mode menu item
    UpgradeModeChoice,  // the firmware window's Upgrade Mode check box: chosen before linking
    StartUpgrade,       // Start Firmware Upgrade, with the bootloader linked
};

namespace CommandGuard {
// What a command needs beyond a linked pedal running its firmware: the newest algorithm (its
// parameter words mean what the editor thinks), the parameter addresses, a complete answer
// (commands that send many messages or large data), known values (commands that save them).
struct Needs {
    bool currentAlgorithm = false;
    bool addresses = false;
    bool completeAnswer = false;
    bool knownValues = false;
};
Needs needs(PedalCommand command);

// Whether the main window offers the command in a link state; nothing when the state leaves it
// as it was (the effect list after Unlink).
std::optional<bool> offeredIn(PedalCommand command, GateState state);
} // namespace CommandGuard
