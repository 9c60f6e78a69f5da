#include "windows/LinkStateText.h"

#include "device/Communication.h"

namespace LinkStateText {
namespace {
bool noDevice(const QString &name) { return name.isEmpty() || name == Communication::NoDeviceFound; }
} // namespace

QString label(LinkState::State state, const QString &deviceName, const QString &serial)
{
    using State = LinkState::State;
    switch (state) {
    case State::NotLinked:
        return noDevice(deviceName) ? Communication::NoDeviceFound : deviceName + QStringLiteral(": not linked");
    case State::Linking:
        return (noDevice(deviceName) ? QStringLiteral("Pedal") : deviceName) + QStringLiteral(": linking\u2026");
    case State::RunningFirmware:
    case State::Upgrading:
        return QStringLiteral("Linked: %1").arg(serial);
    case State::Bootloader:
        return QStringLiteral("Bootloader: %1").arg(serial);
    case State::WaitingForReturn:
        return QStringLiteral("Waiting for %1").arg(serial);
    }
    return QString();
}

QString hint(LinkState::State state, const QString &deviceName, const QString &serial)
{
    using State = LinkState::State;
    switch (state) {
    case State::NotLinked:
        return noDevice(deviceName) ? QStringLiteral("No pedal is linked. Plug it in and choose Connection > Scan And Link.")
                                    : QStringLiteral("%1 is plugged in but not linked: choose Connection > Scan And Link.")
                                          .arg(deviceName);
    case State::Linking:
        return QStringLiteral("The editor is opening the link to the pedal.");
    case State::RunningFirmware:
    case State::Upgrading:
        return QStringLiteral("Linked to %1, serial number %2.").arg(deviceName, serial);
    case State::Bootloader:
        return QStringLiteral("Linked to the bootloader of the pedal with serial number %1: the firmware upgrade "
                              "window takes over.")
            .arg(serial);
    case State::WaitingForReturn:
        return QStringLiteral("The pedal %1 was unplugged. The editor keeps its values and links it again when it "
                              "comes back.")
            .arg(serial);
    }
    return QString();
}
} // namespace LinkStateText
