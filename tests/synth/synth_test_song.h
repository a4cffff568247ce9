// Engine test helpers: a song event list from a table, and an instrument
// that plays a constant level straight from its data (rate 0: one point per
// output frame, no envelope), so notes start voices without any loading.
#pragma once

#include <cstdint>
#include <vector>

#include "instruments/instrument.h"
#include "song/song_event.h"
#include "synth/synth_engine.h"

namespace pocketmidi::test {

struct TickEvent {
  uint32_t tick;
  uint8_t channel, type, dataByte1, dataByte2;
};

inline TickEvent Tempo(uint32_t tick, uint32_t microsPerQuarter) {
  return {tick, static_cast<uint8_t>(microsPerQuarter), kTempo,
          static_cast<uint8_t>(microsPerQuarter >> 16),
          static_cast<uint8_t>(microsPerQuarter >> 8)};
}

// Starts with the ListHead entry, as a song's list does.
class TestSong {
 public:
  TestSong(int32_t division, const std::vector<TickEvent>& events)
      : events_{{0, 0, kListHead, 0, 0, nullptr}} {
    for (const TickEvent& e : events) {
      events_.push_back({e.tick, e.channel, e.type, e.dataByte1, e.dataByte2, nullptr});
    }
    for (size_t i = 0; i + 1 < events_.size(); ++i) events_[i].next = &events_[i + 1];
    list_ = {events_.data(), static_cast<uint32_t>(events_.size()), division};
  }
  TestSong(const TestSong&) = delete;
  TestSong& operator=(const TestSong&) = delete;
  const SongEventList* list() const { return &list_; }

 private:
  std::vector<SongEvent> events_;
  SongEventList list_{};
};

class ConstantInstrument {
 public:
  explicit ConstantInstrument(int16_t level, int32_t points = 200000) : data_(points + 1, level) {
    sample_.dataLength = sample_.loopEnd = points << 12;
    sample_.highFreq = 0x7FFFFFFF;
    sample_.rootFreq = 261626;
    sample_.volume = 268435456u;
    sample_.data = data_.data();
    sample_.pan = 64;
    instrument_ = {1, &sample_};
  }
  Instrument* get() { return &instrument_; }

 private:
  std::vector<int16_t> data_;
  PatchSample sample_{};
  Instrument instrument_{};
};

// The engine frees uncached instruments its slots hold: a test's own must
// be taken out first.
inline void DetachInstruments(SynthEngine& engine) {
  for (InstrumentSlot& slot : engine.toneSlots) slot.instrument = nullptr;
  for (InstrumentSlot& slot : engine.drumSlots) slot.instrument = nullptr;
}

// At 22050 Hz, division 11025 and this tempo a tick is exactly one frame
// (v = 65536), so ticks read as output frames.
constexpr uint32_t kTestRate = 22050;
constexpr int32_t kFrameDivision = 11025;
constexpr uint32_t kFrameTempo = 500104;

}  // namespace pocketmidi::test
