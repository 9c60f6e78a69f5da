#pragma once
// A service command's result in one word, as the tests' records and rows say it.

#include "pedal/PedalService.h"

#include <QString>

inline QString resultWord(PedalService::Result r)
{
    switch (r) {
    case PedalService::Result::Done: return QStringLiteral("done");
    case PedalService::Result::Refused: return QStringLiteral("refused");
    case PedalService::Result::Cancelled: return QStringLiteral("cancelled");
    case PedalService::Result::Failed: return QStringLiteral("failed");
    }
    return QStringLiteral("?");
}
