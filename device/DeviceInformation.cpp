#include "device/DeviceInformation.h"

#include "device/HexCodec.h"

using HexCodec::hexNumber;

std::optional<DeviceInformation> DeviceInformation::fromValues(const QByteArray &values)
{
    if (values.size() < Values)
        return std::nullopt;
    const auto v = [&values](int i) { return quint8(values[i]); };
    DeviceInformation d;
    d.firmware = v(0);
    d.algorithmHigh = v(1);
    d.algorithmLow = v(2);
    d.effect = v(3);
    d.footswitchMode = v(4);
    d.tuning = v(5);
    d.semitoneVariation = v(6);
    for (int c = 0; c < 5; ++c) {
        d.assignFlags[size_t(c)] = v(7 + c);
        d.assignAddresses[size_t(c)] = quint16(v(12 + 2 * c) << 8 | v(13 + 2 * c));
    }
    d.bypass = v(22);
    d.bypassStore = v(23);
    d.instrumentRange = v(24);
    d.midiChannel = v(25);
    for (int i = 0; i < ParameterCount; ++i) {
        const int at = 26 + 4 * i;
        d.parameterWords[size_t(i)] =
            quint32(v(at)) << 24 | quint32(v(at + 1)) << 16 | quint32(v(at + 2)) << 8 | quint32(v(at + 3));
    }
    return d;
}

QString DeviceInformation::algorithmText() const { return hexNumber(algorithmHigh, 2) + hexNumber(algorithmLow, 2); }

QString DeviceInformation::effectText() const { return hexNumber(effect, 2); }

namespace {
bool decimal(const QString &text, int *number)
{
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    if (ok)
        *number = n;
    return ok;
}
} // namespace

bool DeviceInformation::algorithmNumber(int *number) const { return decimal(algorithmText(), number); }

bool DeviceInformation::effectNumber(int *number) const { return decimal(effectText(), number); }
