#pragma once
// Which controls of the main window can be used in which link state: each control names the
// command it starts, and the command guard (pedal/CommandGuard) says where it is offered.

#include "pedal/GateState.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace Gating {
// The key that stands for every control of the effect window.
inline const QString EffectControls = QStringLiteral("effect window controls");

// Enabled state per control name for a state. Controls a state leaves as they were are absent.
QHash<QString, bool> enabledFor(GateState state);
} // namespace Gating
