// The six resamplers behind ResampleVoice: one-shot, forward loop and
// ping-pong loop, each with and without vibrato. Each writes its points from
// the start of the engine's ResampleBuffer and returns how many of them are to
// be mixed; it stores back the voice's position, and where the procedure
// says so its step and vibrato tick counter.
#pragma once

#include <cstdint>

#include "instruments/instrument.h"
#include "voice/voice.h"

namespace pocketmidi {

// |value|, with INT32_MIN taken as INT32_MAX.
inline int32_t AbsSaturated(int32_t value) {
  if (value >= 0) return value;
  return value == INT32_MIN ? INT32_MAX : -value;
}

class SynthEngine;

// Preconditions for all six: the voice has a sample with data and a non-zero
// rate, and 0 <= count <= 1024. The looped forms also need a playable loop
// (LoopIsPlayable); the vibrato forms need vibTicksPerStep > 0.

// Plays towards the data length; when the sample ends the voice is freed and
// one point fewer than produced is reported (0 when entered at the end).
template <bool kVibrato>
int32_t ResampleOneShot(SynthEngine& engine, Voice& voice, int32_t count);

// Loops forward between loop start and loop end; always produces count.
template <bool kVibrato>
int32_t ResampleForward(SynthEngine& engine, Voice& voice, int32_t count);

// Loops forwards and backwards, reflecting overshoots at both ends; always
// produces count.
template <bool kVibrato>
int32_t ResamplePingPong(SynthEngine& engine, Voice& voice, int32_t count);

// Whether the voice's loop can be run by the looped forms: start not negative,
// end above start, and at least one step long. The loader repairs or drops
// other loops; if one still arrives here the sample plays as one-shot, since
// the looped procedures would never advance on it (or reflect for ever).
// Inline: it is asked once per voice and block.
inline bool LoopIsPlayable(int32_t loopStart, int32_t loopEnd, int32_t step) {
  const int64_t length = static_cast<int64_t>(loopEnd) - loopStart;
  return loopStart >= 0 && length > 0 && length >= AbsSaturated(step);
}

// Whether the voice plays its sample's loop (else on to the end of the
// data): without the envelope flag a released voice leaves its loop; with
// it the loop holds until the envelope runs out.
inline bool PlaysLooped(const Voice& voice, const PatchSample& sample) {
  return (sample.modes & kModeLooping) != 0 &&
         ((sample.modes & kModeEnvelope) != 0 || voice.state == kVoicePlaying ||
          voice.state == kVoiceHeld) &&
         LoopIsPlayable(sample.loopStart, sample.loopEnd, voice.step);
}

}  // namespace pocketmidi
