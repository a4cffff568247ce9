// A small engine for voice and kernel tests: a few zeroed voices, channels at
// their reset values, one default sample every voice points at, and samples
// built from explicit points.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <vector>

#include "instruments/instrument.h"
#include "synth/synth_engine.h"
#include "voice/voice.h"

namespace pocketmidi::testing_voice {

// A rising line, 16 per point: interpolated at position P it gives P >> 8, so
// an output point shows exactly where the resampler was.
inline std::vector<int16_t> Ramp(int32_t points, int32_t offset = 0) {
  std::vector<int16_t> data;
  for (int32_t i = 0; i < points; ++i) data.push_back(static_cast<int16_t>(offset + 16 * i));
  return data;
}

struct VoiceTestEngine {
  SynthEngine engine{nullptr};
  PatchSample sample{};

  explicit VoiceTestEngine(uint32_t rate = 22050, uint32_t formatFlags = kFormat16Bit) {
    engine.sampleRate = rate;
    engine.formatFlags = formatFlags;
    engine.controlRatio = 4;
    engine.voiceCount = 4;
    // Freed by the engine's destructor.
    engine.voices = static_cast<Voice*>(std::calloc(4, sizeof(Voice)));
    for (ChannelState& ch : engine.channels) ch = ChannelState{0, 90, 0, -1, 8192, 127, 2, 0};
    sample.sampleRate = 22050;
    sample.rootFreq = 261626;
    sample.volume = 268435456u;
    for (int i = 0; i < 4; ++i) engine.voices[i].sample = &sample;
  }

  Voice& voice(int i = 0) { return engine.voices[i]; }

  // Points plus one guard point (guard < 0: a copy of the last point, as the
  // loader stores it), sized exactly so that ASan sees a read past the guard.
  PatchSample& AddSample(std::vector<int16_t> points, int32_t guard = -1, uint8_t modes = 0,
                         int32_t loopStart = 0, int32_t loopEnd = 0, int32_t rate = 22050) {
    const int32_t count = static_cast<int32_t>(points.size());
    points.push_back(guard < 0 ? points.back() : static_cast<int16_t>(guard));
    points.shrink_to_fit();
    data_.push_back(std::move(points));
    PatchSample& s = samples_.emplace_back();
    s.loopStart = loopStart;
    s.loopEnd = loopEnd;
    s.dataLength = count << 12;
    s.sampleRate = rate;
    s.rootFreq = 261626;
    s.data = data_.back().data();
    s.modes = modes;
    return s;
  }

  // Voice 0 playing `s` in the centre at constant gains 1, without ticks or vibrato.
  Voice& StartVoice(const PatchSample& s, int32_t step, int32_t position = 0) {
    Voice& v = engine.voices[0];
    v = Voice{};
    v.state = kVoicePlaying;
    v.sample = &s;
    v.step = step;
    v.position = position;
    v.freq = v.baseFreq = 261626;
    v.mixLeft = v.mixRight = 1;
    v.panMode = kPanCentre;
    return v;
  }

 private:
  std::deque<std::vector<int16_t>> data_;
  std::deque<PatchSample> samples_;
};

}  // namespace pocketmidi::testing_voice
