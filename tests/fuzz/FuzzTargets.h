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
} // namespace FuzzTargets
