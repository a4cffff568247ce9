// MIDI_GetInfo's work, callable inside the library (the exported function
// and its pointer-table slot both lead here).
#pragma once

#include <cstdint>

#include "pocketmidi.h"

namespace pocketmidi {

// Opens path read-only and fills info through a MIDI decoder's info probe.
// 1 when the song's duration is not 0, else 0; null arguments and paths
// that do not open give 0 and leave info untouched.
int32_t ReadSongInfo(const char16_t* path, MidiFileInfo* info);

}  // namespace pocketmidi
