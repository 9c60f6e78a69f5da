#pragma once
// What the effect window's controls show for the parameters' data words, and the message a
// control sends when what it shows changes. Lets tools without the window (the command-line
// tool) send exactly what the window would.

#include <QString>
#include <optional>

namespace ControlStates {
// The shown state of catalogue parameter i for a data word: a dial's angle, 1/0 for a switch
// or check box, the list item for the harmonic pitch. Empty where the control would keep
// whatever it showed (a switch or list that knows no such word).
std::optional<int> shownState(int i, quint32 word);
// The message the control's change handler sends for a new shown state (one text; Attack's
// handler sends it three times), and its log line's text.
QString messageFor(int i, int state, quint16 address);
int timesSent(int i);
QString logLine(int i, const QString &name, const QString &message);
} // namespace ControlStates
