// Choosing the resampler for a voice: samples already at the output rate are
// read in place, the others go through the form for their loop mode, with or
// without vibrato.
#include <cstdint>

#include "synth/synth_engine.h"
#include "voice/fixed_point.h"
#include "voice/mix_kernels.h"
#include "voice/resamplers.h"
#include "voice/voice.h"

namespace pocketmidi {

namespace {

// A sample with rate 0 is one point per output sample: no interpolation, no
// loop, the points are handed out straight from the data.
const int16_t* DirectPoints(Voice& voice, const PatchSample& sample, int32_t& count) {
  const int64_t first = PointIndex(voice.position);
  const int64_t available = PointIndex(sample.dataLength) - first;
  if (voice.position < 0 || available <= 0) {
    voice.state = kVoiceFree;
    count = 0;
    return sample.data;
  }
  if (count < available) {
    voice.position += static_cast<int32_t>(PointsToPosition(count));
  } else {
    voice.state = kVoiceFree;
    count = static_cast<int32_t>(available);
  }
  return sample.data + first;
}

}  // namespace

const int16_t* ResampleVoice(SynthEngine& engine, int32_t v, int32_t& count) {
  Voice& voice = engine.voices[v];
  const PatchSample* sample = voice.sample;
  if (count > kBlockFrames) count = kBlockFrames;
  if (count < 0) count = 0;
  if (sample == nullptr || sample->data == nullptr) {
    voice.state = kVoiceFree;
    count = 0;
    return engine.ResampleBuffer;
  }
  if (sample->sampleRate == 0) return DirectPoints(voice, *sample, count);

  const bool looping = PlaysLooped(voice, *sample);
  // A negative tick count is not a vibrato rate anyone can play; such a voice
  // plays without vibrato rather than counting down for ever.
  const bool vibrato = voice.vibTicksPerStep > 0;

  if (!looping) {
    count = vibrato ? ResampleOneShot<true>(engine, voice, count)
                    : ResampleOneShot<false>(engine, voice, count);
  } else if ((sample->modes & kModePingPong) != 0) {
    count = vibrato ? ResamplePingPong<true>(engine, voice, count)
                    : ResamplePingPong<false>(engine, voice, count);
  } else {
    count = vibrato ? ResampleForward<true>(engine, voice, count)
                    : ResampleForward<false>(engine, voice, count);
  }
  return engine.ResampleBuffer;
}

}  // namespace pocketmidi
