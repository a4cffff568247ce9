// Micro-benchmark of the voice kernels: nanoseconds per voice per output
// frame for each loop mode, with and without vibrato and control ticks, mixed
// in 1024-frame blocks into a stereo buffer.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "synth/synth_engine.h"
#include "voice/mix_kernels.h"

using namespace pocketmidi;

namespace {

constexpr int32_t kVoices = 32;
constexpr int32_t kBlocks = 2000;

double Measure(uint8_t modes, bool vibrato, bool ticks, bool mono) {
  std::vector<int16_t> data(20001);
  for (size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<int16_t>(static_cast<int32_t>(i * 7919 % 30001) - 15000);
  }
  PatchSample sample{};
  sample.data = data.data();
  sample.dataLength = 20000 << 12;
  sample.loopStart = 1000 << 12;
  sample.loopEnd = 19000 << 12;
  sample.sampleRate = 22050;
  sample.rootFreq = 261626;
  sample.modes = static_cast<uint8_t>(modes | (ticks ? kModeEnvelope : 0));
  sample.vibDepth = 100;
  sample.tremDepth = 100;

  auto engine = std::make_unique<SynthEngine>(nullptr);
  engine->sampleRate = 22050;
  engine->controlRatio = 11;
  engine->formatFlags = mono ? kFormat16Bit | kFormatMono : kFormat16Bit;
  engine->voiceCount = kVoices;
  engine->voices = static_cast<Voice*>(std::calloc(kVoices, sizeof(Voice)));
  for (int32_t v = 0; v < kVoices; ++v) {
    Voice& voice = engine->voices[v];
    voice.state = kVoicePlaying;
    voice.sample = &sample;
    voice.step = 3000 + 97 * v;
    voice.freq = 261626 + 1000 * v;
    voice.ampLeft = 100000000;
    voice.ampRight = 80000000;
    voice.mixLeft = 1500;
    voice.mixRight = 1200;
    voice.tremGain = 268435456;
    voice.panMode = mono ? kPanCentre : kPanSpread;
    if (vibrato) voice.vibTicksPerStep = 20;
    if (ticks) {
      voice.envStep = 1;  // moves, never reaches its target within the run
      voice.envTarget = 1 << 30;
      voice.tremPhaseStep = 3000;
    }
  }
  const auto start = std::chrono::steady_clock::now();
  for (int32_t b = 0; b < kBlocks; ++b) {
    for (int32_t v = 0; v < kVoices; ++v) {
      // Keep one-shot voices sounding.
      if (engine->voices[v].state == kVoiceFree) {
        engine->voices[v].state = kVoicePlaying;
        engine->voices[v].position = 0;
      }
      MixVoice(*engine, engine->mixBuffer, v, kBlockFrames);
    }
  }
  const auto stop = std::chrono::steady_clock::now();
  const double ns = std::chrono::duration<double, std::nano>(stop - start).count();
  return ns / (static_cast<double>(kBlocks) * kBlockFrames * kVoices);
}

}  // namespace

int main() {
  struct Form {
    const char* name;
    uint8_t modes;
  } forms[] = {{"one-shot", 0},
               {"forward", kModeLooping},
               {"ping-pong", kModeLooping | kModePingPong}};
  std::printf("%-10s %8s %8s %8s %8s  (ns per voice-frame)\n", "form", "plain", "vibrato",
              "ticks", "mono");
  for (const Form& f : forms) {
    std::printf("%-10s %8.2f %8.2f %8.2f %8.2f\n", f.name, Measure(f.modes, false, false, false),
                Measure(f.modes, true, false, false), Measure(f.modes, false, true, false),
                Measure(f.modes, false, false, true));
  }
  return 0;
}
