#include "pedal/CommandGuard.h"

#include <QtGlobal>

namespace {
using C = PedalCommand;

struct Row {
    C command;
    CommandGuard::Needs needs;
    // Offered in the states Startup, Linked, FirmwareTooOld, AlgorithmTooOld, RequestPassed,
    // BootloaderLinked, Unlinked: 1 on, 0 off, - left as it was.
    const char *offered;
};

// A pedal with an old algorithm: the window offers the upload and the files, while the service
// refuses what would write parameter words whose meaning the editor does not know. Talking to
// the bootloader: no request and no upload, but the upgrade can start.
//            command                 algorithm addresses answer  values   S L F A P B U
const Row Table[] = {
    {C::Request,            {false, false, false, false}, "0100100"},
    {C::ParameterWrite,     {true,  true,  false, false}, "0101110"},
    {C::Bypass,             {true,  false, false, false}, "0101110"},
    {C::Assign,             {true,  true,  false, false}, "0100110"},
    {C::Footswitch,         {true,  false, false, false}, "0100110"},
    {C::Tuning,             {true,  false, false, false}, "0100110"},
    {C::NoteFilters,        {false, false, false, false}, "0101110"},
    {C::SaveParameters,     {true,  false, false, true},  "0100110"},
    {C::ResetDefaults,      {true,  true,  true,  false}, "0101110"},
    {C::PedalOption,        {false, false, false, false}, "0101110"},
    {C::PresetSave,         {true,  false, false, true},  "0101110"},
    {C::PresetLoad,         {true,  true,  true,  false}, "0101110"},
    {C::AlgorithmUpload,    {false, false, true,  false}, "0101100"},
    {C::TuningUpload,       {false, false, true,  false}, "0101110"},
    {C::MemoryTool,         {false, false, false, false}, "0111110"},
    {C::RawWrite,           {false, false, false, false}, "0111110"},
    {C::Link,               {false, false, false, false}, "1000001"},
    {C::Unlink,             {false, false, false, false}, "0111110"},
    {C::EffectChoice,       {false, false, false, false}, "110111-"},
    {C::UpgradeMode,        {false, false, false, false}, "1111111"},
    {C::UpgradeModeChoice,  {false, false, false, false}, "-0---0-"},
    {C::StartUpgrade,       {false, false, false, false}, "0000010"},
};

const Row &rowOf(C command)
{
    for (const Row &r : Table) {
        if (r.command == command)
            return r;
    }
    Q_UNREACHABLE();
}

int column(GateState state)
{
    switch (state) {
    case GateState::Startup: return 0;
    case GateState::Linked: return 1;
    case GateState::FirmwareTooOld: return 2;
    case GateState::AlgorithmTooOld: return 3;
    case GateState::RequestPassed: return 4;
    case GateState::BootloaderLinked: return 5;
    case GateState::Unlinked: return 6;
    }
    return 0;
}
} // namespace

CommandGuard::Needs CommandGuard::needs(PedalCommand command) { return rowOf(command).needs; }

std::optional<bool> CommandGuard::offeredIn(PedalCommand command, GateState state)
{
    const char mark = rowOf(command).offered[column(state)];
    if (mark == '-')
        return std::nullopt;
    return mark == '1';
}
