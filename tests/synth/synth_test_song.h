// Helpers for engine tests: a song event list built from a table, and a
// one-sample instrument that plays a constant level straight from its data
// (rate 0: one point per output frame, no envelope), so that the rendered
// output shows exactly when each voice starts and stops.
#pragma once

#include <cstdint>
#include <vector>

#include "instruments/instrument.h"
#include "song/song_event.h"
#include "synth/synth_engine.h"

namespace pocketmidi::test {

struct TickEvent {
  uint32_t tick;
  uint8_t channel;
  uint8_t type;
  uint8_t dataByte1;
  uint8_t dataByte2;
};

// Owns the events; the list starts with the ListHead entry as a song's does.
class TestSong {
 public:
  TestSong(int32_t division, const std::vector<TickEvent>& events) {
    events_.reserve(events.size() + 1);
    events_.push_back(SongEvent{0, 0, kListHead, 0, 0, nullptr});
    for (const TickEvent& e : events) {
      events_.push_back(SongEvent{e.tick, e.channel, e.type, e.dataByte1, e.dataByte2, nullptr});
    }
    for (size_t i = 0; i + 1 < events_.size(); ++i) events_[i].next = &events_[i + 1];
    list_ = SongEventList{events_.data(), static_cast<uint32_t>(events_.size()), division};
  }
  TestSong(const TestSong&) = delete;
  TestSong& operator=(const TestSong&) = delete;
  const SongEventList* list() const { return &list_; }

 private:
  std::vector<SongEvent> events_;
  SongEventList list_{};
};

inline TickEvent Tempo(uint32_t tick, uint32_t microsPerQuarter) {
  return TickEvent{tick, static_cast<uint8_t>(microsPerQuarter & 0xFF), kTempo,
                   static_cast<uint8_t>(microsPerQuarter >> 16),
                   static_cast<uint8_t>(microsPerQuarter >> 8)};
}

class ConstantInstrument {
 public:
  explicit ConstantInstrument(int16_t level, int32_t points = 200000)
      : data_(static_cast<size_t>(points) + 1, level) {
    sample_.dataLength = points << 12;
    sample_.loopEnd = points << 12;
    sample_.sampleRate = 0;
    sample_.lowFreq = 0;
    sample_.highFreq = 0x7FFFFFFF;
    sample_.rootFreq = 261626;
    sample_.volume = 268435456u;
    sample_.data = data_.data();
    sample_.pan = 64;
    instrument_.sampleCount = 1;
    instrument_.samples = &sample_;
  }
  Instrument* get() { return &instrument_; }
  PatchSample& sample() { return sample_; }

 private:
  std::vector<int16_t> data_;
  PatchSample sample_{};
  Instrument instrument_{};
};

// The engine frees instruments its slots hold that are not in its cache;
// a test's own instruments must be taken out of the slots first.
inline void DetachInstruments(SynthEngine& engine) {
  for (InstrumentSlot& slot : engine.toneSlots) slot.instrument = nullptr;
  for (InstrumentSlot& slot : engine.drumSlots) slot.instrument = nullptr;
}

// At 22050 Hz, division 11025 and this tempo a tick is exactly one frame
// (v = 65536), so ticks read as output frames.
constexpr uint32_t kTestRate = 22050;
constexpr int32_t kFrameDivision = 11025;
constexpr uint32_t kFrameTempo = 500104;

// Decoded 16-bit samples of a little-endian byte stream.
inline std::vector<int16_t> Samples16(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> out(bytes.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return out;
}

// Renders the whole song in calls of the given capacity.
inline std::vector<uint8_t> RenderAll(SynthEngine& engine, uint32_t capacity) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> buffer(capacity);
  for (;;) {
    const int32_t n = engine.Render(buffer.data(), capacity);
    if (n <= 0) break;
    out.insert(out.end(), buffer.begin(), buffer.begin() + n);
  }
  return out;
}

}  // namespace pocketmidi::test
