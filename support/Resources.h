#pragma once
// Data carried inside the editor (looks, effect list, images), found by name without
// regard to case.

#include <QByteArray>
#include <QString>

namespace Resources {
// The resource path of a named data block, or empty when there is none.
QString find(const QString &name);
// Loads a named data block; on failure error holds the reason.
bool load(const QString &name, QByteArray *data, QString *error = nullptr);
} // namespace Resources
