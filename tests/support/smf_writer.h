// Builds Standard MIDI Files in memory for tests: tracks of delta-timed
// events, meta and system-exclusive events, and raw bytes for crafted damage
// (running status included).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pocketmidi::test {

class TrackWriter {
 public:
  // A channel message, status byte always written; data2 < 0 means a
  // one-data-byte message.
  TrackWriter& Channel(uint32_t delta, int status, int data1, int data2 = -1);
  TrackWriter& NoteOn(uint32_t delta, int channel, int note, int velocity) {
    return Channel(delta, 0x90 | channel, note, velocity);
  }
  TrackWriter& NoteOff(uint32_t delta, int channel, int note, int velocity = 0) {
    return Channel(delta, 0x80 | channel, note, velocity);
  }
  TrackWriter& Controller(uint32_t delta, int channel, int number, int value) {
    return Channel(delta, 0xB0 | channel, number, value);
  }
  TrackWriter& Program(uint32_t delta, int channel, int program) {
    return Channel(delta, 0xC0 | channel, program);
  }
  TrackWriter& Meta(uint32_t delta, int type, const std::string& data);
  TrackWriter& Tempo(uint32_t delta, uint32_t microsecondsPerQuarter);
  TrackWriter& Name(uint32_t delta, const std::string& s) { return Meta(delta, 0x03, s); }
  TrackWriter& Copyright(uint32_t delta, const std::string& s) { return Meta(delta, 0x02, s); }
  // F0 (or F7), the length of data, data.
  TrackWriter& SysEx(uint32_t delta, const std::string& data, int status = 0xF0);
  TrackWriter& EndOfTrack(uint32_t delta = 0) { return Meta(delta, 0x2F, ""); }
  // Bytes as they stand (no delta time is added).
  TrackWriter& Raw(const std::string& bytes);

  const std::string& bytes() const { return bytes_; }

 private:
  // The delta, the event's leading bytes, the length of data, data.
  TrackWriter& Sized(uint32_t delta, const std::string& lead, const std::string& data);

  std::string bytes_;
};

struct SmfOptions {
  int format = 1;
  int division = 96;          // the raw 16-bit field
  int declaredTracks = -1;    // -1: the number of tracks given
  uint32_t headerLength = 6;  // more than 6 pads the header with zeros
};

// "MThd" chunk plus one "MTrk" chunk per track.
std::string BuildSmf(const std::vector<TrackWriter>& tracks, const SmfOptions& options = {});

}  // namespace pocketmidi::test
