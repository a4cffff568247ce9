// Combining a preset's and an instrument's zones into the generator values
// that apply to one key and velocity, the way a SoundFont 2 player does:
// instrument values (local zone over global zone over defaults) with the
// preset's values (local over global) added on top, key and velocity ranges
// of both levels intersected.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "soundset/sf2_types.h"

namespace pocketmidi::soundset {

struct Sf2Region {
  uint32_t sampleIndex = 0;
  std::array<int32_t, kGenCount> gen{};  // combined generator values (ranges unused)
  int keyLow = 0, keyHigh = 127;         // intersected ranges
  int velLow = 0, velHigh = 127;
};

// The default value of generator g.
int32_t Sf2DefaultValue(uint16_t g);

// Whether a sample can be played (RAM sample with points and a rate).
bool Sf2SampleUsable(const Sf2Sample& sample);

// Finds the regions of the preset that play key at velocity: every
// (preset zone, instrument zone) pair whose ranges cover both, in zone
// order. When none covers them and `nearest` is set, the pairs whose ranges
// lie nearest (key distance first, then velocity) are taken. Zones with
// unusable samples are passed over. False when there is nothing to play.
bool FindLayers(const SoundFont& font, const Sf2Preset& preset, int key, int velocity,
                bool nearest, std::vector<Sf2Region>* layers);

}  // namespace pocketmidi::soundset
