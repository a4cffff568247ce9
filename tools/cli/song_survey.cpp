#include "cli/song_survey.h"

#include <cstdio>
#include <cstring>
#include <map>

#include "cli/input_check.h"

namespace pocketmidi::cli {
namespace {

// Larger files are not MIDI songs anyone writes; the survey leaves them.
constexpr long kMaxSurveyBytes = 64l << 20;

uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

size_t Find(const std::vector<uint8_t>& bytes, size_t from, const char* tag) {
  for (size_t i = from; i + 4 <= bytes.size(); ++i) {
    if (std::memcmp(bytes.data() + i, tag, 4) == 0) return i;
  }
  return bytes.size();
}

// Reads a variable-length quantity; false past the end.
bool Vlq(const uint8_t*& p, const uint8_t* end, uint32_t* value) {
  *value = 0;
  for (int n = 0; n < 4; ++n) {
    if (p >= end) return false;
    const uint8_t byte = *p++;
    *value = (*value << 7) | (byte & 0x7F);
    if (!(byte & 0x80)) return true;
  }
  return true;
}

// Walks one track's events: its last tick, and its tempo changes by tick.
uint64_t WalkTrack(const uint8_t* p, const uint8_t* end, std::map<uint64_t, uint32_t>* tempos) {
  uint64_t tick = 0;
  uint8_t status = 0;
  while (p < end) {
    uint32_t delta = 0;
    if (!Vlq(p, end, &delta) || p >= end) break;
    tick += delta;
    if (*p & 0x80) status = *p++;
    if (status == 0xFF) {
      if (p >= end) break;
      const uint8_t type = *p++;
      uint32_t length = 0;
      if (!Vlq(p, end, &length) || length > static_cast<size_t>(end - p)) break;
      if (type == 0x51 && length == 3) (*tempos)[tick] = uint32_t{p[0]} << 16 | p[1] << 8 | p[2];
      p += length;
      if (type == 0x2F) break;
      status = 0;
    } else if (status == 0xF0 || status == 0xF7) {
      uint32_t length = 0;
      if (!Vlq(p, end, &length) || length > static_cast<size_t>(end - p)) break;
      p += length;
      status = 0;
    } else if (status >= 0x80) {
      const int data = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
      if (end - p < data) break;
      p += data;
    } else {
      break;  // data without a status: the rest cannot be read
    }
  }
  return tick;
}

}  // namespace

bool SurveySong(const std::string& path, SongSurvey* survey) {
  *survey = SongSurvey();
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadInputFile(path, kMaxSurveyBytes, &bytes, &error)) return false;

  const size_t header = Find(bytes, 0, "MThd");
  if (header + 14 > bytes.size()) return false;
  survey->found = true;
  const uint8_t* h = bytes.data() + header;
  const uint32_t headerLength = Be32(h + 4);
  const int format = h[8] << 8 | h[9];
  const int tracks = h[10] << 8 | h[11];
  const int16_t division = static_cast<int16_t>(h[12] << 8 | h[13]);
  survey->announced = format == 0 ? 1 : tracks;

  std::map<uint64_t, uint32_t> tempos;  // tick -> microseconds per quarter note
  uint64_t lastTick = 0;
  size_t at = headerLength < bytes.size() - header - 8 ? header + 8 + headerLength : bytes.size();
  for (int t = 0; t < survey->announced; ++t) {
    at = Find(bytes, at, "MTrk");
    if (at + 8 > bytes.size()) break;
    TrackSurvey track;
    track.declared = Be32(bytes.data() + at + 4);
    const size_t left = bytes.size() - at - 8;
    track.present = track.declared < left ? track.declared : static_cast<uint32_t>(left);
    const uint8_t* start = bytes.data() + at + 8;
    const uint64_t end = WalkTrack(start, start + track.present, &tempos);
    if (end > lastTick) lastTick = end;
    survey->tracks.push_back(track);
    at += 8 + track.present;
  }

  if (division < 0) {
    const int fps = -(division >> 8) == 29 ? 30 : -(division >> 8);
    const int perSecond = fps * (division & 0xFF);
    survey->durationMs = perSecond > 0 ? lastTick * 1000.0 / perSecond : 0;
  } else if (division > 0) {
    uint64_t tick = 0;
    double us = 0;
    uint32_t tempo = 500000;
    for (const auto& [changeTick, newTempo] : tempos) {
      if (changeTick >= lastTick) break;
      us += static_cast<double>(changeTick - tick) * tempo / division;
      tick = changeTick;
      tempo = newTempo;
    }
    us += static_cast<double>(lastTick - tick) * tempo / division;
    survey->durationMs = us / 1000;
  }
  return true;
}

std::vector<std::string> DamageOf(const SongSurvey& survey) {
  std::vector<std::string> damage;
  for (size_t i = 0; i < survey.tracks.size(); ++i) {
    const TrackSurvey& track = survey.tracks[i];
    if (track.present < track.declared) {
      damage.push_back("track " + std::to_string(i) + " is truncated: " +
                       std::to_string(track.declared) + " bytes declared, " +
                       std::to_string(track.present) + " present");
    }
  }
  const int found = static_cast<int>(survey.tracks.size());
  if (survey.found && found < survey.announced) {
    damage.push_back(std::to_string(survey.announced - found) + " of " +
                     std::to_string(survey.announced) + " tracks announced by the header are missing");
  }
  return damage;
}

}  // namespace pocketmidi::cli
