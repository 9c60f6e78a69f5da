#include "windows/Gating.h"

#include "pedal/CommandGuard.h"

#include <utility>

namespace {
// Each control of the main window and the command it starts; whether it is offered in a link
// state is the command guard's to say.
const std::pair<const char *, PedalCommand> Controls[] = {
    {"btnRequest", PedalCommand::Request},
    {"btnSaveParameters", PedalCommand::SaveParameters},
    {"btnAssign", PedalCommand::Assign},
    {"btnSetFootswitchMode", PedalCommand::Footswitch},
    {"btnSetTuning", PedalCommand::Tuning},
    {"btnUpload", PedalCommand::AlgorithmUpload},
    {"menuUploadTuningsData", PedalCommand::TuningUpload},
    {"menuMIDI", PedalCommand::PedalOption},
    {"menuSetAssignableParamsToDefault", PedalCommand::ResetDefaults},
    {"menuBypassStatus", PedalCommand::PedalOption},
    {"menuNoteCut", PedalCommand::NoteFilters},
    {"menuLoadPreset", PedalCommand::PresetLoad},
    {"menuSavePreset", PedalCommand::PresetSave},
    {"menuRestoreBackup", PedalCommand::PresetLoad},
    {"menuLoadAlgorithmFromFile", PedalCommand::AlgorithmUpload},
    {"menuInstrumentRange", PedalCommand::PedalOption},
    {"menuRangeLimit", PedalCommand::PedalOption},
    {"lstEffects", PedalCommand::EffectChoice},
    {"menuScan", PedalCommand::Link},
    {"menuConnect", PedalCommand::Link},
    {"menuLinkSimulated", PedalCommand::Link},
    {"menuDisconnect", PedalCommand::Unlink},
    {"menuEraseSettings", PedalCommand::MemoryTool},
    {"menuFirmwareUpgradeMode", PedalCommand::UpgradeMode},
    {"menuStartFirmwareUpgrade", PedalCommand::StartUpgrade},
    {"chkFirmwareUpgradeMode", PedalCommand::UpgradeModeChoice},
};
} // namespace

QHash<QString, bool> Gating::enabledFor(GateState state)
{
    QHash<QString, bool> h;
    for (const auto &[name, command] : Controls) {
        if (const std::optional<bool> on = CommandGuard::offeredIn(command, state))
            h.insert(QString::fromLatin1(name), *on);
    }
    if (const std::optional<bool> on = CommandGuard::offeredIn(PedalCommand::ParameterWrite, state))
        h.insert(EffectControls, *on);
    return h;
}
