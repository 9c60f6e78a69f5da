#pragma once
// The tuning table carried by the editor: 32 note filters of 20 bytes each, 640 bytes.

#include <QString>

class DiagnosticLog;

namespace Tunings {
constexpr int Records = 32;
constexpr int TableBytes = 640;
// Byte i of the table as two upper-case hex digits.
QString tableByte(int i);
// The whole table as hex text (1,280 characters); logs "tuning data: " and the text.
QString BuildTuningData(DiagnosticLog *log);
} // namespace Tunings
