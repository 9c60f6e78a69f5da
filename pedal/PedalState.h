#pragma once
// What the editor holds for the pedal, as plain data: the pedal's last complete report, the
// twenty parameter records of the selected effect with the addresses from its algorithm image,
// and what every control shows. The windows display it; only the pedal service changes it.

#include "device/DeviceInformation.h"
#include "pedal/ParameterCatalogue.h"

#include <QString>
#include <array>
#include <optional>

struct ParameterRecord {
    QString name;
    quint16 address = 0;
    quint32 value = 0;      // the data word, as read back, loaded or last sent from its control
    bool assigned = false;  // found on one of Control I..IV by the last read-back
};

struct PedalState {
    PedalState();

    // The pedal's own report, from the last device information request that got a complete
    // answer; empty while unknown (never linked, no answer, incomplete or unreadable answer).
    std::optional<DeviceInformation> reported;
    // The last request read every setting back onto the controls: the records hold the
    // pedal's values. Commands that store or save those values need this.
    bool valuesKnown = false;
    // Why the values are not known, for the commands that need them.
    QString unknownReason;
    // How the pedal answered the last device information request, for a view that words it.
    enum class Answer { NotAsked, Complete, NoAnswer, Unreadable, Incomplete, BootloaderByte, DeviceFailed };
    Answer lastAnswer = Answer::NotAsked;

    std::array<ParameterRecord, ParameterCatalogue::Count> parameters;
    // The effect's addresses came from its algorithm image. Until then no parameter is written.
    bool addressesLoaded = false;
    QString addressesReason = QStringLiteral("no algorithm image is loaded"); // why they did not
    // Copies the address words of an algorithm image's first line (hex text) into the records.
    // Words the line does not fully hold keep their address; false when any was missing or bad.
    bool loadParameterAddresses(const QString &headerLine);

    // What each parameter's control shows: a dial's angle, 0/1 for a switch or check box, the
    // harmonic pitch list's item (-1: nothing selected).
    std::array<int, ParameterCatalogue::Count> shown{};

    // The effect window's other choices.
    std::array<int, ParameterCatalogue::AssignableControls> assignItems{}; // Control I..IV, Remote
    bool controlAssigned(int control) const { return assignItems[size_t(control)] > 0; }
    bool shortPressChangesPreset = false; // short press: Bypass or Change Preset
    bool longPressBypasses = false;       // long press: Change Preset or Bypass
    quint8 footswitchMode = 0;            // as last read back
    int tuningItem = 0;                   // 0 is "No Tuning Selected"
    int semitoneItem = 5;                 // -5..+3 at items 0..8
    int semitoneVariation() const { return semitoneItem - 5; }
    bool bypass = false;

    // The pedal-wide options of the Settings menu, as their marks show them.
    quint8 instrumentRange = 0;                  // 0xFF Standard, 0xBA Low, or what was reported
    quint8 instrumentRangeMark = 0;              // the range whose item is marked (0: none)
    std::optional<bool> storeBypassStatus = false; // "Do Not Store Bypass Status" is marked at start
    std::optional<bool> rangeLimitOn;            // not reported by the pedal: the last choice
    int midiChannelItem = -1;                    // the reported channel: 0 OMNI, 1..16; -1 none

    static constexpr int NoTuningIndex = 0;
};
