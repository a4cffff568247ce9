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

// Decodes a whole stream (2 points per byte) with the library's own decoder
// step, the one the encoder chooses its codes against.
std::vector<int16_t> DecodeImaAdpcm(const std::vector<uint8_t>& bytes);

}  // namespace pocketmidi::soundset
