// Standard MIDI File header and tracks: finds the chunks, checks the
// header, reads the tracks in file order and merges them into the list.
#include <new>

#include "song/midi_song.h"

namespace pocketmidi {

namespace {

constexpr int kTrackLengthSlots = 64;  // MidiFileInfo::trackLengths

}  // namespace

int32_t DivisionFromHeader(uint16_t raw) {
  if (static_cast<int16_t>(raw) >= 0) return raw;
  // SMPTE: the high byte is minus the frame rate, the low byte the ticks per
  // frame. 29 stands for 29.97 drop-frame and is counted as 30.
  int32_t framesPerSecond = -static_cast<int32_t>(static_cast<int8_t>(raw >> 8));
  if (framesPerSecond == 29) framesPerSecond = 30;
  return framesPerSecond * static_cast<int32_t>(raw & 0xFFu);
}

SongEventList* MidiSong::Load(FileStream* stream, MidiFileInfo* info) {
  if (stream == nullptr) return nullptr;
  eventList = new (std::nothrow) SongEventList{};
  if (eventList == nullptr) return nullptr;
  firstEvent = nullptr;
  eventCount = 0;
  trackTime = 0;

  Refill(stream);
  if (!ScanForTag(stream, "MThd")) return nullptr;
  uint32_t headerLength = 0;
  if (!ReadBigEndian(stream, 4, &headerLength)) return nullptr;
  if (static_cast<int32_t>(headerLength) < 6) return nullptr;
  uint32_t format = 0, trackCount = 0, rawDivision = 0;
  if (!ReadBigEndian(stream, 2, &format) || !ReadBigEndian(stream, 2, &trackCount) ||
      !ReadBigEndian(stream, 2, &rawDivision)) {
    return nullptr;
  }
  const int32_t division = DivisionFromHeader(static_cast<uint16_t>(rawDivision));
  if (info != nullptr) {
    BeginInfo(info, static_cast<uint16_t>(format), static_cast<uint16_t>(trackCount), division);
  }
  if (headerLength > 6 && !SkipBytes(stream, headerLength - 6)) return nullptr;
  const int16_t smfFormat = static_cast<int16_t>(format);
  if (smfFormat < 0 || smfFormat > 2) return nullptr;

  SongEvent* head = AppendEvent();
  if (head == nullptr) return nullptr;
  *head = SongEvent{0, 0, kListHead, 0, 0, nullptr};
  firstEvent = lastEvent = head;
  eventCount = 1;

  if (smfFormat == 0) {
    // One track whatever the header claims.
    ReadTrack(0, false, stream, info);
  } else {
    const int16_t tracks = static_cast<int16_t>(trackCount);
    for (int32_t index = 0; index < tracks; ++index) {
      // A damaged track ends the reading; what was read so far is kept.
      if (ReadTrack(index, smfFormat == 2, stream, info) != 0) break;
    }
  }

  eventList->first = firstEvent;
  eventList->count = eventCount;
  eventList->division = division;
  if (info != nullptr) {
    info->eventCount = eventCount;
    CollectNoteStatistics(info);
  }
  return eventList;
}

int32_t MidiSong::ReadTrack(int32_t trackIndex, bool append, FileStream* stream,
                            MidiFileInfo* info) {
  OpenTrackName(info);
  // Format 0 and 1 tracks all start at time 0 and merge from the head;
  // a format 2 track follows everything read before it.
  SongEvent* cursor = append ? lastEvent : firstEvent;
  if (cursor == nullptr) return 0;
  trackTime = append ? cursor->time : 0;

  if (!ScanForTag(stream, "MTrk")) return 0;
  uint32_t length = 0;
  if (!ReadBigEndian(stream, 4, &length)) return 0;
  if (info != nullptr && trackIndex >= 0 && trackIndex < kTrackLengthSlots) {
    info->trackLengths[trackIndex] = static_cast<uint16_t>(length);
  }
  for (;;) {
    SongEvent* event = ReadEvent(stream, info);
    if (event == nullptr) return kTrackEndedEarly;
    if (event == EndOfTrackMarker()) return 0;
    InsertEvent(cursor, event);
  }
}

}  // namespace pocketmidi
