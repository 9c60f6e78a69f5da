#pragma once
// The device information answer: a series of values, each 0x0A, one to three ASCII
// decimal digits, 0x0D. Decoded exactly as the pedal's editor always has (the scan runs
// over the answer's hex text, so "A" opens and "D" closes a value), but over the bytes
// of this answer only.

#include <QByteArray>
#include <QString>

struct DecodedReply {
    QByteArray values; // one byte per value, in the order sent
    bool ok = true;    // false when a value held something other than decimal digits
    QString error;     // the conversion error then
};

DecodedReply decodeReplyBytes(const QByteArray &answer);
// How many value-closing bytes (0x0D) an answer holds so far.
int countClosedValues(const QByteArray &answer);
