// The eight mix kernels and the ramp for cut voices, which MixVoice chooses
// between. Each adds points scaled by the voice's Q12 gains into 32-bit
// accumulators, wrapping modulo 2^32: nothing is clamped before the block is
// converted to PCM.
#pragma once

#include <cstdint>

namespace pocketmidi {

class SynthEngine;

// How one source point lands in the mix buffer.
enum class MixLayout {
  kMono,    // mono output: the one slot, gain mixLeft
  kSpread,  // stereo: left += s x mixLeft, right += s x mixRight
  kCentre,  // stereo: left and right both += s x mixLeft
  kSingle,  // stereo: one side += s x mixLeft (the caller points at that side)
};

// Mixes count points into buffer for voice v. The forms with control ticks
// call ControlTick every controlRatio output samples, across block
// boundaries, and stop at once when it reports the voice finished.
template <MixLayout kLayout, bool kTicks>
void MixKernel(SynthEngine& engine, const int16_t* points, int32_t* buffer, int32_t v,
               int32_t count);

// Fades out a Dying voice over count points (at most 20): the gain falls by
// gain / count per point, at least 1 for the left (or only) gain.
void RampOut(SynthEngine& engine, const int16_t* points, int32_t* buffer, int32_t v,
             int32_t count);

// Accumulator += point x gain, wrapping as 32-bit two's complement.
inline void AddScaled(int32_t& slot, uint32_t point, uint32_t gain) {
  slot = static_cast<int32_t>(static_cast<uint32_t>(slot) + point * gain);
}

inline uint32_t PointBits(int16_t point) {
  return static_cast<uint32_t>(static_cast<int32_t>(point));
}

}  // namespace pocketmidi
