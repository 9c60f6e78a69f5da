#pragma once
// Keys that users bring from other editors, whatever the platform binds.

#include <QKeySequence>
#include <QList>

namespace KeyHabits {
// The platform's Redo keys, with Ctrl+Y (as on Windows) and Ctrl+Shift+Z each bound once:
// a key bound twice to one action would be ambiguous and do nothing.
inline QList<QKeySequence> redoKeys()
{
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Redo);
    for (const QKeySequence &k : {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}) {
        if (!keys.contains(k))
            keys << k;
    }
    return keys;
}
} // namespace KeyHabits
