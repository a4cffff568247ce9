// The gain arithmetic of a control tick, shared by ControlTick and the mix
// kernels' fast ticks so that both compute the same gains from one text.
#pragma once

#include <cstdint>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "instruments/instrument.h"
#include "voice/fixed_point.h"
#include "voice/voice.h"
#include "voice/voice_tables.h"

namespace pocketmidi {

constexpr int32_t kUnityQ28 = 268435456;
constexpr int64_t kMaxMixGain = 8191;  // just under 2.0 in Q12

inline bool HasEnvelope(const Voice& voice) {
  return voice.sample != nullptr && (voice.sample->modes & kModeEnvelope) != 0;
}

// The envelope gain-table index of a level, before the clamp to the table.
constexpr int64_t EnvelopeIndex(int64_t level) { return level >> 23; }

// Envelope levels stay within 0..2^30; the clamp keeps a level of exactly
// 2^30 (index 128) at full gain instead of reading past the table.
inline int32_t EnvelopeGain(int32_t level) {
  int64_t index = EnvelopeIndex(level);
  if (index < 0) index = 0;
  if (index > 127) index = 127;
  return EnvGainTable[index];
}

// A Q28 amplitude through tremolo (when the voice has it) and envelope gain
// to a Q12 mixing gain, clamped to 8191.
inline int32_t MixGain(int64_t amp, const Voice& voice, bool envelope, int32_t envGain) {
  int64_t g = amp;
  if (voice.tremPhaseStep != 0) g = MulShiftWide(g, static_cast<uint32_t>(voice.tremGain), 28);
  if (envelope) g = MulShiftWide(g, static_cast<uint32_t>(envGain), 28);
  const int64_t gain = g >> 16;
  return static_cast<int32_t>(gain < kMaxMixGain ? gain : kMaxMixGain);
}

inline int32_t AddWrapping(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

inline int32_t FullTremoloDepth(const Voice& voice) {
  return voice.sample != nullptr ? voice.sample->tremDepth * 128 : 0;
}

// Both gains of a spread voice, each exactly MixGain. With SSE2 the two
// sides go through one pair of 64-bit lanes: the 16-bit-halves products of
// MulShiftWide are 32 x 32 -> 64-bit multiplies (pmuludq), exact while the
// amplitude's upper part fits 32 bits, which amplitudes below 2^43 keep
// through both products (each factor is at most 2^32).
inline void SpreadMixGains(Voice& voice, bool envelope, int32_t envGain) {
#if defined(__SSE2__) && defined(__x86_64__)
  constexpr int64_t kPairLimit = int64_t{1} << 43;
  if (voice.ampLeft >= 0 && voice.ampLeft < kPairLimit && voice.ampRight >= 0 &&
      voice.ampRight < kPairLimit) {
    __m128i g = _mm_set_epi64x(voice.ampRight, voice.ampLeft);
    const __m128i low16 = _mm_set1_epi64x(0xFFFF);
    auto mulShift28 = [&](uint32_t b) {
      const __m128i bH = _mm_set1_epi64x(b >> 16), bL = _mm_set1_epi64x(b & 0xFFFFu);
      const __m128i aH = _mm_srli_epi64(g, 16), aL = _mm_and_si128(g, low16);
      const __m128i mid = _mm_add_epi64(_mm_mul_epu32(aL, bH), _mm_mul_epu32(aH, bL));
      g = _mm_add_epi64(_mm_slli_epi64(_mm_mul_epu32(aH, bH), 4), _mm_srli_epi64(mid, 12));
    };
    if (voice.tremPhaseStep != 0) mulShift28(static_cast<uint32_t>(voice.tremGain));
    if (envelope) mulShift28(static_cast<uint32_t>(envGain));
    const int64_t left = _mm_cvtsi128_si64(g) >> 16;
    const int64_t right = _mm_cvtsi128_si64(_mm_unpackhi_epi64(g, g)) >> 16;
    voice.mixLeft = static_cast<int32_t>(left < kMaxMixGain ? left : kMaxMixGain);
    voice.mixRight = static_cast<int32_t>(right < kMaxMixGain ? right : kMaxMixGain);
    return;
  }
#endif
  voice.mixLeft = MixGain(voice.ampLeft, voice, envelope, envGain);
  voice.mixRight = MixGain(voice.ampRight, voice, envelope, envGain);
}

// s in 0..2^29; gain = 1.0 - s * depth / 2^17 without a 64-bit product.
// (64-bit only so that a corrupt sweep cannot overflow; for depths up to
// 32640 every term fits 32 bits.)
inline int32_t TremoloGain(int32_t phase, int32_t depth) {
  const int64_t s = Sine1024(phase >> 5) + kUnityQ28;
  const int64_t sH = s >> 16, sL = s & 0xFFFF;
  return static_cast<int32_t>(kUnityQ28 - ((sH * depth + ((sL * depth) >> 16)) >> 1));
}

// One tremolo step: the sweep (while it runs) scales the full depth, the
// phase moves on and tremGain follows.
inline void AdvanceTremolo(Voice& voice, int32_t fullDepth) {
  int32_t depth = fullDepth;
  if (voice.tremSweepStep != 0) {
    voice.tremSweepPos = AddWrapping(voice.tremSweepPos, voice.tremSweepStep);
    if (voice.tremSweepPos >= 65536) {
      voice.tremSweepStep = 0;  // full depth from now on
    } else {
      depth = static_cast<int32_t>((static_cast<int64_t>(voice.tremSweepPos) * depth) >> 16);
    }
  }
  voice.tremPhase = AddWrapping(voice.tremPhase, voice.tremPhaseStep);
  voice.tremGain = TremoloGain(voice.tremPhase, depth);
}

}  // namespace pocketmidi
