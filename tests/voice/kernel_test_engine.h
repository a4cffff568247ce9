// An engine with a few voices and samples built from explicit points, for the
// resampler and mix kernel tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <vector>

#include "synth/synth_engine.h"

namespace pocketmidi {
namespace kernel_test {

// A rising line, 16 per point: interpolated at position P it gives P >> 8, so
// an output point shows exactly where the resampler was.
inline std::vector<int16_t> Ramp(int32_t points, int32_t offset = 0) {
  std::vector<int16_t> data;
  for (int32_t i = 0; i < points; ++i) data.push_back(static_cast<int16_t>(offset + 16 * i));
  return data;
}

class KernelTestEngine {
 public:
  explicit KernelTestEngine(uint32_t formatFlags = kFormat16Bit)
      : engine_(std::make_unique<SynthEngine>(nullptr)) {
    engine_->sampleRate = 22050;
    engine_->formatFlags = formatFlags;
    engine_->controlRatio = 4;
    engine_->voiceCount = 1;
    engine_->voices = static_cast<Voice*>(std::calloc(1, sizeof(Voice)));  // engine frees it
  }

  SynthEngine& engine() { return *engine_; }

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

  // A playing centre voice at constant gains 1, without ticks or vibrato.
  Voice& StartVoice(const PatchSample& sample, int32_t step, int32_t position = 0) {
    Voice& voice = engine_->voices[0];
    voice = Voice{};
    voice.state = kVoicePlaying;
    voice.sample = &sample;
    voice.step = step;
    voice.position = position;
    voice.freq = voice.baseFreq = 261626;
    voice.mixLeft = voice.mixRight = 1;
    voice.panMode = kPanCentre;
    return voice;
  }

 private:
  std::unique_ptr<SynthEngine> engine_;
  std::deque<std::vector<int16_t>> data_;
  std::deque<PatchSample> samples_;
};

}  // namespace kernel_test
}  // namespace pocketmidi
