// The engine's timeline entry: a song event re-timed in output frames.
#pragma once

#include <cstdint>

namespace pocketmidi {

// Event type appended by song preparation after the song's last event. The
// other type codes are the song's own (SongEventType).
constexpr uint8_t kEndOfSong = 99;

struct SynthEvent {
  uint32_t time;  // output frames from the start of the song
  uint8_t channel;
  uint8_t type;   // SongEventType code or kEndOfSong
  uint8_t dataByte1;
  uint8_t dataByte2;
};
static_assert(sizeof(SynthEvent) == 8, "timeline events are 8 bytes");

}  // namespace pocketmidi
