// IMA ADPCM as the patch archive stores it: one headerless stream per patch,
// predictor and step index starting at 0, two 4-bit codes per byte with the
// high nibble first.
#pragma once

#include <cstdint>

namespace pocketmidi {

extern const int16_t kImaStepSizes[89];
extern const int8_t kImaIndexChanges[16];

struct AdpcmState {
  int32_t predictor = 0;
  int32_t stepIndex = 0;
};

// Decodes one 4-bit code and returns the new point.
inline int16_t DecodeAdpcmCode(AdpcmState& state, uint32_t code) {
  const int32_t step = kImaStepSizes[state.stepIndex];
  int32_t difference = step >> 3;
  if (code & 4) difference += step;
  if (code & 2) difference += step >> 1;
  if (code & 1) difference += step >> 2;
  int32_t predictor = (code & 8) ? state.predictor - difference : state.predictor + difference;
  if (predictor > 32767) predictor = 32767;
  if (predictor < -32768) predictor = -32768;
  state.predictor = predictor;
  int32_t index = state.stepIndex + kImaIndexChanges[code & 15];
  if (index < 0) index = 0;
  if (index > 88) index = 88;
  state.stepIndex = index;
  return static_cast<int16_t>(predictor);
}

// Decodes byteCount bytes into 2 x byteCount points; the state carries over
// between calls.
void DecodeAdpcmBytes(AdpcmState& state, const uint8_t* bytes, uint32_t byteCount, int16_t* points);

}  // namespace pocketmidi
