#include "pedal/ControlStates.h"

#include "pedal/DialMath.h"
#include "device/PedalMessages.h"
#include "pedal/ParameterCatalogue.h"

using namespace DialMath;

namespace ControlStates {

std::optional<int> shownState(int i, quint32 word)
{
    const ParameterInfo &info = ParameterCatalogue::all()[size_t(i)];
    switch (info.control) {
    case ControlKind::Dial:
        return valueToDialAngle(word, info.fullScale);
    case ControlKind::List:
        for (int k = 0; k < int(HarmonicPitchTable.size()); ++k)
            if (HarmonicPitchTable[size_t(k)] == word)
                return k;
        return std::nullopt;
    case ControlKind::CheckBox:
        return word == 1 ? 1 : 0;
    case ControlKind::Switch:
        if (i == 4)
            return word == PedalMessages::WaveOnValue ? std::optional(1)
                   : word == PedalMessages::WaveOffValue ? std::optional(0) : std::nullopt;
        if (i == 8)
            return word <= 1 ? std::optional(int(word)) : std::nullopt;
        if (i == 19)
            return word == PedalMessages::AttackSlowValue ? std::optional(1)
                   : word == PedalMessages::AttackFastValue ? std::optional(0) : std::nullopt;
        return word == 1 ? 1 : 0;
    }
    return std::nullopt;
}

QString messageFor(int i, int state, quint16 address)
{
    const ParameterInfo &info = ParameterCatalogue::all()[size_t(i)];
    quint32 word = 0;
    switch (info.control) {
    case ControlKind::Dial:
        word = levelToWord(positionToLevel(dialAngleToPosition(snapDialAngle(state))));
        break;
    case ControlKind::List:
        word = HarmonicPitchTable[size_t(state)];
        break;
    case ControlKind::CheckBox:
        word = state ? 1 : 0;
        break;
    case ControlKind::Switch:
        if (i == 4)
            word = state ? PedalMessages::WaveOnValue : PedalMessages::WaveOffValue;
        else if (i == 19)
            word = state ? PedalMessages::AttackSlowValue : PedalMessages::AttackFastValue;
        else
            word = state ? 1 : 0;
        break;
    }
    return PedalMessages::parameterWrite(address, word);
}

int timesSent(int i) { return i == 19 ? 3 : 1; }

QString logLine(int i, const QString &name, const QString &message)
{
    const ParameterInfo &info = ParameterCatalogue::all()[size_t(i)];
    if (info.control == ControlKind::List)
        return QStringLiteral("Send Harmonic Pitch string: ") + message;
    if (info.control == ControlKind::CheckBox)
        return QStringLiteral("write to DSP msg: ") + message;
    const bool assignableSwitch = info.control == ControlKind::Switch && info.record == ParameterRecord::Assignable;
    return QStringLiteral("Send ") + name +
           (assignableSwitch ? QStringLiteral(" string (assignable par): ") : QStringLiteral(" string (standard par): ")) +
           message;
}

} // namespace ControlStates
