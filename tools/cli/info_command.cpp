// pocketmidi info SONG [--json]: what MIDI_GetInfo reports about a song,
// for a person or (with --json) as one JSON object.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/duration_text.h"
#include "cli/input_check.h"
#include "cli/song_survey.h"
#include "platform/utf16_path.h"
#include "pocketmidi.h"

namespace pocketmidi::cli {

namespace {

constexpr uint8_t kUnset = 255;
constexpr int kChannels = 16;
constexpr size_t kLengthSlots = sizeof(MidiFileInfo::trackLengths) / sizeof(uint16_t);

struct Track {
  std::string name;
  int32_t length;  // -1: beyond the record's 64 length slots
};

// The entries of trackNames, one per track the header announces (a format 0
// file has one), as far as the name area holds them.
std::vector<Track> TracksOf(const MidiFileInfo& info) {
  const int announced = info.format == 0 ? 1 : static_cast<int16_t>(info.trackCount);
  std::vector<Track> tracks;
  size_t offset = 0;
  const size_t area = sizeof info.trackNames;
  for (int i = 0; i < announced && offset < area; ++i) {
    const size_t length = strnlen(info.trackNames + offset, area - offset);
    Track track{std::string(info.trackNames + offset, length), -1};
    if (static_cast<size_t>(i) < kLengthSlots) track.length = info.trackLengths[i];
    tracks.push_back(track);
    offset += length + 1;
  }
  return tracks;
}

// Text from the file is bytes in no known character set: control
// characters are shown as '?' so that a file cannot drive the terminal.
std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
  return out;
}

// Length of a valid UTF-8 sequence at text[i], or 0.
size_t Utf8SequenceLength(const std::string& text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead >= 0xF5 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// A JSON string. Valid UTF-8 passes through; any other byte is taken as
// the Latin-1 character of that value.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    char escape[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else if (c >= 0x80) {
      const size_t length = Utf8SequenceLength(text, i);
      if (length > 0) {
        out.append(text, i, length);
        i += length;
        continue;
      }
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out + "\"";
}

std::string JsonArray(const uint8_t* values, int count) {
  std::string out = "[";
  for (int i = 0; i < count; ++i) out += (i ? "," : "") + std::to_string(values[i]);
  return out + "]";
}

int ListedChannels(const MidiFileInfo& info) {
  int listed = 0;
  while (listed < kChannels && info.mipChannelOrder[listed] != kUnset) ++listed;
  return listed;
}

// The record's milliseconds hold 32 bits, about 49.7 days; a longer song
// leaves a wrapped value there, which must not be shown as its duration.
bool DurationFits(const SongSurvey& survey) {
  return !survey.found || survey.durationMs <= static_cast<double>(UINT32_MAX);
}

std::string TooLongText(const SongSurvey& survey) {
  char text[160];
  std::snprintf(text, sizeof text,
                "too long for the record: about %.1f years (%.0f ms); it holds at most %u ms "
                "(49.7 days)",
                survey.durationMs / (365.25 * 86400000.0), survey.durationMs, UINT32_MAX);
  return text;
}

// The survey's length where the record's 16-bit slot cannot hold it.
std::string LengthText(const Track& track, size_t index, const SongSurvey& survey) {
  if (survey.found && index >= survey.tracks.size()) return "";  // missing from the file
  if (index < survey.tracks.size() && survey.tracks[index].declared > 0xFFFF) {
    return std::to_string(survey.tracks[index].declared);
  }
  return track.length >= 0 ? std::to_string(track.length) : "";
}

void PrintText(const char* path, const MidiFileInfo& info, const SongSurvey& survey) {
  std::printf("File:         %s\n", Printable(path).c_str());
  if (DurationFits(survey)) {
    std::printf("Duration:     %s (%u ms)\n", DurationText(info.durationMs).c_str(),
                info.durationMs);
  } else {
    std::printf("Duration:     %s\n", TooLongText(survey).c_str());
  }
  std::printf("Format:       %u\n", info.format);
  std::printf("Division:     %d\n", info.division);
  std::printf("Tracks:       %u\n", info.trackCount);
  const std::vector<Track> tracks = TracksOf(info);
  for (size_t i = 0; i < tracks.size(); ++i) {
    std::printf("  %3zu  %-32s", i, ("\"" + Printable(tracks[i].name) + "\"").c_str());
    const std::string length = LengthText(tracks[i], i, survey);
    if (!length.empty()) std::printf("  %s bytes", length.c_str());
    if (survey.found && i >= survey.tracks.size()) std::printf("  missing");
    std::printf("\n");
  }
  for (const std::string& damage : DamageOf(survey)) {
    std::printf("Damaged:      %s\n", damage.c_str());
  }
  std::string copyright = info.copyright;
  for (size_t at; (at = copyright.find("\r\n")) != std::string::npos;) {
    copyright.replace(at, 2, "\n              ");
  }
  std::printf("Copyright:    %s\n", copyright.empty() ? "-" : copyright.c_str());
  std::printf("Events:       %u\n", info.eventCount);
  std::printf("Note-ons:     %u\n", info.noteOnCount);
  std::printf("Peak notes:   %u\n", info.peakNotes);
  if (info.mipFound) {
    std::printf("SP-MIDI:      channel order");
    const int listed = ListedChannels(info);
    for (int i = 0; i < listed; ++i) std::printf(" %u", info.mipChannelOrder[i] + 1u);
    std::printf("\n              MIP values  ");
    for (int i = 0; i < listed; ++i) {
      std::printf(" %u", info.mipValues[info.mipChannelOrder[i]]);
    }
    std::printf("\n");
  } else {
    std::printf("SP-MIDI:      no MIP message\n");
  }
  std::printf("Channels:     channel  instrument  peak notes\n");
  for (int c = 0; c < kChannels; ++c) {
    if (info.channelInstrument[c] == kUnset && info.channelPeakNotes[c] == 0) continue;
    std::string instrument = "-";
    if (info.channelInstrument[c] != kUnset) {
      instrument = (c == 9 ? "note " : "program ") + std::to_string(info.channelInstrument[c]);
    }
    std::printf("              %7d  %-10s  %10u\n", c + 1, instrument.c_str(),
                info.channelPeakNotes[c]);
  }
}

void PrintJson(const char* path, const MidiFileInfo& info, const SongSurvey& survey) {
  std::string out = "{\"file\":" + JsonString(path);
  const bool fits = DurationFits(survey);
  out += ",\"durationMs\":" + (fits ? std::to_string(info.durationMs) : "null");
  out += ",\"duration\":" + (fits ? JsonString(DurationText(info.durationMs)) : "null");
  out += ",\"format\":" + std::to_string(info.format);
  out += ",\"trackCount\":" + std::to_string(info.trackCount);
  out += ",\"division\":" + std::to_string(info.division);
  out += ",\"tracks\":[";
  const std::vector<Track> tracks = TracksOf(info);
  for (size_t i = 0; i < tracks.size(); ++i) {
    out += (i ? ",{" : "{") + std::string("\"name\":") + JsonString(tracks[i].name);
    const std::string length = LengthText(tracks[i], i, survey);
    out += ",\"length\":" + (length.empty() ? "null" : length);
    out += "}";
  }
  out += "],\"damage\":[";
  std::vector<std::string> problems = DamageOf(survey);
  if (!fits) problems.insert(problems.begin(), "duration " + TooLongText(survey));
  for (size_t i = 0; i < problems.size(); ++i) out += (i ? "," : "") + JsonString(problems[i]);
  out += "],\"copyright\":" + JsonString(info.copyright);
  out += ",\"eventCount\":" + std::to_string(info.eventCount);
  out += ",\"noteOnCount\":" + std::to_string(info.noteOnCount);
  out += ",\"peakNotes\":" + std::to_string(info.peakNotes);
  out += std::string(",\"mipFound\":") + (info.mipFound ? "true" : "false");
  if (info.mipFound) {
    out += ",\"mipChannelOrder\":" + JsonArray(info.mipChannelOrder, ListedChannels(info));
    out += ",\"mipValues\":" + JsonArray(info.mipValues, kChannels);
  }
  out += ",\"channelInstrument\":" + JsonArray(info.channelInstrument, kChannels);
  out += ",\"channelPeakNotes\":" + JsonArray(info.channelPeakNotes, kChannels);
  out += "}";
  std::printf("%s\n", out.c_str());
}

void PrintInfoUsage(FILE* out) {
  std::fprintf(out,
               "usage: pocketmidi info SONG [--json]\n"
               "Describes a MIDI file as MIDI_GetInfo reads it: duration, format, division,\n"
               "tracks, copyright, SP-MIDI data, instruments and notes; and any damage found\n"
               "(a track shorter than declared, a duration the record cannot hold).\n"
               "  --json             one JSON object instead of text (default: text)\n"
               "  -h, --help         this help\n"
               "example: pocketmidi info /usr/share/games/openttd/baseset/openmsx/tttheme2.mid\n");
}

}  // namespace

int RunInfo(int argc, char** argv) {
  const char* path = nullptr;
  bool json = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
      PrintInfoUsage(stdout);
      return 0;
    }
    if (!std::strcmp(argv[i], "--json")) {
      json = true;
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      std::fprintf(stderr, "pocketmidi info: unknown option '%s'\n", argv[i]);
      return kUsageError;
    } else if (path == nullptr) {
      path = argv[i];
    } else {
      std::fprintf(stderr, "pocketmidi info: unexpected argument '%s'\n", argv[i]);
      return kUsageError;
    }
  }
  if (path == nullptr) {
    PrintInfoUsage(stderr);
    return kUsageError;
  }
  const std::string problem = InputFileProblem(path);
  if (!problem.empty()) {
    std::fprintf(stderr, "pocketmidi info: cannot open '%s': %s\n", path, problem.c_str());
    return 1;
  }
  SongSurvey survey;
  SurveySong(path, &survey);
  // eventCount is written only when the file was read as a MIDI file, so
  // the marker left in it tells "not MIDI" from "no duration".
  MidiFileInfo info;
  std::memset(&info, 0xFF, sizeof info);
  const std::u16string widePath = Utf8ToUtf16(path);
  if (!MIDI_GetInfo(widePath.c_str(), &info)) {
    const bool notMidi = info.eventCount == 0xFFFFFFFFu;
    std::string why = notMidi ? "not a MIDI file" : "duration is 0";
    for (const std::string& damage : DamageOf(survey)) why += "; " + damage;
    std::fprintf(stderr, "pocketmidi info: %s: %s\n", path, why.c_str());
    return 1;
  }
  if (json) {
    PrintJson(path, info, survey);
  } else {
    PrintText(path, info, survey);
  }
  return 0;
}

}  // namespace pocketmidi::cli
