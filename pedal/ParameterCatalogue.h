#pragma once
// The twenty effect parameters, declared once: name, record kind, where the algorithm
// header carries the address, the control that edits it and how its data word is shown.

#include <QString>
#include <array>

enum class ParameterRecord { Standard, Assignable };
enum class ControlKind { Dial, Switch, CheckBox, List };

struct ParameterInfo {
    const char *name;        // parameter_name
    ParameterRecord record;
    int headerWord;          // index of the address word in the image header; -1: none
    ControlKind control;
    const char *controlName; // objectName of the effect window's control
    quint32 fullScale;       // for showing a data word on a dial; 0 for other controls
};

namespace ParameterCatalogue {
constexpr int Count = 20;
const std::array<ParameterInfo, Count> &all();
// Catalogue position of a name (exact, case-sensitive); -1 when unknown.
int indexOf(const QString &name);
} // namespace ParameterCatalogue
