#pragma once
// Stand-ins for the maker's algorithm images. The real images are the pedal maker's data and
// are not in this repository; these have the same names, sizes and header layout (length
// field and parameter address words) and a body that says what it is. The editor refuses to
// write a stand-in into a real pedal.

#include <QByteArray>
#include <QList>

namespace StandInImages {
// The algorithm numbers carried: 8 to 15.
QList<int> algorithmNumbers();
// The decoded size of image n.
int imageSize(int n);
// Image n, decoded (raw bytes).
QByteArray algorithmImage(int n);
// The text every stand-in body starts with, followed by the four-digit number.
QByteArray marker();
bool isStandIn(const QByteArray &image);
} // namespace StandInImages

// Stand-ins for the maker's firmware images FIRMWARE_5 to FIRMWARE_15: the same names and
// sizes, each a raw flash image for 0x08000000 that starts with a Cortex-M vector table
// (stack pointer 0x20005000, a Thumb reset vector inside the image) whose reset handler only
// loops, followed by text that says what it is. The editor refuses to write one into a real
// pedal.
namespace StandInImages {
QList<int> firmwareNumbers();
int firmwareSize(int n);
QByteArray firmwareImage(int n);
QByteArray firmwareMarker();
bool isStandInFirmware(const QByteArray &image);
} // namespace StandInImages
