#pragma once
// Version numbers as the update server writes them: digits and dots, "1.21", "2.0", "1.4.0".
// They compare part by part as numbers, a missing part counting as 0: 1.9 < 1.10 < 1.21 < 2.0,
// and 1.21 equals 1.21.0.

#include <QList>
#include <QString>
#include <optional>

namespace VersionNumber {
// The parts of a version text (white space around it is ignored); nothing when it is not
// digits separated by single dots, or a part does not fit an int.
std::optional<QList<int>> parse(const QString &text);
// Negative, zero or positive as a is older than, the same as, or newer than b.
int compare(const QList<int> &a, const QList<int> &b);
} // namespace VersionNumber
