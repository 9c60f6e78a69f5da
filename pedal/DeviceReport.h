#pragma once
// The device information answer in words: one "name: value" line per setting, as the
// command-line tool's info prints it.

#include "device/DeviceInformation.h"

#include <QStringList>

namespace DeviceReport {
QStringList describe(const DeviceInformation &info);
} // namespace DeviceReport
