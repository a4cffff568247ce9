// An engine with a few voices and samples built from explicit points, for the
// resampler and mix kernel tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <vector>

#include "instruments/instrument.h"
#include "synth/synth_engine.h"
#include "voice/voice.h"

namespace pocketmidi {
namespace kernel_test {

// A rising line, 16 per point: interpolating it at position P gives P >> 8,
// so an output point shows exactly where the resampler was.
inline std::vector<int16_t> Ramp(int32_t points, int32_t offset = 0) {
  std::vector<int16_t> data;
  for (int32_t i = 0; i < points; ++i) data.push_back(static_cast<int16_t>(offset + 16 * i));
  return data;
}

class KernelTestEngine {
 public:
  explicit KernelTestEngine(int32_t voiceCount = 2, uint32_t formatFlags = kFormat16Bit)
      : engine_(std::make_unique<SynthEngine>(nullptr)) {
    engine_->sampleRate = 22050;
    engine_->formatFlags = formatFlags;
    engine_->controlRatio = 4;
    engine_->voiceCount = voiceCount;
    // Freed by the engine's destructor.
    engine_->voices =
        static_cast<Voice*>(std::calloc(static_cast<size_t>(voiceCount), sizeof(Voice)));
  }

  SynthEngine& engine() { return *engine_; }
  Voice& voice(int32_t v = 0) { return engine_->voices[v]; }

  // A sample over points plus one guard point (guard < 0: a copy of the last
  // point, as the loader stores it). Loop points are in Q12.
  PatchSample& AddSample(std::vector<int16_t> points, int32_t guard = -1, uint8_t modes = 0,
                         int32_t loopStart = 0, int32_t loopEnd = 0, int32_t rate = 22050) {
    const int32_t count = static_cast<int32_t>(points.size());
    points.push_back(guard < 0 ? points.back() : static_cast<int16_t>(guard));
    points.shrink_to_fit();  // so that a read past the guard is caught by ASan
    data_.push_back(std::move(points));
    samples_.emplace_back();
    PatchSample& s = samples_.back();
    s.data = data_.back().data();
    s.dataLength = count << 12;
    s.loopStart = loopStart;
    s.loopEnd = loopEnd;
    s.modes = modes;
    s.sampleRate = rate;
    s.rootFreq = 261626;
    s.volume = 268435456u;
    return s;
  }

  // A playing voice on sample, constant gains, no ticks and no vibrato.
  Voice& StartVoice(int32_t v, const PatchSample& sample, int32_t step, int32_t position = 0) {
    Voice& voice = engine_->voices[v];
    voice = Voice{};
    voice.state = kVoicePlaying;
    voice.sample = &sample;
    voice.step = step;
    voice.position = position;
    voice.freq = 261626;
    voice.baseFreq = 261626;
    voice.mixLeft = 1;
    voice.mixRight = 1;
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
