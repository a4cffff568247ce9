// Static voice amplitude, the six-stage envelope, tremolo and the final Q12
// mixing gains, advanced once per control tick.
#pragma once

#include <cstdint>

namespace pocketmidi {

class SynthEngine;
struct Voice;

void ComputeVoiceAmp(const SynthEngine& engine, Voice& voice);
void ApplyGains(const SynthEngine& engine, Voice& voice);
int32_t NextEnvelopeStage(const SynthEngine& engine, Voice& voice);  // 1: voice freed
int32_t StepEnvelope(const SynthEngine& engine, Voice& voice);       // 1: voice freed
void StepTremolo(const SynthEngine& engine, Voice& voice);
int32_t ControlTick(const SynthEngine& engine, Voice& voice);        // 1: voice finished

// Control ticks from `level` until one moves it to `target` (at least one),
// as StepEnvelope tests it.
inline int64_t TicksToTarget(int64_t level, int64_t target, int64_t step) {
  const int64_t distance = step > 0 ? target - level : level - target;
  const int64_t magnitude = step > 0 ? step : -step;
  return distance <= magnitude ? 1 : (distance + magnitude - 1) / magnitude;
}

// Control ticks, counted from the next one (1), until the one at which the
// envelope comes to rest: it reaches the sustain level of a held note (its
// step becomes 0) or ends (the voice is freed; *ends set when ends is not
// null). 0 when it does not move.
int64_t TicksUntilEnvelopeRests(const SynthEngine& engine, const Voice& voice, bool* ends);

}  // namespace pocketmidi
