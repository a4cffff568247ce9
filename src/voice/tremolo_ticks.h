// Up to eight successive tremolo ticks at once. Until the envelope reaches
// its target or the sweep its end, every input of a tremolo tick moves
// linearly with the tick count (the phase, the sweep position and the
// envelope level, whose gain index may change on any tick), so the ticks
// can be computed side by side; only the runs they form are handed on in
// order.
#pragma once

#include <cstdint>

#include "voice/gain_math.h"
#include "voice/kernel_set.h"

namespace pocketmidi {

// The state after the last committed tick, and where the batch must stop.
// Inputs the mix kernels batch (see TremoloBatchable): amplitudes below
// 2^32; level and target within 0..2^30 and a level step below 2^27 in
// magnitude; a sweep position in 0..65535 and a sweep step in 0..2^24 - 1;
// the full tremolo depth (0..32640). Every lane's level and sweep position
// then fit 32 bits. The envelope gain comes from the table, at most 2^28; a
// voice without envelope takes 2^28, the identity.
struct TremoloTicks {
  uint32_t ampLeft;
  uint32_t ampRight;
  bool envelope;
  int32_t envLevel;
  int32_t envStep;
  int32_t envTarget;
  int32_t fullDepth;
  int32_t sweepPos;
  int32_t sweepStep;  // 0: the sweep is complete
  int32_t phase;
  int32_t phaseStep;
  int32_t room;   // points from the first tick to the end of the block (> 0)
  int32_t ratio;  // points between ticks (> 0)
  int32_t left;   // the gains before the first tick
  int32_t right;
  bool spread;  // whether the right gain is the voice's own (else not compared)
};

inline bool TremoloBatchable(int64_t level, int64_t target, int32_t step, int32_t sweepPos,
                             int32_t sweepStep) {
  constexpr int64_t kLevelLimit = int64_t{1} << 30;
  constexpr int32_t kStepLimit = int32_t{1} << 27;
  return level >= 0 && level <= kLevelLimit && target >= 0 && target <= kLevelLimit &&
         step > -kStepLimit && step < kStepLimit && sweepPos >= 0 && sweepPos < 65536 &&
         sweepStep >= 0 && sweepStep < (int32_t{1} << 24);
}

// The reference form. Tick j + 1 (j = 0..7) is in the batch while it falls
// in the block (j x ratio < room), does not reach the envelope's target and
// leaves the sweep below 65536; the batch is the ticks before the first one
// that is not. Returns their number n; for j < n, left[j], right[j] and
// trem[j] are the gains after tick j + 1, as RunTicks computes them one by
// one, and bit j of *changes is set when they differ from the gains before
// that tick (the right ones only for a spread voice). Lanes from n on hold
// values nobody reads.
inline int32_t TremoloGainsScalar(const TremoloTicks& ticks, int32_t* left, int32_t* right,
                                  int32_t* trem, uint32_t* changes) {
  uint32_t phase = static_cast<uint32_t>(ticks.phase);
  int64_t sweepPos = ticks.sweepPos;
  int64_t level = ticks.envLevel;
  int32_t previousLeft = ticks.left, previousRight = ticks.right;
  *changes = 0;
  int32_t n = 0;
  for (; n < kTremoloBatch; ++n) {
    if (static_cast<int64_t>(n) * ticks.ratio >= ticks.room) break;
    level += ticks.envStep;
    if ((ticks.envStep > 0 && level >= ticks.envTarget) ||
        (ticks.envStep < 0 && level <= ticks.envTarget)) {
      break;
    }
    int32_t depth = ticks.fullDepth;
    if (ticks.sweepStep != 0) {
      sweepPos += ticks.sweepStep;
      if (sweepPos >= 65536) break;
      depth = static_cast<int32_t>((sweepPos * depth) >> 16);
    }
    phase += static_cast<uint32_t>(ticks.phaseStep);
    const uint64_t env = static_cast<uint32_t>(
        ticks.envelope ? EnvelopeGain(static_cast<int32_t>(level)) : kUnityQ28);
    const int32_t t = TremoloGain(static_cast<int32_t>(phase), depth);
    const uint64_t tremolo = static_cast<uint32_t>(t);
    trem[n] = t;
    left[n] = ClampMixGain(MulShift28Narrow(MulShift28Narrow(ticks.ampLeft, tremolo), env));
    right[n] = ClampMixGain(MulShift28Narrow(MulShift28Narrow(ticks.ampRight, tremolo), env));
    if (left[n] != previousLeft || (ticks.spread && right[n] != previousRight)) {
      *changes |= 1u << n;
    }
    previousLeft = left[n];
    previousRight = right[n];
  }
  return n;
}

}  // namespace pocketmidi
