#pragma once
// Text that came from outside the editor (file contents, server answers, device names, command
// arguments) shown to a person: control characters are written out as \xNN, so that nothing
// from outside can move a terminal's cursor, retitle its window or hide what follows.

#include <QByteArray>
#include <QString>

namespace OutsideText {
// Whether c is a control character: C0 (below 0x20), DEL or C1 (0x80 to 0x9F).
bool isControl(QChar c);
// text with every control character escaped, line breaks and tabs included, cut to at most
// maxChars characters of the original (then "... (N characters)" follows); maxChars < 0: whole.
QString shown(const QString &text, int maxChars = -1);
// The same for bytes, read as UTF-8 (bytes that are not UTF-8 become U+FFFD).
QString shown(const QByteArray &bytes, int maxChars = -1);
// text with every control character escaped except line feed, carriage return and tab: for
// the tool's own output as a whole, whose lines and columns are its own.
QString forTerminal(const QString &text);
} // namespace OutsideText
