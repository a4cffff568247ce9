// Shared by the fuzz targets: the input written to a file (the library reads
// only through file streams) and a small generated instrument set.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "soundset/config_writer.h"
#include "soundset/patch_archive_writer.h"

namespace pocketmidi::fuzz {

// A directory of this process under /tmp, made once, ending with '/'.
inline const std::string& WorkDirectory() {
  static const std::string directory = [] {
    std::string d = "/tmp/pocketmidi-fuzz-" + std::to_string(getpid()) + "/";
    mkdir(d.c_str(), 0700);
    return d;
  }();
  return directory;
}

inline std::string WriteInput(const char* name, const uint8_t* data, size_t size) {
  const std::string path = WorkDirectory() + name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file != nullptr) {
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  return path;
}

// Programs alternate between a looping patch with envelope, tremolo and
// vibrato and a one-shot one; drum note 36 plays the one-shot one, left.
inline soundset::SoundSetConfig TwoPatchConfig() {
  soundset::SoundSetConfig config = soundset::SingleToneConfig("loop");
  for (int i = 1; i < 128; i += 2) config.tones[i].name = "shot";
  config.drums[36].name = "shot";
  config.drums[36].pan = "left";
  config.polyphony = 8;
  return config;
}

inline std::vector<soundset::PatchDescription> TwoPatches() {
  soundset::PatchDescription loop, shot;
  loop.name = "loop";
  shot.name = "shot";
  for (int i = 0; i < 400; ++i) {
    loop.points.push_back(static_cast<int16_t>((i % 40) * 800 - 16000));
    shot.points.push_back(static_cast<int16_t>(i * 37 % 20000 - 10000));
  }
  loop.loopMode = soundset::LoopMode::kPingPong;
  loop.loopStart = 100;
  loop.loopEnd = 300;
  loop.envelope = true;
  loop.envelopeRates = {60, 60, 60, 40, 40, 40};
  loop.envelopeOffsets = {250, 200, 200, 10, 5, 0};
  loop.tremoloRate = loop.vibratoRate = 100;
  loop.tremoloDepth = loop.vibratoDepth = 80;
  loop.vibratoSweep = 20;
  return {loop, shot};
}

}  // namespace pocketmidi::fuzz
