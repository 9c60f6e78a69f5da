#pragma once
// The effect list carried by the editor and the lines of a loaded data block.

#include <QString>
#include <QStringList>

namespace EffectList {
// Loads a named data block as text lines (split at CR, LF or CR LF). On failure error holds
// the reason and lines is left as it was.
bool loadResourceToList(const QString &name, QStringList *lines, QString *error);
// The newest algorithm number named by an effect list entry: the five characters after the
// first twelve, read as a decimal number ("Quarnelo MK3 0015" gives 15). 0 when unreadable.
int latestAlgorithmNumber(const QString &firstItem);
} // namespace EffectList
