#pragma once
// The file version of a Windows program, read from its own version resource (the fixed part of
// VS_VERSIONINFO), on any system: the bytes of the file are walked as the PE format lays them
// out, and every offset is checked against the file's size.

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

namespace PeFileVersion {
// The four numbers major.minor.build.revision; nothing when the bytes are no Windows program
// or hold no version resource.
std::optional<std::array<int, 4>> read(const QByteArray &program);
// "major.minor", as the editor compares updaters; empty when there is no version.
QString majorMinor(const QByteArray &program);
} // namespace PeFileVersion
