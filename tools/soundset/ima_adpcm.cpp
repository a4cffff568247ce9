#include "soundset/ima_adpcm.h"

#include <algorithm>
#include <cstdlib>

namespace pocketmidi::soundset {

const int16_t kImaStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

const int8_t kImaIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

namespace {

struct ImaState {
  int32_t predictor = 0;
  int32_t index = 0;
};

// Applies one code exactly as the decoder does and returns the new point.
int16_t ApplyCode(ImaState& s, uint8_t code) {
  const int32_t step = kImaStepTable[s.index];
  int32_t diff = step >> 3;
  if (code & 4) diff += step;
  if (code & 2) diff += step >> 1;
  if (code & 1) diff += step >> 2;
  s.predictor += (code & 8) ? -diff : diff;
  s.predictor = std::clamp(s.predictor, -32768, 32767);
  s.index = std::clamp(s.index + kImaIndexTable[code], 0, 88);
  return static_cast<int16_t>(s.predictor);
}

// Chooses the code whose reconstruction lies nearest to the point. The
// textbook encoder picks magnitude bits greedily; trying all eight
// magnitudes costs little here and never does worse.
uint8_t ChooseCode(const ImaState& s, int32_t point) {
  const uint8_t sign = point < s.predictor ? 8 : 0;
  uint8_t best = sign;
  int64_t bestError = -1;
  for (uint8_t magnitude = 0; magnitude < 8; ++magnitude) {
    ImaState trial = s;
    const int32_t error = std::abs(ApplyCode(trial, sign | magnitude) - point);
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
  ImaState state;
  for (size_t i = 0; i < bytes.size() * 2; ++i) {
    const int32_t point = i < points.size() ? points[i] : 0;
    const uint8_t code = ChooseCode(state, point);
    ApplyCode(state, code);
    bytes[i / 2] |= (i % 2 == 0) ? static_cast<uint8_t>(code << 4) : code;
  }
  return bytes;
}

std::vector<int16_t> DecodeImaAdpcm(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> points;
  points.reserve(bytes.size() * 2);
  ImaState state;
  for (uint8_t byte : bytes) {
    points.push_back(ApplyCode(state, byte >> 4));
    points.push_back(ApplyCode(state, byte & 15));
  }
  return points;
}

}  // namespace pocketmidi::soundset
