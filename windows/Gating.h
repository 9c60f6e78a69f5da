#pragma once
// Which device commands of the main window can be used in which link state.
// One table, applied by the window by objectName.

#include <QHash>
#include <QString>
#include <QStringList>

enum class GateState {
    Startup,          // no link yet
    Linked,           // the link is made, the request has not decided yet
    FirmwareTooOld,   // the request found firmware below the newest
    AlgorithmTooOld,  // the request found an older algorithm
    RequestPassed,    // the request passed both version checks
    BootloaderLinked, // linked and talking to the bootloader
    Unlinked,         // after Unlink
};

namespace Gating {
// The key that stands for every control of the effect window.
inline const QString EffectControls = QStringLiteral("effect window controls");

// The controls EnableUSBobjects switches, in its order (the effect window's follow).
const QStringList &usbObjects();
// The five parameter buttons SetCommandButtonsEnabled switches.
const QStringList &commandButtons();
// Enabled state per control name for a state. Controls a state leaves as they were are absent.
QHash<QString, bool> enabledFor(GateState state);
} // namespace Gating
