// The gains of eight successive tremolo ticks at once. Between the ticks
// that change the envelope's gain index, every input of a tremolo tick
// moves linearly with the tick count (the phase, the sweep position and the
// envelope level), so a run of ticks can be computed side by side; only the
// order in which their gains are compared stays sequential.
#pragma once

#include <cstdint>

#include "voice/gain_math.h"
#include "voice/kernel_set.h"

namespace pocketmidi {

// The state after the last committed tick. Valid inputs (the only ones the
// mix kernels batch): amplitudes below 2^32, a sweep step of at least 0 from
// a position of at least 0, the full tremolo depth (0..32640).
// The envelope level moves by envStep per tick and its gain comes from the
// table, always at most 2^28; a voice without envelope takes 2^28 (again the
// identity).
struct TremoloTicks {
  uint32_t ampLeft;
  uint32_t ampRight;
  bool envelope;
  int32_t envLevel;
  int32_t envStep;
  int32_t fullDepth;
  int32_t sweepPos;
  int32_t sweepStep;  // 0: the sweep is complete
  int32_t phase;
  int32_t phaseStep;
};

// The reference form: the gains after ticks 1..8 (left[j], right[j] and the
// tremolo gain trem[j] after tick j + 1), as RunTicks computes them one by
// one. A tick whose sweep position reaches 65536 is not a batched tick: its
// lane and the ones after it hold values nobody reads.
inline void TremoloGainsScalar(const TremoloTicks& ticks, int32_t* left, int32_t* right,
                               int32_t* trem) {
  uint32_t phase = static_cast<uint32_t>(ticks.phase);
  uint32_t sweepPos = static_cast<uint32_t>(ticks.sweepPos);
  int64_t level = ticks.envLevel;
  for (int j = 0; j < kTremoloBatch; ++j) {
    phase += static_cast<uint32_t>(ticks.phaseStep);
    int32_t depth = ticks.fullDepth;
    if (ticks.sweepStep != 0) {
      sweepPos += static_cast<uint32_t>(ticks.sweepStep);
      depth = static_cast<int32_t>(
          (static_cast<int64_t>(static_cast<int32_t>(sweepPos)) * depth) >> 16);
    }
    level += ticks.envStep;
    const uint64_t env = static_cast<uint32_t>(
        ticks.envelope ? EnvelopeGain(static_cast<int32_t>(level)) : kUnityQ28);
    const int32_t t = TremoloGain(static_cast<int32_t>(phase), depth);
    const uint64_t tremolo = static_cast<uint32_t>(t);
    trem[j] = t;
    left[j] = ClampMixGain(MulShift28Narrow(MulShift28Narrow(ticks.ampLeft, tremolo), env));
    right[j] = ClampMixGain(MulShift28Narrow(MulShift28Narrow(ticks.ampRight, tremolo), env));
  }
}

}  // namespace pocketmidi
