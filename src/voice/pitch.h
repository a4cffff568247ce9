// Pitch of a voice: its Q12 step from note, bend, sample root and rates, and
// the vibrato increments.
#pragma once

#include <cstdint>

namespace pocketmidi {

class SynthEngine;
struct Voice;

// Recomputes freq and step of voice index v (nothing when v is out of range
// or the sample's rate is 0). Keeps the direction of a backwards voice.
void RecomputeStep(SynthEngine& engine, int32_t v);

// Cache slot 0..31 of vibrato phase 0..63; mirrored phases share a slot.
int32_t VibratoSlot(int32_t phase);

// Advances the vibrato phase and returns the step for it, negated when
// backwards.
int32_t VibratoStep(const SynthEngine& engine, Voice& voice, bool backwards);

}  // namespace pocketmidi
