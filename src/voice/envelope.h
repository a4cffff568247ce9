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

}  // namespace pocketmidi
