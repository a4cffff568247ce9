// The song's event list: every track merged into one chain of tick-timed
// events, ordered by time. The synthesizer converts it into its own
// timeline once, right after the song has been read.
#pragma once

#include <cstdint>

namespace pocketmidi {

// Every kind of event the song keeps. The codes are shared with the
// engine's timeline (SynthEvent::type).
enum SongEventType : uint8_t {
  kListHead = 0,          // first entry of every list, time 0
  kNoteOn = 1,            // dataByte1 note, dataByte2 velocity (0: note off)
  kNoteOff = 2,           // dataByte1 note, dataByte2 release velocity
  kKeyPressure = 3,       // dataByte1 note, dataByte2 pressure
  kVolume = 4,            // controller 7: dataByte1 value
  kPan = 5,               // controller 10
  kSustain = 6,           // controller 64
  kExpression = 7,        // controller 11
  kPitchBend = 8,         // dataByte1 low 7 bits, dataByte2 high 7 bits
  kProgramChange = 9,     // dataByte1 program
  kTempo = 10,            // see TempoOf()
  kPitchBendRange = 11,   // dataByte1 semitones
  kAllSoundOff = 12,      // controller 120
  kResetControllers = 13, // controller 121
  kAllNotesOff = 14,      // controller 123
  kBankSelect = 15,       // controllers 0 and 32 (value 0): dataByte1 bank
};

// One list entry. A tempo event spreads its 24-bit microseconds per
// quarter note over three fields: channel bits 0-7, dataByte2 bits 8-15,
// dataByte1 bits 16-23.
struct SongEvent {
  uint32_t time;  // ticks from the start of the song
  uint8_t channel;
  uint8_t type;   // SongEventType
  uint8_t dataByte1;
  uint8_t dataByte2;
  SongEvent* next;  // null at the end of the list
};

// Twelve bytes where pointers are 32 bits; the pool always holds 1024
// events per block whatever the pointer size.
static_assert(sizeof(SongEvent) == 8 + sizeof(void*), "song events stay small");

inline uint32_t TempoOf(const SongEvent& event) {
  return (static_cast<uint32_t>(event.dataByte1) << 16) |
         (static_cast<uint32_t>(event.dataByte2) << 8) | event.channel;
}

// What the song hands to the engine.
struct SongEventList {
  SongEvent* first;  // the kListHead entry
  uint32_t count;    // entries reachable from first, head included
  int32_t division;  // ticks per quarter note, or ticks per second (SMPTE)
};

// A node of the event pool's block list.
struct EventBlock {
  uint8_t* data;     // kEventsPerBlock events
  EventBlock* next;  // null at the end
};

constexpr uint32_t kEventsPerBlock = 1024;
constexpr uint32_t kEventBlockBytes = kEventsPerBlock * sizeof(SongEvent);

}  // namespace pocketmidi
