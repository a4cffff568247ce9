// Resampling a voice's sample into the engine's ResampleBuffer and mixing it
// into the 32-bit block with its gains.
#pragma once

#include <cstdint>

namespace pocketmidi {

class SynthEngine;

// Mixes count (1..1024) output samples of voice index v into buffer (the
// block's first accumulator for this run).
void MixVoice(SynthEngine& engine, int32_t* buffer, int32_t v, int32_t count);

// Produces up to count source points for voice v; count may shrink when the
// sample ends (the voice is then Free).
const int16_t* ResampleVoice(SynthEngine& engine, int32_t v, int32_t& count);

}  // namespace pocketmidi
