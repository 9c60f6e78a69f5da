#pragma once
// The parsers that take outside input, each as one entry point taking raw bytes. Used by the
// fuzzers (a CMake option) and, over the saved inputs, by the normal test run.

#include <cstddef>
#include <cstdint>

namespace FuzzTargets {
void replyDecoder(const uint8_t *data, size_t size); // device information answers
void hexText(const uint8_t *data, size_t size);      // hex text conversions and checksum
void presetFile(const uint8_t *data, size_t size);   // preset files
void imageHeader(const uint8_t *data, size_t size);  // algorithm image headers
// The device information answer as the line delivers it: in pieces, gathered over several
// reads by the exchange, then decoded. Byte 0 sets how the rest is cut into pieces.
void deviceAnswer(const uint8_t *data, size_t size);
void versionText(const uint8_t *data, size_t size);    // the update server's version answers
void programVersion(const uint8_t *data, size_t size); // a Windows program's version resource
void algorithmImage(const uint8_t *data, size_t size); // an algorithm image (.dat) file
void firmwareImage(const uint8_t *data, size_t size);  // a firmware image before it is written
// The bootloader's answers as the line delivers them, to synchronisation, Read Memory, erase,
// Write Memory, the firmware number record and Go. Byte 0 cuts the rest into timed pieces,
// byte 1 sets the Read Memory count.
void bootloaderAnswers(const uint8_t *data, size_t size);
// A settings-memory dump as the line delivers it to the memory check. Byte 0 cuts the rest into
// timed pieces; bytes 1-2 (when not zero) give the length the rest is repeated to.
void settingsDump(const uint8_t *data, size_t size);
// The command-line tool's arguments (split at NUL bytes), run on the simulated pedal.
void commandLine(const uint8_t *data, size_t size);
} // namespace FuzzTargets
