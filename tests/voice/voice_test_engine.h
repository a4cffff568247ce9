// A small engine for voice-level tests: a few zeroed voices, channels at
// their reset values, and one sample record the voices can point at.
#pragma once

#include <cstdlib>

#include "instruments/instrument.h"
#include "synth/synth_engine.h"
#include "voice/voice.h"

namespace pocketmidi {
namespace testing_voice {

struct VoiceTestEngine {
  SynthEngine engine{nullptr};
  PatchSample sample{};

  explicit VoiceTestEngine(uint32_t rate = 22050, int32_t voiceCount = 4) {
    engine.sampleRate = rate;
    engine.voiceCount = voiceCount;
    // Freed by the engine's destructor.
    engine.voices = static_cast<Voice*>(std::calloc(static_cast<size_t>(voiceCount), sizeof(Voice)));
    for (ChannelState& ch : engine.channels) {
      ch = ChannelState{0, 90, 0, -1, 8192, 127, 2, 0};
    }
    sample.sampleRate = 22050;
    sample.rootFreq = 261626;
    sample.volume = 268435456u;
    for (int i = 0; i < voiceCount; ++i) engine.voices[i].sample = &sample;
  }

  Voice& voice(int i = 0) { return engine.voices[i]; }
};

}  // namespace testing_voice
}  // namespace pocketmidi
