// A song's length in milliseconds straight from its event list, for song
// information: the same timing rules as song preparation, without output
// frames, configuration or instruments.
#pragma once

#include <cstdint>

namespace pocketmidi {

struct SongEventList;

// Milliseconds from the first note-on to the last event, at the list's
// division and tempo events (500000 us per quarter note until the first).
// 0 for a null or empty list and for a division of 0. The microsecond total
// is a signed 32-bit count, as the engine keeps it.
int32_t SongDurationMs(const SongEventList* list);

}  // namespace pocketmidi
