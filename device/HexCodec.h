#pragma once
// Hex text (two upper-case digits per byte, no separators) and the small helpers built on it.

#include <QByteArray>
#include <QString>

namespace HexCodec {
// value as unsigned 32-bit, upper-case hex, left-padded to digits; never truncated.
QString hexNumber(qint64 value, int digits);
// Converts pairs into dest, at most count of them; stops at the first pair that is not two
// hex digits or at the end of the text. Returns the number of bytes converted.
int hexTextToBuffer(const QString &text, unsigned char *dest, int count);
// Converts every pair (an odd last character is ignored). A pair that is not hexadecimal gives
// an empty result and error = "'$XY' is not a valid integer value".
QByteArray hexTextToBytes(const QString &text, QString *error = nullptr);
// Like hexTextToBuffer into a string of length/2 bytes; bytes after an early stop are zero.
QByteArray hexTextToRaw(const QString &text);
QString bytesToHexText(const unsigned char *bytes, int count);
QString bytesToHexText(const QByteArray &bytes);
// XOR of the first n bytes of the text (n >= 1). On a bad pair ok is false.
quint8 xorChecksum(const QString &text, int n, QString *error = nullptr);
QString effectNameToResourceName(const QString &effectName);
// The standard conversion error text for a value that is not a number.
QString conversionError(const QString &text);
} // namespace HexCodec
