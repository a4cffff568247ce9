// pocketmidi info SONG [--json]: what MIDI_GetInfo reports about a song,
// for a person or (with --json) as one JSON object.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"
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

std::string DurationText(uint32_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%u:%02u.%03u", ms / 60000u, ms / 1000u % 60u, ms % 1000u);
  return text;
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

void PrintText(const char* path, const MidiFileInfo& info) {
  std::printf("File:         %s\n", Printable(path).c_str());
  std::printf("Duration:     %s (%u ms)\n", DurationText(info.durationMs).c_str(), info.durationMs);
  std::printf("Format:       %u\n", info.format);
  std::printf("Division:     %d\n", info.division);
  std::printf("Tracks:       %u\n", info.trackCount);
  const std::vector<Track> tracks = TracksOf(info);
  for (size_t i = 0; i < tracks.size(); ++i) {
    std::printf("  %3zu  %-32s", i, ("\"" + Printable(tracks[i].name) + "\"").c_str());
    if (tracks[i].length >= 0) std::printf("  %d bytes", tracks[i].length);
    std::printf("\n");
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

void PrintJson(const char* path, const MidiFileInfo& info) {
  std::string out = "{\"file\":" + JsonString(path);
  out += ",\"durationMs\":" + std::to_string(info.durationMs);
  out += ",\"duration\":" + JsonString(DurationText(info.durationMs));
  out += ",\"format\":" + std::to_string(info.format);
  out += ",\"trackCount\":" + std::to_string(info.trackCount);
  out += ",\"division\":" + std::to_string(info.division);
  out += ",\"tracks\":[";
  const std::vector<Track> tracks = TracksOf(info);
  for (size_t i = 0; i < tracks.size(); ++i) {
    out += (i ? ",{" : "{") + std::string("\"name\":") + JsonString(tracks[i].name);
    out += ",\"length\":" + (tracks[i].length >= 0 ? std::to_string(tracks[i].length) : "null");
    out += "}";
  }
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

}  // namespace

int RunInfo(int argc, char** argv) {
  const char* path = nullptr;
  bool json = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--json")) {
      json = true;
    } else if (path == nullptr) {
      path = argv[i];
    } else {
      path = nullptr;
      break;
    }
  }
  if (path == nullptr) {
    std::fprintf(stderr, "usage: pocketmidi info SONG [--json]\n");
    return 2;
  }
  if (std::FILE* probe = std::fopen(path, "rb")) {
    std::fclose(probe);
  } else {
    std::fprintf(stderr, "pocketmidi info: cannot open %s\n", path);
    return 1;
  }
  // eventCount is written only when the file was read as a MIDI file, so
  // the marker left in it tells "not MIDI" from "no duration".
  MidiFileInfo info;
  std::memset(&info, 0xFF, sizeof info);
  const std::u16string widePath = Utf8ToUtf16(path);
  if (!MIDI_GetInfo(widePath.c_str(), &info)) {
    const bool notMidi = info.eventCount == 0xFFFFFFFFu;
    std::fprintf(stderr, "pocketmidi info: %s: %s\n", path,
                 notMidi ? "not a MIDI file" : "duration is 0");
    return 1;
  }
  if (json) {
    PrintJson(path, info);
  } else {
    PrintText(path, info);
  }
  return 0;
}

}  // namespace pocketmidi::cli
