#pragma once
// Texts the pedal service's files share: the log's banner.

#include <QString>

namespace PedalServiceTexts {
inline const QString Banner = QStringLiteral("********************%1********************");
} // namespace PedalServiceTexts
