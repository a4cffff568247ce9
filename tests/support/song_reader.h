// Reads song bytes through a temporary file into a MidiSong and returns
// what came out, so tests can compare whole event lists and info records.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "io/file_stream.h"
#include "song/midi_song.h"
#include "support/temp_directory.h"

namespace pocketmidi::test {

// A list entry without its link: time, channel, type, data byte 1, data byte 2.
using Ev = std::tuple<uint32_t, int, int, int, int>;

constexpr uint8_t kUntouched = 0xA5;  // the info record's bytes before reading

struct SongResult {
  bool loaded = false;
  std::vector<Ev> events;  // list order, head left out
  int32_t division = 0;
  MidiFileInfo info;
  int32_t ranks[16];
};

inline SongResult ReadSong(const std::string& bytes, uint32_t spMidi = 1, int32_t polyphony = 32,
                           bool withInfo = true) {
  SongResult result;
  std::memset(&result.info, kUntouched, sizeof result.info);
  TempDirectory dir;
  FileStream* stream = FileOpen(dir.Write("song.mid", bytes).c_str(), kOpenRead);
  if (stream == nullptr) return result;
  MidiSong song;
  song.spMidiEnabled = spMidi;
  song.polyphonyLimit = polyphony;
  const SongEventList* list = song.Load(stream, withInfo ? &result.info : nullptr);
  FileClose(stream);
  if (list != nullptr) {
    result.loaded = true;
    result.division = list->division;
    const SongEvent* e = list->first;
    for (uint32_t i = 0; i < list->count; ++i, e = e->next) {
      if (i > 0)
        result.events.push_back({e->time, e->channel, e->type, e->dataByte1, e->dataByte2});
    }
  }
  std::memcpy(result.ranks, song.ChannelOrder(), sizeof result.ranks);
  song.ReleaseEvents();
  return result;
}

}  // namespace pocketmidi::test
