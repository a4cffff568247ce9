// The gain arithmetic of a control tick, shared by ControlTick and the mix
// kernels' fast ticks so that both compute the same gains from one text.
#pragma once

#include <cstdint>

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
// The levels of one index: index i covers i x unit .. (i + 1) x unit - 1.
constexpr int64_t kEnvelopeIndexUnit = int64_t{1} << 23;

// Envelope levels stay within 0..2^30; the clamp keeps a level of exactly
// 2^30 (index 128) at full gain instead of reading past the table.
inline int32_t EnvelopeGain(int32_t level) {
  int64_t index = EnvelopeIndex(level);
  if (index < 0) index = 0;
  if (index > 127) index = 127;
  return EnvGainTable[index];
}

// MulShiftWide(a, b, 28) for a x b below 2^64: the product less the dropped
// aL x bL term is exactly aH x bH x 2^32 + mid x 2^16, and shifting it by 28
// gives the same floors (the first part is a multiple of 2^28).
inline uint64_t MulShift28Narrow(uint64_t a, uint64_t b) {
  return (a * b - (a & 0xFFFFu) * (b & 0xFFFFu)) >> 28;
}

// Whether MixGain's two products fit MulShift28Narrow: an amplitude below
// 2^32 stays below 2^36 through any 32-bit tremolo gain, and that times an
// envelope gain of at most 2^28 stays below 2^64.
inline bool NarrowGainChain(uint64_t amp, bool envelope, int32_t envGain) {
  return amp < (uint64_t{1} << 32) &&
         (!envelope || static_cast<uint32_t>(envGain) <= static_cast<uint32_t>(kUnityQ28));
}

inline int32_t ClampMixGain(uint64_t g) {
  const uint64_t gain = g >> 16;
  return static_cast<int32_t>(gain < static_cast<uint64_t>(kMaxMixGain) ? gain : kMaxMixGain);
}

// A Q28 amplitude through tremolo (when the voice has it) and envelope gain
// to a Q12 mixing gain, clamped to 8191.
inline int32_t MixGain(int64_t amp, const Voice& voice, bool envelope, int32_t envGain) {
  if (amp >= 0 && NarrowGainChain(static_cast<uint64_t>(amp), envelope, envGain)) {
    uint64_t g = static_cast<uint64_t>(amp);
    if (voice.tremPhaseStep != 0) g = MulShift28Narrow(g, static_cast<uint32_t>(voice.tremGain));
    if (envelope) g = MulShift28Narrow(g, static_cast<uint32_t>(envGain));
    return ClampMixGain(g);
  }
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

// Both gains of a spread voice, each exactly MixGain, the two sides sharing
// the range test and the gain loads.
inline void SpreadMixGains(Voice& voice, bool envelope, int32_t envGain) {
  const uint64_t ampLeft = static_cast<uint64_t>(voice.ampLeft);
  const uint64_t ampRight = static_cast<uint64_t>(voice.ampRight);
  // Negative amplitudes read as huge and fail the test.
  if (NarrowGainChain(ampLeft | ampRight, envelope, envGain)) {
    uint64_t left = ampLeft, right = ampRight;
    if (voice.tremPhaseStep != 0) {
      const uint64_t trem = static_cast<uint32_t>(voice.tremGain);
      left = MulShift28Narrow(left, trem);
      right = MulShift28Narrow(right, trem);
    }
    if (envelope) {
      const uint64_t env = static_cast<uint32_t>(envGain);
      left = MulShift28Narrow(left, env);
      right = MulShift28Narrow(right, env);
    }
    voice.mixLeft = ClampMixGain(left);
    voice.mixRight = ClampMixGain(right);
    return;
  }
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
