// The caller's MidiFileInfo: header values, track names, copyright text and
// note statistics gathered while the song is read. Every write is bounded
// by its field, whatever the file declares.
#include <cstring>

#include "song/midi_song.h"

namespace pocketmidi {

namespace {

constexpr int32_t kNameArea = static_cast<int32_t>(sizeof(MidiFileInfo::trackNames));
constexpr uint32_t kCopyrightBytes = sizeof(MidiFileInfo::copyright);
// Longest text the copyright notices are cut to, separators included (a
// final separator may still follow it).
constexpr uint32_t kCopyrightText = 253;
constexpr int8_t kNoteCounterMax = 127;

void PutName(MidiFileInfo* info, int32_t offset, char value) {
  if (offset >= 0 && offset < kNameArea) info->trackNames[offset] = value;
}

}  // namespace

void MidiSong::BeginInfo(MidiFileInfo* info, uint16_t format, uint16_t trackCount,
                         int32_t division) {
  info->format = format;
  info->trackCount = trackCount;
  info->division = static_cast<int16_t>(division);
  std::memset(info->mipChannelOrder, 0xFF, sizeof info->mipChannelOrder);
  std::memset(info->mipValues, 0xFF, sizeof info->mipValues);
  std::memset(info->channelInstrument, 0xFF, sizeof info->channelInstrument);
  std::memset(info->channelPeakNotes, 0, sizeof info->channelPeakNotes);
  info->noteOnCount = 0;
  info->mipFound = 0;
  std::memset(info->copyright, 0, sizeof info->copyright);
  std::memset(info->trackLengths, 0, sizeof info->trackLengths);
  std::memset(info->trackNames, 0, sizeof info->trackNames);
  std::memset(infoProgram, 0, sizeof infoProgram);
  std::memset(infoPeakNotes, 0, sizeof infoPeakNotes);
  std::memset(infoActiveNotes, 0, sizeof infoActiveNotes);
  nameSpaceLeft = kNameArea;
  nameOffset = 0;
}

// Each track read opens an entry, empty until a name event fills it. Past
// the end of the area the offset still moves but nothing is written.
void MidiSong::OpenTrackName(MidiFileInfo* info) {
  if (info != nullptr) PutName(info, nameOffset, '\0');
  ++nameOffset;
  --nameSpaceLeft;
}

bool MidiSong::ReadCopyright(FileStream* stream, MidiFileInfo* info, uint32_t length) {
  char* text = info->copyright;
  uint32_t used = static_cast<uint32_t>(strnlen(text, kCopyrightBytes - 1));
  // The separator is left out when it would not fit with its terminator.
  if (used > 0 && used + 2 < kCopyrightBytes) {
    text[used++] = '\r';
    text[used++] = '\n';
    text[used] = '\0';
  }
  uint32_t take = used < kCopyrightText ? kCopyrightText - used : 0;
  if (take > length) take = length;
  const uint32_t got = ReadBytes(stream, reinterpret_cast<uint8_t*>(text + used), take);
  text[used + got] = '\0';
  if (got != take) return false;
  return SkipBytes(stream, length - take);
}

// A name is copied over the NUL that closes the track's entry, so several
// name events of one track run together; the entry is closed again after.
bool MidiSong::ReadTrackName(FileStream* stream, MidiFileInfo* info, uint32_t length) {
  if (nameSpaceLeft < 3 || nameOffset < 1 || nameOffset >= kNameArea) {
    return SkipBytes(stream, length);
  }
  uint32_t count = static_cast<uint32_t>(nameSpaceLeft - 2);
  if (count > length) count = length;
  // An empty name event changes nothing.
  if (count == 0) return true;
  --nameOffset;
  ++nameSpaceLeft;
  // nameOffset + nameSpaceLeft is the area's size, so count bytes and a NUL
  // after them always fit.
  auto* destination = reinterpret_cast<uint8_t*>(info->trackNames + nameOffset);
  const uint32_t got = ReadBytes(stream, destination, count);
  if (got != count) {
    PutName(info, nameOffset + static_cast<int32_t>(got), '\0');
    return false;
  }
  int32_t advance = static_cast<int32_t>(count);
  if (destination[count - 1] != 0) {
    destination[count] = 0;
    ++advance;
  }
  nameOffset += advance;
  nameSpaceLeft -= advance;
  if (!SkipBytes(stream, length - count)) return false;
  PutName(info, nameOffset, '\0');
  return true;
}

// One walk over the merged list counting sounding notes per channel and in
// all. A channel counter stops at 127: further notes on that channel are
// left out of both counts (their note-offs then find nothing to end), so the
// two counts always agree.
void MidiSong::CollectNoteStatistics(MidiFileInfo* info) {
  std::memset(infoActiveNotes, 0, sizeof infoActiveNotes);
  std::memset(infoPeakNotes, 0, sizeof infoPeakNotes);
  uint32_t active = 0;
  uint32_t peak = 0;
  const SongEvent* event = firstEvent;
  for (uint32_t i = 0; i < eventCount && event != nullptr; ++i, event = event->next) {
    if (event->channel >= kSongChannels) continue;
    const uint8_t c = event->channel;
    if (event->type == kNoteOn && event->dataByte2 != 0) {
      if (infoActiveNotes[c] == kNoteCounterMax) continue;
      ++infoActiveNotes[c];
      ++active;
      if (active > peak) peak = active;
      if (infoActiveNotes[c] > infoPeakNotes[c]) infoPeakNotes[c] = infoActiveNotes[c];
    } else if (event->type == kNoteOn || event->type == kNoteOff) {
      if (infoActiveNotes[c] > 0) {
        --infoActiveNotes[c];
        --active;
      }
    }
  }
  info->peakNotes = peak;
  for (int c = 0; c < kSongChannels; ++c) {
    info->channelPeakNotes[c] = static_cast<uint8_t>(infoPeakNotes[c]);
  }
}

}  // namespace pocketmidi
