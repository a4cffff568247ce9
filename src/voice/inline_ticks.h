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
                                            int32_t& tick, int32_t count, int32_t& runStart,
                                            int32_t& left, int32_t& right, int32_t ratio,
                                            TremoloGainsFn tremoloGains) {
  const uint64_t ampLeft = static_cast<uint64_t>(voice.ampLeft);
  const uint64_t ampRight = kSpread ? static_cast<uint64_t>(voice.ampRight) : 0u;
  const bool envelope = constants.envelope;
  const bool narrow = NarrowGainChain(ampLeft | ampRight, envelope, constants.envGain);
  if (kTremolo && !narrow) return;
  int32_t envGain = constants.envGain;

  const int32_t step = voice.envStep;
  const int64_t target = voice.envTarget;
  int64_t level = voice.envLevel;
  // A tick is quiet (same gain index, target not reached) while the new
  // level lies strictly between low and high.
  int64_t low = INT64_MIN, high = INT64_MAX;
  auto setBounds = [&](int64_t from) {
    const int64_t first = EnvelopeIndex(from) * kEnvelopeIndexUnit;
    if (step > 0) {
      high = first + kEnvelopeIndexUnit;
      if (target < high) high = target;
    } else if (step < 0) {
      low = first - 1;
      if (target > low) low = target;
    }
  };
  setBounds(level);

  const int32_t fullDepth = constants.tremDepth;
  const int32_t sweepStep = voice.tremSweepStep;
  const int32_t phaseStep = voice.tremPhaseStep;
  int32_t sweepPos = voice.tremSweepPos;
  int32_t phase = voice.tremPhase;
  int32_t trem = voice.tremGain;
  int32_t newLeft = voice.mixLeft, newRight = voice.mixRight;
  // Tremolo ticks go in batches when their inputs fit the batch's 32-bit
  // lanes (always, short of a corrupt patch; the rest go tick by tick). The
  // gains are in MulShift28Narrow's range: a tremolo voice gets here only
  // then. Without tremolo the quiet loop costs less than a batch.
  const bool batches = kTremolo && tremoloGains != nullptr &&
                       TremoloBatchable(level, target, step, sweepPos, sweepStep);
  while (tick < count) {
    if (!kTremolo) {
      // Quiet ticks only move the level.
      if (step > 0) {
        while (tick < count && level + step < high) {
          level += step;
          tick += ratio;
        }
      } else if (step < 0) {
        while (tick < count && level + step > low) {
          level += step;
          tick += ratio;
        }
      } else {
        while (tick < count) tick += ratio;
      }
      if (tick >= count) break;
    }
    if (kTremolo && batches) {
      // The next ticks up to the envelope's target, the sweep's end or the
      // block's end, computed together; their runs handed on in order.
      const TremoloTicks batch{static_cast<uint32_t>(ampLeft),
                               static_cast<uint32_t>(ampRight),
                               envelope,
                               static_cast<int32_t>(level),
                               step,
                               static_cast<int32_t>(target),
                               fullDepth,
                               sweepPos,
                               sweepStep,
                               phase,
                               phaseStep,
                               count - tick,
                               ratio,
                               left,
                               right,
                               kSpread};
      int32_t lefts[kTremoloBatch], rights[kTremoloBatch], trems[kTremoloBatch];
      uint32_t changes = 0;
      const int32_t n = tremoloGains(batch, lefts, rights, trems, &changes);
      if (n > 0) {
        for (; changes != 0; changes &= changes - 1) {
          const int32_t j = __builtin_ctz(changes);
          const int32_t at = tick + j * ratio;
          mix.Add(at - runStart, left, right);
          runStart = at;
          left = lefts[j];
          if (kSpread) right = rights[j];
        }
        tick += n * ratio;
        level += static_cast<int64_t>(n) * step;
        if (envelope) envGain = EnvelopeGain(static_cast<int32_t>(level));
        constants.envGain = envGain;
        setBounds(level);
        sweepPos += n * sweepStep;
        phase = static_cast<int32_t>(static_cast<uint32_t>(phase) +
                                     static_cast<uint32_t>(n) * static_cast<uint32_t>(phaseStep));
        trem = trems[n - 1];
        newLeft = lefts[n - 1];
        if (kSpread) newRight = rights[n - 1];
        if (n == kTremoloBatch) continue;
        if (tick >= count) break;
      }
    }
    const int64_t next = level + step;
    bool regain = kTremolo;
    if (next <= low || next >= high) {
      if (step > 0 ? next >= target : next <= target) break;
      // Another gain index.
      const int32_t gain = envelope ? EnvelopeGain(static_cast<int32_t>(next)) : kUnityQ28;
      if (!narrow || static_cast<uint32_t>(gain) > static_cast<uint32_t>(kUnityQ28)) break;
      envGain = gain;
      setBounds(next);
      regain = true;
    }
    int32_t depth = fullDepth;
    if (kTremolo && sweepStep != 0) {
      const int32_t pos = AddWrapping(sweepPos, sweepStep);
      if (pos >= 65536) break;  // nothing committed yet: the tick is InlineTick's
      sweepPos = pos;
      depth = static_cast<int32_t>((static_cast<int64_t>(pos) * depth) >> 16);
    }
    level = next;
    constants.envGain = envGain;
    if (!regain) {
      tick += ratio;
      continue;
    }
    uint64_t gl = ampLeft, gr = ampRight;
    if (kTremolo) {
      phase = AddWrapping(phase, phaseStep);
      trem = TremoloGain(phase, depth);
      const uint64_t t = static_cast<uint32_t>(trem);
      gl = MulShift28Narrow(gl, t);
      if (kSpread) gr = MulShift28Narrow(gr, t);
    }
    if (envelope) {
      const uint64_t env = static_cast<uint32_t>(envGain);
      gl = MulShift28Narrow(gl, env);
      if (kSpread) gr = MulShift28Narrow(gr, env);
    }
    newLeft = ClampMixGain(gl);
    if (kSpread) newRight = ClampMixGain(gr);
    if (newLeft != left || (kSpread && newRight != right)) {
      mix.Add(tick - runStart, left, right);
      runStart = tick;
      left = newLeft;
      right = newRight;
    }
    tick += ratio;
  }
  voice.envLevel = static_cast<int32_t>(level);
  if (kTremolo) {
    voice.tremSweepPos = sweepPos;
    voice.tremPhase = phase;
    voice.tremGain = trem;
  }
  voice.mixLeft = newLeft;
  if (kSpread) voice.mixRight = newRight;
}

}  // namespace pocketmidi
