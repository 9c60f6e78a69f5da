#pragma once
// The eight window looks ("STYLE_0" to "STYLE_7") and the remembered choice in style.txt.

#include <QString>

class UserFiles;

namespace Looks {
constexpr int MenuLookCount = 7; // the Look menu offers 0 to 6
// The style sheet of look n; found is false when no such look is carried.
QString styleSheet(int n, bool *found);
// The name a carried look gives itself in its sheet's first comment ("Quarnelo MK3 editor look:
// Stage Dark (...)" names "Stage Dark"); the look's number when it names none.
QString name(int n);
// The look to apply at start-up. No style.txt: 0. A style.txt that is not a decimal number:
// error holds "'<text>' is not a valid integer value" and the result is 0.
int savedLook(const UserFiles &files, QString *error);
// Stores the chosen look in style.txt (the number in decimal, nothing else).
bool saveLook(const UserFiles &files, int n, QString *error = nullptr);
} // namespace Looks
