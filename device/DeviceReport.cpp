#include "device/DeviceReport.h"

#include "device/FunctionsUnit.h"
#include "effect/ParameterCatalogue.h"

using FunctionsUnit::HexNumber;

namespace {
const char *const Tunings[] = {"No Tuning Selected", "Standard (EADGBE)", "Drop D (DADGBE)", "DADGAD",
                               "open D (DADF#AD)",   "Blues G (DGDGBD)",  "Open A (EAC#EAE)", "Open C (CGCGCE)",
                               "Bass Guitar"};
const char *const Controls[] = {"Control I", "Control II", "Control III", "Control IV", "Remote Footswitch"};
const char *const FootswitchModes[] = {"short press Bypass, long press Change Preset",
                                       "short press Bypass, long press Bypass",
                                       "short press Change Preset, long press Change Preset",
                                       "short press Change Preset, long press Bypass"};
} // namespace

std::array<quint32, 20> DeviceReport::parameterWords(const QByteArray &values, int start)
{
    std::array<quint32, 20> words{};
    for (int i = 0; i < 20; ++i) {
        const int at = start + 4 * i;
        words[size_t(i)] = quint32(quint8(values[at])) << 24 | quint32(quint8(values[at + 1])) << 16 |
                           quint32(quint8(values[at + 2])) << 8 | quint32(quint8(values[at + 3]));
    }
    return words;
}

QStringList DeviceReport::describe(const QByteArray &values)
{
    QStringList out;
    if (values.size() < 106) {
        out << QStringLiteral("incomplete answer: %1 of 106 values").arg(values.size());
        return out;
    }
    const auto v = [&values](int i) { return int(quint8(values[i])); };
    out << QStringLiteral("Firmware: %1").arg(v(0));
    out << QStringLiteral("Algorithm: ") + HexNumber(v(1), 2) + HexNumber(v(2), 2);
    out << QStringLiteral("Effect: ") + HexNumber(v(3), 2);
    out << QStringLiteral("Footswitch Mode: %1%2")
               .arg(v(4))
               .arg(v(4) <= 3 ? QStringLiteral(" (%1)").arg(QLatin1String(FootswitchModes[v(4)])) : QString());
    out << QStringLiteral("Tuning: %1%2")
               .arg(v(5))
               .arg(v(5) <= 8 ? QStringLiteral(" (%1)").arg(QLatin1String(Tunings[v(5)])) : QString());
    const int semitones = qint8(quint8(v(6)));
    out << QStringLiteral("Semitones: %1%2").arg(semitones > 0 ? QStringLiteral("+") : QString()).arg(semitones);
    for (int c = 0; c < 5; ++c) {
        const int address = v(12 + 2 * c) * 256 + v(13 + 2 * c);
        QString what;
        if (v(7 + c) == 0)
            what = QStringLiteral("Not Assigned");
        else if (c == 4)
            what = address == 0xFFFE   ? QStringLiteral("Bypass")
                   : address == 0xFFFD ? QStringLiteral("Preset")
                                       : QStringLiteral("address ") + HexNumber(address, 4);
        else
            what = QStringLiteral("address ") + HexNumber(address, 4);
        out << QStringLiteral("%1: %2").arg(QLatin1String(Controls[c]), what);
    }
    out << QStringLiteral("Bypass: %1").arg(v(22) == 1 ? QStringLiteral("on") : v(22) == 0 ? QStringLiteral("off")
                                                                                          : QString::number(v(22)));
    out << QStringLiteral("Bypass Status: %1")
               .arg(v(23) == 1   ? QStringLiteral("Store Bypass Status")
                    : v(23) == 0 ? QStringLiteral("Do Not Store Bypass Status")
                                 : QString::number(v(23)));
    out << QStringLiteral("Instrument Range: %1")
               .arg(v(24) == 0xFF   ? QStringLiteral("Standard")
                    : v(24) == 0xBA ? QStringLiteral("Low")
                                    : QStringLiteral("0x") + HexNumber(v(24), 2));
    out << QStringLiteral("MIDI Channel: %1")
               .arg(v(25) == 0 || v(25) == 255 ? QStringLiteral("OMNI") : QString::number(v(25)));
    const auto words = parameterWords(values);
    for (int i = 0; i < ParameterCatalogue::Count; ++i)
        out << QStringLiteral("%1: %2").arg(QLatin1String(ParameterCatalogue::all()[size_t(i)].name),
                                            HexNumber(words[size_t(i)], 8));
    return out;
}
