// Fixed-point helpers of the voice renderer: the 16-bit-halves product shift
// used for amplitudes and gains, the 1024-unit sine, and the Q12 sample
// position (point index above 12 fraction bits) with its interpolation.
#pragma once

#include <cstdint>

#include "voice/voice_tables.h"

namespace pocketmidi {

// Approximate (a * b) >> k for k in 20..28 from 16-bit halves: the aL*bL term
// is dropped (the result may be a few units short), the cross sum wraps at 32
// bits and is shifted logically, the high product wraps at 32 bits.
inline int32_t MulShift(int32_t a, int32_t b, int k) {
  const int32_t aH = a >> 16, bH = b >> 16;
  const uint32_t aL = static_cast<uint32_t>(a) & 0xFFFFu;
  const uint32_t bL = static_cast<uint32_t>(b) & 0xFFFFu;
  const uint32_t mid = aL * static_cast<uint32_t>(bH) + static_cast<uint32_t>(aH) * bL;
  const uint32_t high = static_cast<uint32_t>(aH) * static_cast<uint32_t>(bH);
  return static_cast<int32_t>((high << (32 - k)) + (mid >> (k - 16)));
}

// MulShift for non-negative operands wider than 32 bits, without the 32-bit
// wraps: the same dropped aL*bL term and truncations, so it equals
// MulShift(a, b, k) whenever a and b fit int32 and the result does. Used
// where the sample volume (800 % is exactly 2^31, a normalised quiet sample
// up to 2^43) or an amplitude above 2^31 enters. Exact while a x b stays
// below 2^64 (a volume times a 21-bit t, an amplitude times a Q28 gain).
inline int64_t MulShiftWide(int64_t a, uint64_t b, int k) {
  const uint64_t ua = static_cast<uint64_t>(a);
  const uint64_t aH = ua >> 16, aL = ua & 0xFFFFu;
  const uint64_t bH = b >> 16, bL = b & 0xFFFFu;
  const uint64_t mid = aL * bH + aH * bL;
  return static_cast<int64_t>(((aH * bH) << (32 - k)) + (mid >> (k - 16)));
}

// One sine cycle per 1024 units of x (any int32, taken modulo the cycle),
// exact table values, Q28.
// Quarters 1 and 3 read the table backwards, quarters 2 and 3 negate;
// written without branches, as it runs on every tremolo tick.
inline int32_t Sine1024(int32_t x) {
  const int32_t i = x & 255;
  const int32_t quarter = (x >> 8) & 3;
  const int32_t value = SineTable[(quarter & 1) != 0 ? 256 - i : i];
  const int32_t negate = -(quarter >> 1);  // 0 or all ones
  return static_cast<int32_t>((static_cast<uint32_t>(value) ^ static_cast<uint32_t>(negate)) -
                              static_cast<uint32_t>(negate));
}

// Q12 sample positions, steps, loop points and data lengths: the point index
// is the value shifted right arithmetically by 12 (floor, also below 0), the
// interpolation weight its low 12 bits (0..4095).
constexpr int kPositionFractionBits = 12;
constexpr int32_t kPositionFractionMask = 0xFFF;
constexpr int32_t kPositionOne = 1 << kPositionFractionBits;

constexpr int64_t PointIndex(int64_t positionQ12) { return positionQ12 >> kPositionFractionBits; }

constexpr int32_t PointWeight(int64_t positionQ12) {
  return static_cast<int32_t>(positionQ12 & kPositionFractionMask);
}

// Whole points as a Q12 position (exact for any count, negative included).
constexpr int64_t PointsToPosition(int64_t points) { return points * kPositionOne; }

// The index of the first point at or above a position: a length with a
// fraction counts the point it reaches into.
constexpr int64_t PointIndexRoundedUp(int64_t positionQ12) {
  return (positionQ12 + kPositionFractionMask) >> kPositionFractionBits;
}

// Linear interpolation between neighbouring points a and b at weight 0..4095:
// a + ((b - a) x weight) / 4096 rounded towards minus infinity. Every vector
// kernel reproduces exactly this value.
constexpr int16_t InterpolateQ12(int32_t a, int32_t b, int32_t weight) {
  return static_cast<int16_t>(a + (((b - a) * weight) >> kPositionFractionBits));
}

}  // namespace pocketmidi
