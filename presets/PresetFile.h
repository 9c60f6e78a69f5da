#pragma once
// Local preset files: the twenty parameter values as eight hex digits each, one per line.
// Written as UTF-8 with a byte-order mark and CR between lines (182 bytes); read back with
// CR, LF or CR LF, upper or lower case.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>

namespace PresetFile {
constexpr int Values = 20;
constexpr int FileBytes = 182;      // as the editor writes them
constexpr qint64 MaxFileBytes = 4096; // a file larger than this is no preset, whatever it holds
using PresetValues = std::array<quint32, Values>;

// The key of each line in the log ("Dry: ", "SubMix: " ...).
const QStringList &logKeys();
QByteArray fileBytes(const PresetValues &values);
// The pairs of eight digits in reverse order: 11223344 gives 44332211.
QString swapByteOrder(const QString &eightDigits);
// Reads a preset file's bytes. Anything but exactly twenty lines of eight hex digits is
// refused, with the reason in error, and values is left untouched.
bool parse(const QByteArray &data, PresetValues *values, QString *error);
// Reads and parses a preset file: a regular file of at most MaxFileBytes. On failure message
// holds what the user is told: "Error loading file: " and why; values is left untouched.
bool load(const QString &path, PresetValues *values, QString *message);
// Whether a preset can be written at path: its folder exists and path is a regular file (or a
// link to one) or nothing yet. Otherwise error says why.
bool canWrite(const QString &path, QString *error);
// Writes the file whole, or not at all: a failure (a full disk too) leaves an earlier file as it
// was and no half-written preset, with the reason in error.
bool write(const QString &path, const PresetValues &values, QString *error);
// The name the save dialog's choice is stored under: ".txt" appended unless it ends so, or unless
// something that is no regular file (a device, a pipe, a folder) stands at that name.
QString withExtension(const QString &path);
} // namespace PresetFile
