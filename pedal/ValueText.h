#pragma once
// A parameter's value in the pedal's own terms: the one wording that the effect window's dials,
// the undo and redo texts, the compare window and the tool's get and set all use.
//
// - a dial of the pedal's levels: the level, 0..1023 ("510");
// - a dial on the pedal's own scale (Low Pass 24, High Pass 16, Range 22): its step, "12 / 24",
//   the value the pedal reports for the word the dial sends (DialMath::ownScaleWord);
// - the harmonic pitch: semitones, "+5 st", "0 st", "-3 st";
// - Attack: "slow" or "fast"; the other switches and the check boxes: "on" or "off";
// - "?" for a word the parameter's data do not define.

#include <QString>
#include <optional>

namespace ValueText {
// What a data word of parameter stands for.
QString ofWord(int parameter, quint32 word);
// What a state of parameter's control shows (a dial's angle, a switch's or check box's 1/0, the
// harmonic pitch list's item); the text of the word that state sends.
QString ofState(int parameter, int state);
// Semitones with their unit: "+5 st", "0 st", "-3 st".
QString semitones(int semitones);
// The full scale of a dial on the pedal's own scale (24, 16, 22); 0 for any other parameter.
int steps(int parameter);
// The line of a dial's hint that gives the exact data word: "Data word 0x003FC000".
QString dataWordLine(quint32 word);

// How a bare number is read on a dial on the pedal's own scale: as its step (the effect window,
// where such a dial shows its step) or as a level 0..1023 (the tool's set, which has always
// taken levels there). "12/24" (or "12 / 24") is the step either way.
enum class BareNumber { Step, Level };
// The control state a typed value asks for: a dial's angle, 1/0 for on/off (slow/fast for
// Attack), the harmonic pitch list's item for semitones ("+3", "-3 st"). Empty when the text
// does not fit the parameter; *takes then says what it takes ("a level from 0 to 1023").
std::optional<int> stateOf(int parameter, const QString &text, BareNumber bare, QString *takes);
} // namespace ValueText
