#pragma once
// The twenty effect parameters, declared once: name, record kind, where the algorithm header
// carries the address, the control that edits it, what that control shows for a data word and
// which word each state of the control sends.

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// Catalogue positions: the order in which the pedal reports the parameter words.
namespace Parameter {
enum : int {
    Dry, SubMix, Minus1Oct, Minus2Oct, Wave, LowPass, HighPass, FirstHarmonic, Split, Range,
    InputLevel, FirstHarmonicPitch, WaveClip, DominantNotesCut, HighNotesCut, DryHPF, LimitRangeUp,
    NoiseGateStatus, NoiseGateThreshold, Attack,
};
}

enum class RecordKind { Standard, Assignable };
enum class ControlKind { Dial, Switch, CheckBox, List };

struct ParameterInfo {
    const char *name;        // the parameter's name, exact
    RecordKind record;
    int headerWord;          // index of the address word in the image header; -1: none
    ControlKind control;
    const char *controlName; // objectName of the effect window's control
    quint32 fullScale;       // for showing a data word on a dial; 0 for other controls
    int initialState;        // what the control shows before anything is read: angle, 0/1, item
};

namespace ParameterCatalogue {
constexpr int Count = 20;
constexpr int NothingSelected = -1; // the harmonic pitch list before a value is shown

const std::array<ParameterInfo, Count> &all();
// Catalogue position of a name (exact, case-sensitive); -1 when unknown.
int indexOf(const QString &name);
QString name(int i);

// What the control of parameter i shows for a data word: a dial's angle, 1/0 for a switch or
// check box, the item of the harmonic pitch list. Empty where the control keeps whatever it
// showed (a switch or list that knows no such word).
std::optional<int> shownState(int i, quint32 word);
// The data word a state of parameter i's control stands for (a dial's state is its angle).
quint32 wordFor(int i, int state);

// The order in which the effect window puts values on its controls.
const std::array<int, Count> &showOrder();

// Assignment: Controls I and II offer the parameters with a range, III and IV the on/off ones;
// item k + 1 of a list is offered(control)[k]; item 0 is "Not Assigned".
constexpr int AssignableControls = 5; // Control I..IV, Remote Footswitch
constexpr int RemoteFootswitch = 4;
const std::array<int, 5> &offeredOn(int control);
QStringList assignItems(int control);
} // namespace ParameterCatalogue
