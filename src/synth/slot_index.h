// Index into the 128-entry instrument slot tables from a song data byte or a
// channel's program.
#pragma once

#include <cstdint>

namespace pocketmidi {

// Songs carry 7-bit data bytes; a hostile file's wider byte must still land
// inside the tables.
inline int32_t SlotIndex(int32_t value) { return value & 127; }

}  // namespace pocketmidi
