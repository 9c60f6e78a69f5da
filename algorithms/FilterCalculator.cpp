#include "algorithms/FilterCalculator.h"

#include "device/HexCodec.h"

#include <cfenv>
#include <cmath>
#include <complex>
#include <numbers>

namespace FilterCalculator {

const QStringList &noteNames()
{
    static const QStringList names = {"A1", "A#1", "B1", "C2", "C#2", "D2", "D#2", "E2", "F2", "F#2", "G2", "G#2",
                                      "A2", "A#2", "B2", "C3", "C#3", "D3", "D#3", "E3", "F3", "F#3", "G3", "G#3",
                                      "A3", "A#3", "B3", "C4", "C#4", "D4", "D#4", "E4", "F4", "F#4", "G4", "G#4",
                                      "A4", "A#4", "B4", "C5", "C#5", "D5", "D#5", "E5", "F5", "F#5", "G5", "G#5"};
    return names;
}

double noteFrequency(int n) { return 110.0 * std::pow(2.0, n / 12.0); }

Coefficients peaking(double f0, double q, double boostDb, double outputGainDb)
{
    const double A = std::pow(10.0, boostDb / 40.0);
    const double w0 = 2 * std::numbers::pi * f0 / SampleRate;
    const double sn = std::sin(w0), cs = std::cos(w0);
    const double alpha = sn / (2 * q);
    const double a0 = 1 + alpha / A;
    const double g = std::pow(10.0, outputGainDb / 20.0) / a0;
    return {(1 + alpha * A) * g, -2 * cs * g, (1 - alpha * A) * g, 2 * cs / a0, -(1 - alpha / A) / a0};
}

bool toFixed(const Coefficients &k, std::array<qint32, 5> *fixed)
{
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST); // halves to even
    bool ok = true;
    for (size_t i = 0; i < 5; ++i) {
        const double v = std::nearbyint(k[i] * FixedPointScale);
        if (!std::isfinite(v) || v < -2147483648.0 || v > 2147483647.0) {
            ok = false;
            continue;
        }
        (*fixed)[i] = qint32(v);
    }
    std::fesetround(mode);
    return ok;
}

Coefficients fromFixed(const std::array<qint32, 5> &fixed)
{
    Coefficients k{};
    for (size_t i = 0; i < 5; ++i)
        k[i] = fixed[i] / FixedPointScale;
    return k;
}

QString numberText(double v, const QLocale &locale)
{
    QString s = locale.toString(v, 'g', 15);
    s.remove(locale.groupSeparator());
    return s;
}

QStringList formatLines(const QString &noteName, double boostDb, double q, const std::array<qint32, 5> &fixed,
                        const QLocale &locale)
{
    const bool cut = boostDb < 0;
    QStringList lines;
    lines << noteName + QLatin1Char('_') + numberText(cut ? -boostDb : boostDb, locale) + QStringLiteral("db_") +
                 (cut ? QStringLiteral("cut") : QStringLiteral("boost")) + QStringLiteral("_Q") + numberText(q, locale) +
                 QStringLiteral(" : array[0..19] of string =");
    for (size_t i = 0; i < 5; ++i) {
        const QString hex = HexCodec::hexNumber(quint32(fixed[i]), 8);
        QString line = i == 0 ? QStringLiteral("(") : QString();
        for (int p = 0; p < 4; ++p) {
            line += QLatin1Char('\'') + hex.mid(2 * p, 2) + QLatin1Char('\'');
            if (p < 3)
                line += QStringLiteral(", ");
        }
        line += i == 4 ? QStringLiteral(");") : QStringLiteral(", ");
        lines << line;
    }
    return lines;
}

double magnitudeDb(const Coefficients &k, double f)
{
    const double w = 2 * std::numbers::pi * f / SampleRate;
    const std::complex<double> z1 = std::polar(1.0, -w), z2 = std::polar(1.0, -2 * w);
    const std::complex<double> h = (k[0] + k[1] * z1 + k[2] * z2) / (1.0 - k[3] * z1 - k[4] * z2);
    return 20 * std::log10(std::max(std::abs(h), 1e-12));
}

} // namespace FilterCalculator
