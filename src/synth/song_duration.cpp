#include "synth/song_duration.h"

#include "song/song_event.h"

namespace pocketmidi {

namespace {

constexpr uint32_t kDefaultTempoUs = 500000;

// Time before the first note-on does not count, nor the delta that leads
// up to it: the song starts with its first note.
enum LeadIn { kLeadInDone = 0, kLeadInLastDelta = 1, kLeadInWaiting = 2 };

}  // namespace

int32_t SongDurationMs(const SongEventList* list) {
  if (list == nullptr || list->count < 1) return 0;
  // A division of 0 gives ticks no length at all: such a song has no
  // duration (and so fails to load rather than dividing by zero).
  if (list->division == 0) return 0;
  uint32_t tempo = kDefaultTempoUs;
  int leadIn = kLeadInWaiting;
  uint32_t totalUs = 0;  // signed 32-bit total, kept unsigned so it wraps
  uint32_t previousTick = 0;
  const SongEvent* event = list->first;
  for (uint32_t i = 0; i < list->count && event != nullptr; ++i, event = event->next) {
    if (event->type == kTempo) {
      tempo = TempoOf(*event);
    } else if (event->type == kNoteOn && leadIn != kLeadInDone) {
      leadIn = kLeadInLastDelta;
    }
    const uint32_t delta = event->time - previousTick;
    if (delta != 0 && leadIn == kLeadInDone) {
      // 64-bit product: 10000 ticks at 500000 us already exceed 32 bits.
      const int64_t us = static_cast<int64_t>(static_cast<uint64_t>(delta) * tempo) /
                         static_cast<int64_t>(list->division);
      totalUs += static_cast<uint32_t>(us);
    } else if (leadIn == kLeadInLastDelta) {
      leadIn = kLeadInDone;
    }
    previousTick = event->time;
  }
  return static_cast<int32_t>(totalUs) / 1000;
}

}  // namespace pocketmidi
