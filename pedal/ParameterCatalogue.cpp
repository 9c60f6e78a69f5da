#include "pedal/ParameterCatalogue.h"

namespace {
using R = ParameterRecord;
using C = ControlKind;
constexpr quint32 Full = 0x800000;
const std::array<ParameterInfo, ParameterCatalogue::Count> Catalogue = {{
    {"Dry", R::Standard, 0, C::Dial, "dialDry", Full},
    {"Sub Mix", R::Standard, 1, C::Dial, "dialSubMix", Full},
    {"-1 Oct", R::Standard, 2, C::Dial, "dialMinus1Oct", Full},
    {"-2 Oct", R::Standard, 3, C::Dial, "dialMinus2Oct", Full},
    {"Wave", R::Standard, 4, C::Switch, "swtWave", 0},
    {"Low Pass", R::Standard, 5, C::Dial, "dialLowPass", 24},
    {"High Pass", R::Standard, 6, C::Dial, "dialHighPass", 16},
    {"1st Harmonic", R::Standard, 7, C::Dial, "dial1stHarmonic", Full},
    {"Split", R::Standard, 8, C::Switch, "swtSplit", 0},
    {"Range", R::Standard, -1, C::Dial, "dialRange", 22},
    {"Input Level", R::Assignable, 12, C::Dial, "dialInputLevel", Full},
    {"1st Harmonic Pitch", R::Assignable, 13, C::List, "cmbVariableWavePitch", 0},
    {"Wave Clip", R::Assignable, 14, C::Dial, "dialClipWave", Full},
    {"Dominant Notes Cut", R::Assignable, 15, C::CheckBox, "chkDominantNoteCut", 0},
    {"High Notes Cut", R::Assignable, 16, C::CheckBox, "chkHighNoteCut", 0},
    {"Dry HPF", R::Assignable, 17, C::Dial, "dialDryHPF", Full},
    {"Limit Range UP", R::Assignable, 18, C::Switch, "swtLimitRange", 0},
    {"Noise Gate Status", R::Assignable, 19, C::Switch, "swtNoiseGateStatus", 0},
    {"Noise Gate Threshold", R::Assignable, 20, C::Dial, "dialNoiseGateThreshold", Full},
    {"Attack", R::Assignable, 21, C::Switch, "swtAttack", 0},
}};
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
