#include "pedal/ParameterCatalogue.h"

#include "device/PedalMessages.h"
#include "pedal/DialMath.h"

using namespace DialMath;

namespace {
using R = RecordKind;
using C = ControlKind;
constexpr quint32 Full = 0x800000;
constexpr int None = ParameterCatalogue::NothingSelected;
const std::array<ParameterInfo, ParameterCatalogue::Count> Catalogue = {{
    {"Dry", R::Standard, 0, C::Dial, "dialDry", Full, -135},
    {"Sub Mix", R::Standard, 1, C::Dial, "dialSubMix", Full, -135},
    {"-1 Oct", R::Standard, 2, C::Dial, "dialMinus1Oct", Full, -135},
    {"-2 Oct", R::Standard, 3, C::Dial, "dialMinus2Oct", Full, -135},
    {"Wave", R::Standard, 4, C::Switch, "swtWave", 0, 0},
    {"Low Pass", R::Standard, 5, C::Dial, "dialLowPass", 24, -138},
    {"High Pass", R::Standard, 6, C::Dial, "dialHighPass", 16, -128},
    {"1st Harmonic", R::Standard, 7, C::Dial, "dial1stHarmonic", Full, -135},
    {"Split", R::Standard, 8, C::Switch, "swtSplit", 0, 0},
    {"Range", R::Standard, -1, C::Dial, "dialRange", 22, -126},
    {"Input Level", R::Assignable, 12, C::Dial, "dialInputLevel", Full, -135},
    {"1st Harmonic Pitch", R::Assignable, 13, C::List, "cmbVariableWavePitch", 0, None},
    {"Wave Clip", R::Assignable, 14, C::Dial, "dialClipWave", Full, -135},
    {"Dominant Notes Cut", R::Assignable, 15, C::CheckBox, "chkDominantNoteCut", 0, 0},
    {"High Notes Cut", R::Assignable, 16, C::CheckBox, "chkHighNoteCut", 0, 0},
    {"Dry HPF", R::Assignable, 17, C::Dial, "dialDryHPF", Full, -126},
    {"Limit Range UP", R::Assignable, 18, C::Switch, "swtLimitRange", 0, 0},
    {"Noise Gate Status", R::Assignable, 19, C::Switch, "swtNoiseGateStatus", 0, 0},
    {"Noise Gate Threshold", R::Assignable, 20, C::Dial, "dialNoiseGateThreshold", Full, -135},
    {"Attack", R::Assignable, 21, C::Switch, "swtAttack", 0, 0},
}};

// The on and off words of the switches that do not send 1 and 0.
struct SwitchWords {
    quint32 on, off;
};
std::optional<SwitchWords> specialSwitch(int i)
{
    if (i == Parameter::Wave)
        return SwitchWords{PedalMessages::WaveOnValue, PedalMessages::WaveOffValue};
    if (i == Parameter::Attack)
        return SwitchWords{PedalMessages::AttackSlowValue, PedalMessages::AttackFastValue};
    return std::nullopt;
}
} // namespace

const std::array<ParameterInfo, ParameterCatalogue::Count> &ParameterCatalogue::all() { return Catalogue; }

int ParameterCatalogue::indexOf(const QString &name)
{
    for (int i = 0; i < Count; ++i) {
        if (name == QLatin1String(Catalogue[size_t(i)].name))
            return i;
    }
    return -1;
}

QString ParameterCatalogue::name(int i) { return QString::fromLatin1(Catalogue[size_t(i)].name); }

std::optional<int> ParameterCatalogue::shownState(int i, quint32 word)
{
    const ParameterInfo &info = Catalogue[size_t(i)];
    switch (info.control) {
    case ControlKind::Dial:
        return valueToDialAngle(word, info.fullScale);
    case ControlKind::List:
        for (int k = 0; k < int(HarmonicPitchTable.size()); ++k) {
            if (HarmonicPitchTable[size_t(k)] == word)
                return k;
        }
        return std::nullopt;
    case ControlKind::CheckBox:
        return word == 1 ? 1 : 0;
    case ControlKind::Switch:
        if (const auto words = specialSwitch(i))
            return word == words->on ? std::optional(1) : word == words->off ? std::optional(0) : std::nullopt;
        if (i == Parameter::Split)
            return word <= 1 ? std::optional(int(word)) : std::nullopt;
        return word == 1 ? 1 : 0;
    }
    return std::nullopt;
}

quint32 ParameterCatalogue::wordFor(int i, int state)
{
    switch (Catalogue[size_t(i)].control) {
    case ControlKind::Dial:
        return levelToWord(positionToLevel(dialAngleToPosition(snapDialAngle(state))));
    case ControlKind::List:
        return HarmonicPitchTable[size_t(qBound(0, state, int(HarmonicPitchTable.size()) - 1))];
    case ControlKind::CheckBox:
        return state ? 1 : 0;
    case ControlKind::Switch:
        if (const auto words = specialSwitch(i))
            return state ? words->on : words->off;
        return state ? 1 : 0;
    }
    return 0;
}

const std::array<int, ParameterCatalogue::Count> &ParameterCatalogue::showOrder()
{
    using namespace Parameter;
    static const std::array<int, Count> order = {Dry,       SubMix,     Minus1Oct,          Minus2Oct,
                                                 Wave,      LowPass,    HighPass,           FirstHarmonic,
                                                 Split,     Range,      InputLevel,         WaveClip,
                                                 FirstHarmonicPitch, DominantNotesCut, HighNotesCut, DryHPF,
                                                 LimitRangeUp, NoiseGateStatus, NoiseGateThreshold, Attack};
    return order;
}

const std::array<int, 5> &ParameterCatalogue::offeredOn(int control)
{
    using namespace Parameter;
    static const std::array<int, 5> ranged = {InputLevel, FirstHarmonicPitch, WaveClip, DryHPF, NoiseGateThreshold};
    static const std::array<int, 5> onOff = {DominantNotesCut, HighNotesCut, LimitRangeUp, NoiseGateStatus, Attack};
    return control < 2 ? ranged : onOff;
}

QStringList ParameterCatalogue::assignItems(int control)
{
    QStringList items{QStringLiteral("Not Assigned")};
    if (control == RemoteFootswitch)
        return items << QStringLiteral("Bypass") << QStringLiteral("Preset");
    for (int p : offeredOn(control))
        items << name(p);
    return items;
}
