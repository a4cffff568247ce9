// A second, independent look at a MIDI file's chunks and timing, for what
// the MidiFileInfo record cannot say: a track shorter than its header
// claims, a length beyond the record's 16-bit fields, a duration beyond its
// 32-bit milliseconds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pocketmidi::cli {

struct TrackSurvey {
  uint32_t declared = 0;  // length in the track header
  uint32_t present = 0;   // bytes of it the file holds
};

struct SongSurvey {
  bool found = false;     // the file has a MIDI header
  int announced = 0;      // tracks the header announces (1 for format 0)
  std::vector<TrackSurvey> tracks;
  double durationMs = 0;  // last event of any track, tempo changes applied
};

// Surveys the file at path (a regular file, already checked). False when it
// cannot be read or holds no MIDI header.
bool SurveySong(const std::string& path, SongSurvey* survey);

// One sentence per damage found: "track 3 is truncated: 4926 bytes
// declared, 1210 present", "2 of 14 tracks are missing".
std::vector<std::string> DamageOf(const SongSurvey& survey);

}  // namespace pocketmidi::cli
