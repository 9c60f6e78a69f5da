#include "algorithms/Tunings.h"

#include "support/DiagnosticLog.h"

namespace {
// The tuning table the pedal's note filters use: 32 peaking filters (b0, b1, b2, a1, a2; the
// last two stored negated), each coefficient a signed 32-bit number with 23 fractional bits,
// most significant byte first.
const char *const TuningTable[Tunings::TableBytes] = {
    // record 0: D2, -6 dB, Q 11
    "00", "7F", "F5", "EC", "FF", "00", "2B", "70", "00", "7F", "E1", "AB", "00", "FF", "D4", "90", "FF", "80", "28", "6A",
    // record 1: D#2, -6 dB, Q 11
    "00", "7F", "F5", "52", "FF", "00", "2E", "35", "00", "7F", "DF", "DD", "00", "FF", "D1", "CB", "FF", "80", "2A", "D0",
    // record 2: E2, -6 dB, Q 11
    "00", "7F", "F4", "B0", "FF", "00", "31", "2B", "00", "7F", "DD", "F4", "00", "FF", "CE", "D5", "FF", "80", "2D", "5C",
    // record 3: F2, -6 dB, Q 11
    "00", "7F", "F4", "04", "FF", "00", "34", "54", "00", "7F", "DB", "EF", "00", "FF", "CB", "AC", "FF", "80", "30", "0D",
    // record 4: F#2, -6 dB, Q 11
    "00", "7F", "F3", "4E", "FF", "00", "37", "B5", "00", "7F", "D9", "CA", "00", "FF", "C8", "4B", "FF", "80", "32", "E8",
    // record 5: G2, -6 dB, Q 11
    "00", "7F", "F2", "8D", "FF", "00", "3B", "52", "00", "7F", "D7", "85", "00", "FF", "C4", "AE", "FF", "80", "35", "EF",
    // record 6: G#2, -6 dB, Q 11
    "00", "7F", "F1", "C0", "FF", "00", "3F", "2F", "00", "7F", "D5", "1D", "00", "FF", "C0", "D1", "FF", "80", "39", "23",
    // record 7: A2, -6 dB, Q 11
    "00", "7F", "F0", "E7", "FF", "00", "43", "51", "00", "7F", "D2", "91", "00", "FF", "BC", "AF", "FF", "80", "3C", "88",
    // record 8: A#2, -6 dB, Q 11
    "00", "7F", "F0", "02", "FF", "00", "47", "BE", "00", "7F", "CF", "DE", "00", "FF", "B8", "42", "FF", "80", "40", "20",
    // record 9: B2, -6 dB, Q 11
    "00", "7F", "EF", "0F", "FF", "00", "4C", "7C", "00", "7F", "CD", "02", "00", "FF", "B3", "84", "FF", "80", "43", "EF",
    // record 10: C3, -6 dB, Q 11
    "00", "7F", "EE", "0D", "FF", "00", "51", "91", "00", "7F", "C9", "FB", "00", "FF", "AE", "6F", "FF", "80", "47", "F8",
    // record 11: C#3, -6 dB, Q 11
    "00", "7F", "EC", "FC", "FF", "00", "57", "04", "00", "7F", "C6", "C6", "00", "FF", "A8", "FC", "FF", "80", "4C", "3E",
    // record 12: D3, -6 dB, Q 11
    "00", "7F", "EB", "DB", "FF", "00", "5C", "DC", "00", "7F", "C3", "60", "00", "FF", "A3", "24", "FF", "80", "50", "C5",
    // record 13: D#3, -6 dB, Q 11
    "00", "7F", "EA", "A9", "FF", "00", "63", "23", "00", "7F", "BF", "C6", "00", "FF", "9C", "DD", "FF", "80", "55", "91",
    // record 14: E3, -6 dB, Q 11
    "00", "7F", "E9", "64", "FF", "00", "69", "E1", "00", "7F", "BB", "F6", "00", "FF", "96", "1F", "FF", "80", "5A", "A6",
    // record 15: F3, -6 dB, Q 11
    "00", "7F", "E8", "0D", "FF", "00", "71", "1F", "00", "7F", "B7", "EC", "00", "FF", "8E", "E1", "FF", "80", "60", "07",
    // record 16: F#3, -6 dB, Q 11
    "00", "7F", "E6", "A1", "FF", "00", "78", "EA", "00", "7F", "B3", "A5", "00", "FF", "87", "16", "FF", "80", "65", "BB",
    // record 17: G3, -6 dB, Q 11
    "00", "7F", "E5", "1F", "FF", "00", "81", "4D", "00", "7F", "AF", "1C", "00", "FF", "7E", "B3", "FF", "80", "6B", "C4",
    // record 18: C3, -20 dB, Q 12
    "00", "7F", "BD", "9D", "FF", "00", "9D", "1C", "00", "7F", "AE", "DD", "00", "FF", "62", "E4", "FF", "80", "93", "86",
    // record 19: C#3, -20 dB, Q 12
    "00", "7F", "B9", "AD", "FF", "00", "A7", "08", "00", "7F", "AA", "0D", "00", "FF", "58", "F8", "FF", "80", "9C", "46",
    // record 20: D3, -20 dB, Q 12
    "00", "7F", "B5", "82", "FF", "00", "B1", "9D", "00", "7F", "A4", "F4", "00", "FF", "4E", "63", "FF", "80", "A5", "8A",
    // record 21: D#3, -20 dB, Q 12
    "00", "7F", "B1", "17", "FF", "00", "BC", "E8", "00", "7F", "9F", "8E", "00", "FF", "43", "18", "FF", "80", "AF", "5B",
    // record 22: E3, -20 dB, Q 12
    "00", "7F", "AC", "69", "FF", "00", "C8", "F6", "00", "7F", "99", "D6", "00", "FF", "37", "0A", "FF", "80", "B9", "C1",
    // record 23: F3, -20 dB, Q 12
    "00", "7F", "A7", "75", "FF", "00", "D5", "D4", "00", "7F", "93", "C8", "00", "FF", "2A", "2C", "FF", "80", "C4", "C3",
    // record 24: F#3, -20 dB, Q 12
    "00", "7F", "A2", "36", "FF", "00", "E3", "94", "00", "7F", "8D", "5E", "00", "FF", "1C", "6C", "FF", "80", "D0", "6C",
    // record 25: G3, -20 dB, Q 12
    "00", "7F", "9C", "A7", "FF", "00", "F2", "45", "00", "7F", "86", "93", "00", "FF", "0D", "BB", "FF", "80", "DC", "C6",
    // record 26: G#3, -20 dB, Q 12
    "00", "7F", "96", "C4", "FF", "01", "01", "F9", "00", "7F", "7F", "62", "00", "FE", "FE", "07", "FF", "80", "E9", "DA",
    // record 27: A3, -20 dB, Q 12
    "00", "7F", "90", "89", "FF", "01", "12", "C5", "00", "7F", "77", "C4", "00", "FE", "ED", "3B", "FF", "80", "F7", "B3",
    // record 28: A#3, -20 dB, Q 12
    "00", "7F", "89", "F0", "FF", "01", "24", "BE", "00", "7F", "6F", "B3", "00", "FE", "DB", "42", "FF", "81", "06", "5E",
    // record 29: B3, -20 dB, Q 12
    "00", "7F", "82", "F3", "FF", "01", "37", "FC", "00", "7F", "67", "28", "00", "FE", "C8", "04", "FF", "81", "15", "E5",
    // record 30: C4, -20 dB, Q 12
    "00", "7F", "7B", "8C", "FF", "01", "4C", "98", "00", "7F", "5E", "1D", "00", "FE", "B3", "68", "FF", "81", "26", "57",
    // record 31: C#4, -20 dB, Q 12
    "00", "7F", "73", "B6", "FF", "01", "62", "AE", "00", "7F", "54", "8A", "00", "FE", "9D", "52", "FF", "81", "37", "C0",
};
} // namespace

QString Tunings::tableByte(int i) { return QString::fromLatin1(TuningTable[i]); }

std::array<qint32, 5> Tunings::recordValues(int r)
{
    std::array<qint32, 5> values{};
    for (int c = 0; c < 5; ++c) {
        quint32 v = 0;
        for (int b = 0; b < 4; ++b)
            v = v << 8 | QString::fromLatin1(TuningTable[20 * r + 4 * c + b]).toUInt(nullptr, 16);
        values[size_t(c)] = qint32(v);
    }
    return values;
}

QString Tunings::buildTuningData(DiagnosticLog *log)
{
    QString data;
    data.reserve(2 * TableBytes);
    for (const char *b : TuningTable)
        data += QLatin1String(b);
    if (log)
        log->writeLogLine(QStringLiteral("tuning data: ") + data);
    return data;
}
