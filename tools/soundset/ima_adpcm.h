// IMA ADPCM in the archive's flavour: one headerless stream per patch, the
// predictor and step index both starting at 0, two 4-bit codes per byte with
// the high nibble first.
#pragma once

#include <cstdint>
#include <vector>

namespace pocketmidi::soundset {

// Encodes the points, two per byte. An odd count is padded with one point 0
// so that the decoder yields exactly 2 points per byte.
std::vector<uint8_t> EncodeImaAdpcm(const std::vector<int16_t>& points);

// Decodes a whole stream (2 points per byte). The archive's loader has its
// own decoder; this one is the reference the encoder is checked against.
std::vector<int16_t> DecodeImaAdpcm(const std::vector<uint8_t>& bytes);

// The published tables: step size by index (89 entries), index change by code.
extern const int16_t kImaStepTable[89];
extern const int8_t kImaIndexTable[16];

}  // namespace pocketmidi::soundset
