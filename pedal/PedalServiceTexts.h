#pragma once
// Texts the pedal service's files share: the log's banner and the reason a busy line gives.

#include <QString>

namespace PedalServiceTexts {
inline const QString Banner = QStringLiteral("********************%1********************");
inline const QString BusyReason = QStringLiteral("the pedal is busy with another exchange");
} // namespace PedalServiceTexts
