// The control ticks the vector kernel sets take in place inside the mix
// kernel, between the full ControlTicks: the same arithmetic as ControlTick,
// with what cannot change between two full ticks held in locals. The scalar
// set runs every tick through ControlTick; both give the same voice and the
// same gains.
#pragma once

#include <cstdint>

#include "voice/gain_math.h"
#include "voice/kernel_set.h"
#include "voice/tremolo_ticks.h"
#include "voice/voice.h"

namespace pocketmidi {

// What a full ControlTick leaves for the ticks after it: whether the voice
// has an envelope, the envelope gain of its level and the tremolo depth
// before any sweep.
struct TickConstants {
  bool envelope;
  int32_t envGain;
  int32_t tremDepth;
};

inline TickConstants ConstantsAfterTick(const Voice& voice) {
  const bool envelope = HasEnvelope(voice);
  return {envelope, envelope ? EnvelopeGain(voice.envLevel) : kUnityQ28,
          FullTremoloDepth(voice)};
}

// Whether the voice's gains are those ApplyGains gives for its state.
inline bool GainsAgree(const Voice& voice, const TickConstants& constants) {
  if (voice.mixLeft != MixGain(voice.ampLeft, voice, constants.envelope, constants.envGain)) {
    return false;
  }
  return voice.panMode != kPanSpread ||
         voice.mixRight == MixGain(voice.ampRight, voice, constants.envelope, constants.envGain);
}

// ControlTick for every tick that does not end an envelope stage, computed
// in place: StepEnvelope's level move, StepTremolo, and ApplyGains only when
// the envelope gain or the tremolo can have changed a gain. Only valid after
// a full tick in the same kernel call, or from the start of a call whose
// voice's gains agree with its state (GainsAgree): nothing else touches the
// voice meanwhile, so the amplitudes, the sample and the pan mode are those
// the constants were taken with. Returns false, having changed nothing,
// when the envelope reaches its target: that tick is ControlTick's.
// Kept inline: a call per tick would cost more than the in-place work saves.
[[gnu::always_inline]] inline bool InlineTick(Voice& voice, TickConstants& constants) {
  bool regain = false;
  if (voice.envStep != 0) {
    const int64_t level = static_cast<int64_t>(voice.envLevel) + voice.envStep;
    const bool reached = voice.envStep < 0 ? level <= voice.envTarget : level >= voice.envTarget;
    if (reached) return false;
    if (EnvelopeIndex(level) != EnvelopeIndex(voice.envLevel)) {
      regain = true;
      if (constants.envelope) constants.envGain = EnvelopeGain(static_cast<int32_t>(level));
    }
    voice.envLevel = static_cast<int32_t>(level);
  }
  if (voice.tremPhaseStep != 0) {
    regain = true;
    AdvanceTremolo(voice, constants.tremDepth);
  }
  if (regain) {
    if (voice.panMode == kPanSpread) {
      SpreadMixGains(voice, constants.envelope, constants.envGain);
    } else {
      voice.mixLeft = MixGain(voice.ampLeft, voice, constants.envelope, constants.envGain);
    }
  }
  return true;
}

// Where a block's ticks stand: the next tick comes after `tick` points of
// the block's `count`, one every `ratio`; points from `start` on are at
// left/right and not yet handed to the mix.
struct TickRun {
  int32_t tick;
  int32_t start;
  int32_t left;
  int32_t right;
  int32_t count;
  int32_t ratio;

  // New gains from the point `at` on: the pending run goes to mix.
  template <typename Mix>
  void ChangeGains(Mix& mix, int32_t at, int32_t newLeft, int32_t newRight) {
    mix.Add(at - start, left, right);
    start = at;
    left = newLeft;
    right = newRight;
  }
};

// The voice's tick state while RunTicks moves it, stored back at the end.
struct TickState {
  int64_t level;
  int32_t envGain;
  int32_t sweepPos;
  int32_t phase;
  int32_t trem;
  int32_t left;  // the gains after the last tick
  int32_t right;
};

// A tick is quiet (same gain index, target not reached) while the new level
// lies strictly between low and high.
struct EnvelopeBounds {
  int32_t step;
  int64_t target;
  int64_t low = INT64_MIN;
  int64_t high = INT64_MAX;

  void Set(int64_t from) {
    const int64_t first = EnvelopeIndex(from) * kEnvelopeIndexUnit;
    if (step > 0) {
      high = first + kEnvelopeIndexUnit;
      if (target < high) high = target;
    } else if (step < 0) {
      low = first - 1;
      if (target > low) low = target;
    }
  }
};

// Quiet ticks only move the level, so how many follow is counted rather
// than walked: the ticks left in the block, cut to those whose level stays
// strictly inside the bounds (level + k x step < high, or > low): two
// divisions for a whole stretch of quiet ticks.
[[gnu::always_inline]] inline void QuietTicks(const EnvelopeBounds& bounds, int64_t& level,
                                              TickRun& run) {
  if (run.tick >= run.count) return;
  const int32_t step = bounds.step;
  int64_t quiet = (run.count - run.tick - 1) / run.ratio + 1;
  if (step != 0) {
    const int64_t room = step > 0 ? bounds.high - level - 1 : level - bounds.low - 1;
    const int64_t byLevel = room < 0 ? 0 : room / (step > 0 ? int64_t{step} : -int64_t{step});
    if (byLevel < quiet) quiet = byLevel;
  }
  level += quiet * step;
  run.tick += static_cast<int32_t>(quiet) * run.ratio;
}

// One batch of tremolo ticks from run.tick on (see TremoloGainsFn): the
// gains it changes handed on in order, the state moved past its ticks.
// `batch` holds the voice's constants; the moving fields are filled here.
// Returns how many ticks it took.
template <bool kSpread, typename Mix>
[[gnu::always_inline]] inline int32_t TakeTremoloBatch(TremoloGainsFn tremoloGains,
                                                       TremoloTicks& batch, Mix& mix,
                                                       TickRun& run, TickState& state) {
  batch.envLevel = static_cast<int32_t>(state.level);
  batch.sweepPos = state.sweepPos;
  batch.phase = state.phase;
  batch.room = run.count - run.tick;
  batch.left = run.left;
  batch.right = run.right;
  int32_t lefts[kTremoloBatch], rights[kTremoloBatch], trems[kTremoloBatch];
  uint32_t changes = 0;
  const int32_t n = tremoloGains(batch, lefts, rights, trems, &changes);
  if (n == 0) return 0;
  for (; changes != 0; changes &= changes - 1) {
    const int32_t j = __builtin_ctz(changes);
    run.ChangeGains(mix, run.tick + j * run.ratio, lefts[j], kSpread ? rights[j] : run.right);
  }
  run.tick += n * run.ratio;
  state.level += static_cast<int64_t>(n) * batch.envStep;
  if (batch.envelope) state.envGain = EnvelopeGain(static_cast<int32_t>(state.level));
  state.sweepPos += n * batch.sweepStep;
  state.phase = static_cast<int32_t>(static_cast<uint32_t>(state.phase) +
                                     static_cast<uint32_t>(n) *
                                         static_cast<uint32_t>(batch.phaseStep));
  state.trem = trems[n - 1];
  state.left = lefts[n - 1];
  if (kSpread) state.right = rights[n - 1];
  return n;
}

// The gains after a tick that recomputes them, as MixGain: the tremolo
// phase steps (with the depth this tick's sweep gives), then the amplitudes
// go through the tremolo and envelope gains.
template <bool kSpread, bool kTremolo>
[[gnu::always_inline]] inline void TickGains(uint64_t ampLeft, uint64_t ampRight, bool envelope,
                                             int32_t depth, int32_t phaseStep,
                                             TickState& state) {
  uint64_t gl = ampLeft, gr = ampRight;
  if (kTremolo) {
    state.phase = AddWrapping(state.phase, phaseStep);
    state.trem = TremoloGain(state.phase, depth);
    const uint64_t t = static_cast<uint32_t>(state.trem);
    gl = MulShift28Narrow(gl, t);
    if (kSpread) gr = MulShift28Narrow(gr, t);
  }
  if (envelope) {
    const uint64_t env = static_cast<uint32_t>(state.envGain);
    gl = MulShift28Narrow(gl, env);
    if (kSpread) gr = MulShift28Narrow(gr, env);
  }
  state.left = ClampMixGain(gl);
  if (kSpread) state.right = ClampMixGain(gr);
}

// Runs of in-place ticks between the events that need InlineTick or
// ControlTick: the envelope level moves on (and, past the first level of
// another gain index, takes that index's gain), the tremolo sweep and phase
// step, and the gains are recomputed when the envelope gain or the tremolo
// can have changed them. Amplitudes, envelope gain and bounds live in
// registers. Points at unchanged gains join the pending run; a change hands
// the pending run to mix. Stops before a tick that reaches the envelope
// target or completes the tremolo sweep, or that would need gains outside
// MulShift28Narrow, and when the block ends. Only valid where InlineTick
// is; kTremolo is whether the voice has tremolo, kSpread whether it has two
// gains.
template <bool kSpread, bool kTremolo, typename Mix>
[[gnu::always_inline]] inline void RunTicks(Voice& voice, TickConstants& constants, Mix& mix,
                                            TickRun& run, TremoloGainsFn tremoloGains) {
  const uint64_t ampLeft = static_cast<uint64_t>(voice.ampLeft);
  const uint64_t ampRight = kSpread ? static_cast<uint64_t>(voice.ampRight) : 0u;
  const bool envelope = constants.envelope;
  const bool narrow = NarrowGainChain(ampLeft | ampRight, envelope, constants.envGain);
  if (kTremolo && !narrow) return;

  const int32_t step = voice.envStep;
  EnvelopeBounds bounds{step, voice.envTarget};
  TickState state{voice.envLevel, constants.envGain, voice.tremSweepPos, voice.tremPhase,
                  voice.tremGain,  voice.mixLeft,     voice.mixRight};
  bounds.Set(state.level);
  const int32_t fullDepth = constants.tremDepth;
  const int32_t sweepStep = voice.tremSweepStep;
  const int32_t phaseStep = voice.tremPhaseStep;
  // Tremolo ticks go in batches when their inputs fit the batch's 32-bit
  // lanes (always, short of a corrupt patch; the rest go tick by tick). The
  // gains are in MulShift28Narrow's range: a tremolo voice gets here only
  // then. Without tremolo the quiet loop costs less than a batch.
  const bool batches = kTremolo && tremoloGains != nullptr &&
                       TremoloBatchable(state.level, bounds.target, step, state.sweepPos,
                                        sweepStep);
  TremoloTicks batch{static_cast<uint32_t>(ampLeft), static_cast<uint32_t>(ampRight), envelope,
                     0, step, static_cast<int32_t>(bounds.target), fullDepth, 0, sweepStep, 0,
                     phaseStep, 0, run.ratio, 0, 0, kSpread};
  while (run.tick < run.count) {
    if (!kTremolo) {
      QuietTicks(bounds, state.level, run);
      if (run.tick >= run.count) break;
    }
    if (kTremolo && batches) {
      const int32_t n = TakeTremoloBatch<kSpread>(tremoloGains, batch, mix, run, state);
      if (n > 0) {
        constants.envGain = state.envGain;
        bounds.Set(state.level);
        if (n == kTremoloBatch) continue;
        if (run.tick >= run.count) break;
      }
    }
    const int64_t next = state.level + step;
    bool regain = kTremolo;
    if (next <= bounds.low || next >= bounds.high) {
      if (step > 0 ? next >= bounds.target : next <= bounds.target) break;
      // Another gain index.
      const int32_t gain = envelope ? EnvelopeGain(static_cast<int32_t>(next)) : kUnityQ28;
      if (!narrow || static_cast<uint32_t>(gain) > static_cast<uint32_t>(kUnityQ28)) break;
      state.envGain = gain;
      bounds.Set(next);
      regain = true;
    }
    int32_t depth = fullDepth;
    if (kTremolo && sweepStep != 0) {
      const int32_t pos = AddWrapping(state.sweepPos, sweepStep);
      if (pos >= 65536) break;  // nothing committed yet: the tick is InlineTick's
      state.sweepPos = pos;
      depth = static_cast<int32_t>((static_cast<int64_t>(pos) * depth) >> 16);
    }
    state.level = next;
    constants.envGain = state.envGain;
    if (regain) {
      TickGains<kSpread, kTremolo>(ampLeft, ampRight, envelope, depth, phaseStep, state);
      if (state.left != run.left || (kSpread && state.right != run.right)) {
        run.ChangeGains(mix, run.tick, state.left, state.right);
      }
    }
    run.tick += run.ratio;
  }
  voice.envLevel = static_cast<int32_t>(state.level);
  if (kTremolo) {
    voice.tremSweepPos = state.sweepPos;
    voice.tremPhase = state.phase;
    voice.tremGain = state.trem;
  }
  voice.mixLeft = state.left;
  if (kSpread) voice.mixRight = state.right;
}

}  // namespace pocketmidi
