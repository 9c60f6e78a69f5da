#pragma once
// Every setting of the pedal that the editor can read back and send again, in the terms of the
// commands that send it: the twenty data words, the five assignments, the footswitch mode, the
// tuning and semitone variation, the pedal-wide options, and the two settings the pedal never
// reports (note filters, range limit), known only when the editor sent them. A setting that is
// empty here is not known, or is a value the editor's commands cannot send.

#include "device/DeviceInformation.h"
#include "pedal/ParameterCatalogue.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

struct PedalSettings {
    std::array<quint32, ParameterCatalogue::Count> words{};
    // Item of each assign list (Control I..IV: 0 "Not Assigned", k + 1 the k-th offered
    // parameter; Remote Footswitch: 0, 1 Bypass, 2 Preset).
    std::array<std::optional<int>, ParameterCatalogue::AssignableControls> assignItems{};
    std::optional<bool> shortPressChangesPreset;
    std::optional<bool> longPressBypasses;
    std::optional<int> tuningItem;         // 0..8
    std::optional<int> semitoneVariation;  // -5..+3
    std::optional<quint8> instrumentRange; // 0xFF Standard, 0xBA Low
    std::optional<bool> storeBypassStatus;
    std::optional<int> midiChannelItem;    // 0 OMNI, 1..16
    // Never reported by the pedal.
    std::optional<QList<int>> noteFilters; // the note codes sent (at most two)
    std::optional<bool> rangeLimitOn;

    // The settings a device information answer reports, with the parameter addresses of the
    // effect the pedal runs (assignments are reported as addresses).
    static PedalSettings fromReport(const DeviceInformation &info,
                                    const std::array<quint16, ParameterCatalogue::Count> &addresses);

    // One setting that differs between two sets.
    struct Difference {
        QString name;          // "Dry", "Control I", "Tuning" ...
        QString from;          // as shown to the user
        QString to;
        bool reportedBack = true; // false: the pedal never reports it, so it cannot be checked
        int parameter = -1;       // the parameter's catalogue position for a data word
    };
    // What differs from `from` to `to`, for every setting `to` holds (a setting `to` does not
    // hold is left out: nothing would be sent for it).
    static QList<Difference> differences(const PedalSettings &from, const PedalSettings &to);
    static QString describe(const Difference &d);
    // What a backup's answer holds that the pedal's differs from and that no command of the
    // editor can send back, each named with what the backup holds: an assignment to an address
    // outside the lists ("Control III (address 0006)"), a value outside a list, the bypass.
    static QStringList beyondReach(const DeviceInformation &pedal, const DeviceInformation &backup,
                                   const std::array<quint16, ParameterCatalogue::Count> &addresses);

    // Texts for the settings, as the editor's lists name them.
    static QString assignText(int control, const std::optional<int> &item);
    static QString controlName(int control);
    static QString footswitchText(const std::optional<bool> &shortPressChangesPreset,
                                  const std::optional<bool> &longPressBypasses);
    static QString tuningText(const std::optional<int> &item);
    static QString semitoneText(const std::optional<int> &semitones);
    static QString instrumentRangeText(const std::optional<quint8> &range);
    static QString midiChannelText(const std::optional<int> &item);
    static QString noteFiltersText(const std::optional<QList<int>> &codes);
    static QString onOffText(const std::optional<bool> &on, const QString &onText, const QString &offText);
};
