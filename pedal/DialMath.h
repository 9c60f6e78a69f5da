#pragma once
// The dial arithmetic of the effect window: angles, travel positions, levels and data words.
// A dial's angle is in whole degrees, counter-clockwise positive, 0 pointing right; its travel
// runs clockwise from -135 (minimum) through 180, 90 and 0 to -45 (maximum). The 90 degrees at
// the bottom between -135 and -45 are the dead zone.

#include <QtGlobal>
#include <array>
#include <optional>

namespace DialMath {
constexpr int MinAngle = -135;
constexpr int MaxAngle = -45;
constexpr int MaxPosition = 269;
constexpr int MaxLevel = 1023;
constexpr quint32 FullScale = 0x800000;

int snapDialAngle(int angle);
int dialAngleToPosition(int angle);
int positionToLevel(int position);
// The angle of a travel position (0..269): the inverse of dialAngleToPosition.
int positionToAngle(int position);
int mapRange(int x, int inLow, int inHigh, int outLow, int outHigh);
// The angle that sends a level (0..1023) as nearly as the dial can: it moves in whole degrees,
// so the level of the nearest travel position goes out.
int levelToAngle(int level);
// The level L (0..1023) a data word stands for on a dial of the given full scale.
int wordToLevel(quint32 word, quint32 fullScale);
inline quint32 levelToWord(int level) { return quint32(level) << 13; }
// The travel position (0..269) that sends exactly this word, if there is one: a word the
// dial itself has sent.
std::optional<int> stepOfWord(quint32 word);
// A dial on the pedal's own scale (full scale 24, 16 or 22: Low Pass, High Pass, Range) sends
// the word of a level (0..1023) and reports its value on its own scale. The word the pedal
// reports for the word such a dial sent: the level taken to the full scale, to the nearest, as
// showing the reported word takes it back. A word already on the own scale stays as it is.
quint32 ownScaleWord(quint32 word, quint32 fullScale);
// The angle a data word shows at: the step that sends exactly this word when there is one (so
// a word the editor sent comes back unchanged), otherwise the nearest angle by the full scale.
int valueToDialAngle(quint32 word, quint32 fullScale);

// Pitch ratios of the first harmonic, -12..+12 semitones, in units of 2^-22.
extern const std::array<quint32, 25> HarmonicPitchTable;
} // namespace DialMath
