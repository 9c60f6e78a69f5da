#pragma once
// The device information answer in words: one "name: value" line per setting.

#include <QByteArray>
#include <QStringList>
#include <array>

namespace DeviceReport {
// The twenty parameter data words, big-endian, from position start of a decoded answer.
// The answer must hold start + 80 values.
std::array<quint32, 20> parameterWords(const QByteArray &values, int start = 26);
QStringList describe(const QByteArray &values);
} // namespace DeviceReport
