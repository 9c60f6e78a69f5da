#pragma once
// The tuning table carried by the editor: 32 note filters of 20 bytes each, 640 bytes.

#include <QString>
#include <array>

class DiagnosticLog;

namespace Tunings {
constexpr int Records = 32;
constexpr int TableBytes = 640;
// Byte i of the table as two upper-case hex digits.
QString tableByte(int i);
// Record r's five coefficients as the signed 32-bit numbers the table holds.
std::array<qint32, 5> recordValues(int r);
// The whole table as hex text (1,280 characters); logs "tuning data: " and the text.
QString buildTuningData(DiagnosticLog *log);
} // namespace Tunings
