// Building an instrument set from a SoundFont 2 bank: one patch per General
// MIDI program (bank 0; a missing program borrows the nearest present one)
// taken from the region that plays middle C at full velocity, and one patch
// per drum note of the standard kit (bank 128, preset 0).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "soundset/config_writer.h"
#include "soundset/patch_description.h"
#include "soundset/sf2_types.h"

namespace pocketmidi::soundset {

struct PackOptions {
  bool adpcm = false;      // compressed archive
  uint32_t maxRateHz = 0;  // resample samples above this rate down to it; 0 = keep
  bool eightBit = false;   // 8-bit storage
  std::string namePrefix;  // prepended to every patch name (at most 10 characters)
  bool normalize = false;  // leave amps out so the loader normalises each patch's peak
  // Every amp is scaled by this percentage. The engine adds voices without
  // any mixing headroom; at 100 a dense General MIDI song (16 voices of
  // loud patches) saturates, at 50 (-6 dB) songs stay clear of full scale
  // at about FluidSynth's loudness (bench/quality/compare.sh measures both).
  int levelPercent = 50;
  // Output section of the bootstrap file.
  int rate = 22050;
  int bits = 16;
  int channels = 2;
  int polyphony = 32;
};

struct PackResult {
  SoundSetConfig config;
  std::vector<PatchDescription> patches;  // unique names, one per distinct patch
  int programsFound = 0;                  // programs with a preset of their own
  int programsBorrowed = 0;               // programs filled from the nearest preset
  int drumNotes = 0;                      // drum notes configured
  std::vector<std::string> notes;         // things the user may want to know
};

bool PackSoundFont(const SoundFont& font, const PackOptions& options, PackResult* out,
                   std::string* error);

// A patch name built from free text: letters, digits, '-', '.' and '_' kept,
// anything else becomes '_' (runs collapsed), cut to maxLength.
std::string PatchNameFromText(const std::string& text, size_t maxLength);

}  // namespace pocketmidi::soundset
