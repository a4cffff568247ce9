// Turning one SoundFont region (a sample with its combined generators) into
// a patch of the archive and the per-slot settings that go with it.
#pragma once

#include <cstdint>

#include "soundset/patch_description.h"
#include "soundset/sf2_regions.h"
#include "soundset/sf2_types.h"

namespace pocketmidi::soundset {

struct RegionOptions {
  uint32_t maxRateHz = 0;  // 0: keep every rate the archive can hold (up to 65535 Hz)
  bool eightBit = false;   // store 8-bit points
};

struct ConvertedRegion {
  PatchDescription patch;  // name left empty for the caller
  double level = 1.0;      // amplitude from the attenuation (and the layers), 1.0 = unchanged
  int pan = 0;             // SoundFont pan, -500 (left) .. 500 (right)
  bool looping = false;
};

// key is the note the region is converted for: the envelope's key scaling
// and the root frequency (for scale tunings other than 100 cents per key)
// are exact at that key.
ConvertedRegion ConvertRegion(const SoundFont& font, const Sf2Region& region, int key,
                              const RegionOptions& options);
// Whether the region plays a loop: a looping mode and a loop of at least
// two points inside the sample (a broken loop plays as a one-shot).
bool RegionLoops(const SoundFont& font, const Sf2Region& region);
// RMS of the region's sample points, over the loop when the zone loops
// (the sustained sound), else over the whole sample.
double RegionRms(const SoundFont& font, const Sf2Region& region);

// The pieces of the conversion, exposed for checking by hand-computed numbers.
double TimecentsToSeconds(int32_t timecents);
// Envelope bytes for the SoundFont volume envelope (times in timecents,
// sustain as attenuation in centibels); delay is not representable and is
// ignored.
void ConvertVolumeEnvelope(int32_t attackTc, int32_t holdTc, int32_t decayTc, int32_t sustainCb,
                           int32_t releaseTc, PatchDescription* patch);
int8_t PanToBalance(int32_t pan);
// The amplitude factor an attenuation gives (1.0 for none).
double AttenuationToLevel(int32_t centibels);
// The note (fractional) at which the sample sounds unchanged when played at
// key, given the root key, scale tuning (cents per key) and total tuning in cents.
double RootNote(int key, int rootKey, int32_t scaleTuning, double tuneCents);

}  // namespace pocketmidi::soundset
