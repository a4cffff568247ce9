// Reads a SoundFont 2 file (RIFF "sfbk") into a SoundFont. Every chunk size
// is checked against what remains of its parent, every index against the
// table it points into; a malformed or truncated file is refused with a
// message naming what is wrong, never read out of bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "soundset/sf2_types.h"

namespace pocketmidi::soundset {

// Real banks layer a few dozen zones at most on a preset; a preset whose
// zones reference more instrument zones than this in all is refused.
constexpr uint64_t kMaxZonePairsPerPreset = 65536;

bool ReadSoundFont(const uint8_t* data, size_t size, SoundFont* out, std::string* error);
bool ReadSoundFontFile(const std::string& path, SoundFont* out, std::string* error);

}  // namespace pocketmidi::soundset
