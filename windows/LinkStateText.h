#pragma once
// What the main window says of the link in its device label, and the longer hint behind it:
// linked (with the pedal's serial number), its bootloader, waiting for an unplugged pedal to come
// back, or not linked. The label is short enough for the main window in the wider fonts; the
// hint names the pedal in full.

#include "device/LinkState.h"

#include <QString>

namespace LinkStateText {
// deviceName: the pedal's name as its USB bridge reports it ("Quarnelo MK3"), empty or
// "No device found" when none is listed; serial: the serial number of the chosen pedal.
QString label(LinkState::State state, const QString &deviceName, const QString &serial);
QString hint(LinkState::State state, const QString &deviceName, const QString &serial);
} // namespace LinkStateText
