#include "soundset/ima_adpcm.h"

#include <algorithm>
#include <cstdlib>

#include "instruments/adpcm_decoder.h"

namespace pocketmidi::soundset {

namespace {

// Chooses the code whose reconstruction lies nearest to the point. The
// textbook encoder picks magnitude bits greedily; trying all eight
// magnitudes costs little here and never does worse.
uint8_t ChooseCode(const AdpcmState& s, int32_t point) {
  const uint8_t sign = point < s.predictor ? 8 : 0;
  uint8_t best = sign;
  int64_t bestError = -1;
  for (uint8_t magnitude = 0; magnitude < 8; ++magnitude) {
    AdpcmState trial = s;
    const int32_t error = std::abs(DecodeAdpcmCode(trial, sign | magnitude) - point);
    if (bestError < 0 || error < bestError) {
      bestError = error;
      best = sign | magnitude;
    }
  }
  return best;
}

}  // namespace

std::vector<uint8_t> EncodeImaAdpcm(const std::vector<int16_t>& points) {
  std::vector<uint8_t> bytes((points.size() + 1) / 2);
  AdpcmState state;
  for (size_t i = 0; i < bytes.size() * 2; ++i) {
    const int32_t point = i < points.size() ? points[i] : 0;
    const uint8_t code = ChooseCode(state, point);
    DecodeAdpcmCode(state, code);
    bytes[i / 2] |= (i % 2 == 0) ? static_cast<uint8_t>(code << 4) : code;
  }
  return bytes;
}

std::vector<int16_t> DecodeImaAdpcm(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> points(bytes.size() * 2);
  AdpcmState state;
  DecodeAdpcmBytes(state, bytes.data(), static_cast<uint32_t>(bytes.size()), points.data());
  return points;
}

}  // namespace pocketmidi::soundset
