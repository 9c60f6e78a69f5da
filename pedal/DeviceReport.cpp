#include "pedal/DeviceReport.h"

#include "device/HexCodec.h"
#include "pedal/ParameterCatalogue.h"
#include "pedal/PedalSettings.h"

using HexCodec::hexNumber;

namespace {
const char *const FootswitchModes[] = {"short press Bypass, long press Change Preset",
                                       "short press Bypass, long press Bypass",
                                       "short press Change Preset, long press Change Preset",
                                       "short press Change Preset, long press Bypass"};
} // namespace

QStringList DeviceReport::describe(const DeviceInformation &d)
{
    QStringList out;
    out << QStringLiteral("Firmware: %1").arg(d.firmware);
    out << QStringLiteral("Algorithm: ") + d.algorithmText();
    out << QStringLiteral("Effect: ") + d.effectText();
    out << QStringLiteral("Footswitch Mode: %1%2")
               .arg(d.footswitchMode)
               .arg(d.footswitchMode <= 3 ? QStringLiteral(" (%1)").arg(QLatin1String(FootswitchModes[d.footswitchMode]))
                                          : QString());
    out << QStringLiteral("Tuning: %1%2")
               .arg(d.tuning)
               .arg(d.tuning <= 8 ? QStringLiteral(" (%1)").arg(PedalSettings::tuningText(int(d.tuning))) : QString());
    const int semitones = qint8(d.semitoneVariation);
    out << QStringLiteral("Semitones: %1%2").arg(semitones > 0 ? QStringLiteral("+") : QString()).arg(semitones);
    for (int c = 0; c < 5; ++c) {
        const int address = d.assignAddresses[size_t(c)];
        QString what;
        if (d.assignFlags[size_t(c)] == 0)
            what = QStringLiteral("Not Assigned");
        else if (c == 4)
            what = address == 0xFFFE   ? QStringLiteral("Bypass")
                   : address == 0xFFFD ? QStringLiteral("Preset")
                                       : QStringLiteral("address ") + hexNumber(address, 4);
        else
            what = QStringLiteral("address ") + hexNumber(address, 4);
        out << QStringLiteral("%1: %2").arg(PedalSettings::controlName(c), what);
    }
    const auto onOff = [](int v) {
        return v == 1 ? QStringLiteral("on") : v == 0 ? QStringLiteral("off") : QString::number(v);
    };
    out << QStringLiteral("Bypass: %1").arg(onOff(d.bypass));
    out << QStringLiteral("Bypass Status: %1")
               .arg(d.bypassStore == 1   ? QStringLiteral("Store Bypass Status")
                    : d.bypassStore == 0 ? QStringLiteral("Do Not Store Bypass Status")
                                         : QString::number(d.bypassStore));
    out << QStringLiteral("Instrument Range: %1")
               .arg(d.instrumentRange == 0xFF   ? QStringLiteral("Standard")
                    : d.instrumentRange == 0xBA ? QStringLiteral("Low")
                                                : QStringLiteral("0x") + hexNumber(d.instrumentRange, 2));
    out << QStringLiteral("MIDI Channel: %1")
               .arg(d.midiChannel == 0 || d.midiChannel == 255 ? QStringLiteral("OMNI") : QString::number(d.midiChannel));
    for (int i = 0; i < ParameterCatalogue::Count; ++i)
        out << QStringLiteral("%1: %2").arg(QLatin1String(ParameterCatalogue::all()[size_t(i)].name),
                                            hexNumber(d.parameterWords[size_t(i)], 8));
    return out;
}
