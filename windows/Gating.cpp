#include "windows/Gating.h"

namespace {
// Groups of controls that always move together.
const QStringList ParameterButtons = {QStringLiteral("btnRequest"), QStringLiteral("btnSaveParameters"),
                                      QStringLiteral("btnAssign"), QStringLiteral("btnSetFootswitchMode"),
                                      QStringLiteral("btnSetTuning")};
const QStringList UploadAndSettings = {QStringLiteral("btnUpload"), QStringLiteral("menuUploadTuningsData"),
                                       QStringLiteral("menuMIDI"), QStringLiteral("menuSetAssignableParamsToDefault"),
                                       QStringLiteral("menuBypassStatus"), QStringLiteral("menuNoteCut")};
const QStringList FilesAndRange = {QStringLiteral("menuLoadPreset"), QStringLiteral("menuSavePreset"),
                                   QStringLiteral("menuRestoreBackup"),
                                   QStringLiteral("menuLoadAlgorithmFromFile"),
                                   QStringLiteral("menuInstrumentRange"), QStringLiteral("menuRangeLimit")};
const QStringList ScanItems = {QStringLiteral("menuScan"), QStringLiteral("menuConnect"),
                               QStringLiteral("menuLinkSimulated")};
const QStringList LinkItems = {QStringLiteral("menuDisconnect"), QStringLiteral("menuEraseSettings")};

struct Row {
    GateState state;
    bool parameterButtons;
    bool uploadAndSettings;
    bool filesAndRange;
    int effectList;     // 1 on, 0 off, -1 unchanged
    int effectControls; // 1 on, 0 off, -1 unchanged
    bool scan;
    bool link;
};

//  state                         params upload files  list  effect scan   link
const Row Table[] = {
    {GateState::Startup,          false, false, false, 1,    0,     true,  false},
    {GateState::Linked,           true,  true,  true,  1,    1,     false, true},
    {GateState::FirmwareTooOld,   false, false, false, 0,    0,     false, true},
    {GateState::AlgorithmTooOld,  false, true,  true,  1,    1,     false, true},
    {GateState::RequestPassed,    true,  true,  true,  1,    1,     false, true},
    {GateState::BootloaderLinked, true,  true,  true,  1,    1,     false, true},
    {GateState::Unlinked,         false, false, false, -1,   0,     true,  false},
};

void put(QHash<QString, bool> &h, const QStringList &names, bool on)
{
    for (const QString &n : names)
        h.insert(n, on);
}
} // namespace

QHash<QString, bool> Gating::enabledFor(GateState state)
{
    QHash<QString, bool> h;
    for (const Row &r : Table) {
        if (r.state != state)
            continue;
        put(h, ParameterButtons, r.parameterButtons);
        put(h, UploadAndSettings, r.uploadAndSettings);
        put(h, FilesAndRange, r.filesAndRange);
        if (r.effectList >= 0)
            h.insert(QStringLiteral("lstEffects"), r.effectList == 1);
        if (r.effectControls >= 0)
            h.insert(EffectControls, r.effectControls == 1);
        put(h, ScanItems, r.scan);
        put(h, LinkItems, r.link);
        h.insert(QStringLiteral("menuFirmwareUpgradeMode"), true);
        // Talking to the bootloader: no request and no algorithm upload, but the upgrade can start.
        const bool boot = state == GateState::BootloaderLinked;
        if (boot) {
            h.insert(QStringLiteral("btnRequest"), false);
            h.insert(QStringLiteral("btnUpload"), false);
        }
        h.insert(QStringLiteral("menuStartFirmwareUpgrade"), boot);
        // Upgrade Mode must be chosen before linking: its check box is off while linked.
        if (state == GateState::Linked || boot)
            h.insert(QStringLiteral("chkFirmwareUpgradeMode"), false);
    }
    return h;
}
