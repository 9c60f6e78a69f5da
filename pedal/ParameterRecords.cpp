#include "pedal/ParameterRecords.h"

#include "device/HexCodec.h"

EffectParameters::EffectParameters()
    : Dry(QStringLiteral("Dry"), 0, 1), SubMix(QStringLiteral("Sub Mix"), 0, 1), Minus1Oct(QStringLiteral("-1 Oct"), 0, 1),
      Minus2Oct(QStringLiteral("-2 Oct"), 0, 1), Wave(QStringLiteral("Wave"), 0, 1), LowPass(QStringLiteral("Low Pass"), 0, 1),
      HighPass(QStringLiteral("High Pass"), 0, 1), FirstHarmonic(QStringLiteral("1st Harmonic"), 0, 1),
      Split(QStringLiteral("Split"), 0, 1), Range(QStringLiteral("Range"), 0, 1),
      InputLevel(QStringLiteral("Input Level"), 0xFFFF, false),
      FirstHarmonicPitch(QStringLiteral("1st Harmonic Pitch"), 0xFFFF, false),
      WaveClip(QStringLiteral("Wave Clip"), 0xFFFF, false),
      DominantNotesCut(QStringLiteral("Dominant Notes Cut"), 0xFFFF, false),
      HighNotesCut(QStringLiteral("High Notes Cut"), 0xFFFF, false), DryHPF(QStringLiteral("Dry HPF"), 0xFFFF, false),
      LimitRangeUP(QStringLiteral("Limit Range UP"), 0xFFFF, false),
      NoiseGateStatus(QStringLiteral("Noise Gate Status"), 0xFFFF, false),
      NoiseGateThreshold(QStringLiteral("Noise Gate Threshold"), 0xFFFF, false),
      Attack(QStringLiteral("Attack"), 0xFFFF, false),
      m_standard{&Dry, &SubMix, &Minus1Oct, &Minus2Oct, &Wave, &LowPass, &HighPass, &FirstHarmonic, &Split, &Range},
      m_assignable{&InputLevel,   &FirstHarmonicPitch, &WaveClip,        &DominantNotesCut,   &HighNotesCut,
                   &DryHPF,       &LimitRangeUP,       &NoiseGateStatus, &NoiseGateThreshold, &Attack}
{
}

const QString &EffectParameters::name(int i) const
{
    return i < 10 ? m_standard[size_t(i)]->parameter_name : m_assignable[size_t(i - 10)]->parameter_name;
}

quint16 &EffectParameters::address(int i)
{
    return i < 10 ? m_standard[size_t(i)]->address : m_assignable[size_t(i - 10)]->address;
}

quint32 &EffectParameters::value(int i)
{
    return i < 10 ? m_standard[size_t(i)]->value : m_assignable[size_t(i - 10)]->value;
}

std::array<assignable_parameter *, 10> EffectParameters::assignables() { return m_assignable; }

bool EffectParameters::loadParameterAddresses(const QString &headerLine)
{
    bool complete = true;
    for (int k = 0; k < 22; ++k) {
        // Word k: characters 7 + 4k to 10 + 4k, counted from 1.
        const QString text = headerLine.mid(6 + 4 * k, 4);
        QString error;
        const QByteArray b = HexCodec::hexTextToBytes(text, &error);
        if (text.size() < 4 || !error.isEmpty()) {
            complete = false;
            continue;
        }
        const quint16 word = quint16(quint8(b[0]) * 256 + quint8(b[1]));
        if (k <= 8)
            m_standard[size_t(k)]->address = word;
        else if (k >= 12)
            m_assignable[size_t(k - 12)]->address = word;
    }
    return complete;
}
