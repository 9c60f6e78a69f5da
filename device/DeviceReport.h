#pragma once
// The device information answer in words: one "name: value" line per setting.

#include <QByteArray>
#include <QStringList>

namespace DeviceReport {
QStringList describe(const QByteArray &values);
}
