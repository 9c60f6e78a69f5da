#pragma once
// Firmware images for the pedal's microcontroller: the carried ones by name, the checks an
// image passes before anything in the pedal is erased, and its blocks for the bootloader.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace FirmwareImage {
constexpr quint32 FlashBase = 0x08000000;
constexpr quint32 RecordAddress = 0x0801FC00; // the firmware number record
constexpr int MaxBytes = int(RecordAddress - FlashBase); // 130,048: an image stops short of the record
constexpr int BlockBytes = 256;
// The vector table the core reads at reset: the initial stack pointer, then the reset vector
// and the other exception handlers. An image holds at least the table and one word of code.
constexpr int VectorWords = 16;
constexpr int MinBytes = VectorWords * 4 + 4;
constexpr quint32 RamBase = 0x20000000;
constexpr quint32 RamBytes = 0x5000; // the pedal's part: 20 KiB, so the stack starts at most at 0x20005000

// The chooser's entries, oldest first: "Firmware_5" ... "Firmware_15".
QStringList chooserNames();
// The firmware number at the end of a chooser entry: a name of 10 characters gives its last
// character, 11 its last two, 12 its last three. Any other name gives previous.
int numberFromName(const QString &name, int previous);
// Loads a carried image by name, without regard to case.
bool loadCarried(const QString &name, QByteArray *image, QString *error);

// Reads an image file (a regular file of at most MaxBytes); false with why it cannot be used
// ("it is a folder", "it is 200000 bytes long; ...", or the system's reason).
bool readFile(const QString &path, QByteArray *image, QString *why);

// The checks before anything is erased: the size (MinBytes to MaxBytes), and the vector table
// (a stack pointer into RAM, every handler a Thumb address inside the image past the table).
// Returns why the image cannot be written, or an empty string; an image whose length is not a
// multiple of 4 gets its last block padded with 0xFF (the bootloader writes whole words).
QString check(QByteArray *image);
// The image cut into blocks of at most 256 bytes, from the flash base upward.
QList<QByteArray> blocks(const QByteArray &image);
} // namespace FirmwareImage
