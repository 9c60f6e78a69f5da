#pragma once
// The filter coefficient calculator: a peaking (bell) equaliser biquad for a musical note at
// 48 kHz, in the DSP's fixed point (23 fractional bits), written as the tuning table's text.

#include <QLocale>
#include <QStringList>
#include <array>

namespace FilterCalculator {
constexpr double SampleRate = 48000.0;
constexpr double FixedPointScale = 8388608.0; // 2^23

// k0..k2 feed forward, k3 and k4 the feedback terms stored negated (-a1/a0, -a2/a0).
using Coefficients = std::array<double, 5>;

// The 48 notes of the picker, A1 to G#5.
const QStringList &noteNames();
// 110 * 2^(n/12) Hz; n = picker index - 12.
double noteFrequency(int n);
Coefficients peaking(double f0, double q, double boostDb, double outputGainDb = 0.0);
// Each coefficient * 2^23, rounded half to even. False when one does not fit 32 bits.
bool toFixed(const Coefficients &k, std::array<qint32, 5> *fixed);
Coefficients fromFixed(const std::array<qint32, 5> &fixed);
// The six log lines of one calculation.
QStringList formatLines(const QString &noteName, double boostDb, double q, const std::array<qint32, 5> &fixed,
                        const QLocale &locale = QLocale());
// A number as the calculator writes it: shortest form, up to 15 significant digits.
QString numberText(double v, const QLocale &locale = QLocale());
// The filter's gain in dB at frequency f.
double magnitudeDb(const Coefficients &k, double f);
} // namespace FilterCalculator
