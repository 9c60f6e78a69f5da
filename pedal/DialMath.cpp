#include "pedal/DialMath.h"

#include <algorithm>
#include <cmath>

namespace DialMath {

const std::array<quint32, 25> HarmonicPitchTable = {
    0x200000, 0x22AAA8, 0x255558, 0x280000, 0x2AAAA8, 0x2D5558, 0x300000, 0x32AAA8, 0x355558,
    0x380000, 0x3AAAA8, 0x3D5558, 0x400000, 0x455558, 0x4AAAA8, 0x500000, 0x555558, 0x5AAAA8,
    0x600000, 0x655558, 0x6AAAA8, 0x700000, 0x755558, 0x7AAAA8, 0x800000};

int snapDialAngle(int x)
{
    if (x >= -45 || x <= -135)
        return x;
    return x <= -90 ? -135 : -45;
}

int dialAngleToPosition(int x)
{
    if (x == -180)
        return 44;
    if (x >= -179 && x <= -135)
        return -(x + 135);
    if (x >= 0 && x <= 180)
        return 224 - x;
    if (x >= -45 && x <= -1)
        return 224 - x;
    return x < -90 ? 0 : MaxPosition; // inside the dead zone: the nearer end
}

int positionToLevel(int p)
{
    // p * 1023 / 269, formed as p * 4 * (1023 / 1076), rounded to nearest.
    return int(std::lround(double(p) * 4.0 * 0.95074349442379182154));
}

int positionToAngle(int p)
{
    p = std::clamp(p, 0, MaxPosition);
    if (p <= 44)
        return p == 44 ? 180 : -135 - p;
    return 224 - p; // 180 down to 0, then -1 to -45
}

int levelToAngle(int level) { return positionToAngle(int(std::lround(level * double(MaxPosition) / MaxLevel))); }

int mapRange(int x, int a, int b, int c, int d) { return c + ((x - a) * (d - c)) / (b - a); }

int wordToLevel(quint32 word, quint32 fullScale)
{
    quint32 l;
    if (fullScale == FullScale || fullScale == 0)
        l = word >> 13;
    else
        l = quint32(word * (8192u / fullScale)) >> 3;
    return int(std::min<quint32>(l, MaxLevel));
}

std::optional<int> stepOfWord(quint32 word)
{
    if (word % levelToWord(1) != 0 || word > levelToWord(MaxLevel))
        return std::nullopt;
    const int level = int(word >> 13);
    // Levels rise by 3 or 4 from one position to the next: the nearest position or a neighbour.
    const int guess = int(std::lround(level * double(MaxPosition) / MaxLevel));
    for (int p : {guess, guess - 1, guess + 1}) {
        if (p >= 0 && p <= MaxPosition && positionToLevel(p) == level)
            return p;
    }
    return std::nullopt;
}

quint32 ownScaleWord(quint32 word, quint32 fullScale)
{
    if (fullScale == FullScale || fullScale == 0 || word <= fullScale)
        return word;
    const quint32 level = std::min<quint32>(word >> 13, MaxLevel);
    return (level * fullScale * 2 + MaxLevel) / (2 * MaxLevel);
}

int valueToDialAngle(quint32 word, quint32 fullScale)
{
    if (const std::optional<int> step = stepOfWord(word))
        return positionToAngle(*step);
    // A word between two steps (or on the pedal's own scale of a dial) goes by its level.
    const int l = wordToLevel(word, fullScale);
    if (l <= 169)
        return mapRange(l, 0, 169, -135, -179);
    if (l <= 339)
        return mapRange(l, 170, 339, 180, 135);
    if (l <= 511)
        return mapRange(l, 340, 511, 136, 90);
    if (l <= 680)
        return mapRange(l, 512, 680, 89, 45);
    if (l <= 850)
        return mapRange(l, 681, 850, 44, 0);
    return mapRange(l, 851, 1023, -1, -45);
}

} // namespace DialMath
