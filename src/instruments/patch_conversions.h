// Conversions of the patch header's envelope, tremolo and vibrato bytes into
// per-control-tick units. outputRate is the engine's output rate (never 0 in
// a configured engine) and controlRatio its output frames per control tick.
// Divisors coming from the patch (sweep and rate bytes) are 0 only where the
// loader already excludes them; outputRate 0 is answered with 0 rather than a
// division fault.
#pragma once

#include <cstdint>

namespace pocketmidi {

// Full scale of one tremolo/vibrato cycle the sweep bytes are measured in:
// 38 x 65536.
constexpr uint32_t kSweepScale = 2490368;

// Rate byte r: the top two bits pick a range (shift 9, 6, 3 or 0), the low
// six bits the mantissa; the table rate is for 44100 Hz output.
inline int32_t ConvertEnvelopeRate(uint8_t rate, uint32_t outputRate, int32_t controlRatio) {
  if (outputRate == 0) return 0;
  const uint32_t exponent = 3u * (3u - (rate >> 6));
  const uint32_t mantissa = static_cast<uint32_t>(rate & 63) << exponent;
  const uint32_t perTick = (mantissa * 44100u) / outputRate * static_cast<uint32_t>(controlRatio);
  return static_cast<int32_t>(perTick << 10);
}

inline int32_t ConvertEnvelopeOffset(uint8_t offset) {
  return static_cast<int32_t>(static_cast<uint32_t>(offset) << 22);
}

inline int32_t ConvertTremoloSweep(uint8_t sweep, uint32_t outputRate, int32_t controlRatio) {
  if (sweep == 0 || outputRate == 0) return 0;
  const uint32_t numerator = static_cast<uint32_t>(controlRatio) * kSweepScale;
  return static_cast<int32_t>(numerator / (outputRate * sweep));
}

inline int32_t ConvertTremoloRate(uint8_t rate, uint32_t outputRate, int32_t controlRatio) {
  if (outputRate == 0) return 0;
  const uint32_t numerator = (static_cast<uint32_t>(rate) * static_cast<uint32_t>(controlRatio)) << 15;
  return static_cast<int32_t>(numerator / (38u * outputRate));
}

// Output samples per vibrato phase step; rate 0 is excluded by the caller
// (no vibrato), and answered with 0 here.
inline int32_t ConvertVibratoRate(uint8_t rate, uint32_t outputRate) {
  if (rate == 0) return 0;
  return static_cast<int32_t>((38u * outputRate) / (static_cast<uint32_t>(rate) * 64u));
}

// The numerator exceeds 32 bits for slow vibratos at high output rates
// (26184 x 2490368), so it is formed in 64 bits.
inline int32_t ConvertVibratoSweep(uint8_t sweep, int32_t vibControlRatio, uint32_t outputRate) {
  if (sweep == 0 || outputRate == 0) return 0;
  const uint64_t numerator = static_cast<uint64_t>(static_cast<uint32_t>(vibControlRatio)) * kSweepScale;
  return static_cast<int32_t>(numerator / (static_cast<uint64_t>(outputRate) * sweep));
}

}  // namespace pocketmidi
