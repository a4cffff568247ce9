// One Standard MIDI File read into a single time-ordered event list, with
// the SP-MIDI channel selection made while reading.
//
// Operations by concern: the event pool and list insertion
// (event_pool.cpp), the read buffer (read_buffer.cpp), header and tracks
// (midi_file_reader.cpp), track events (track_event_reader.cpp), SP-MIDI
// polyphony messages (sp_midi.cpp) and the caller's info record
// (midi_file_info.cpp).
#pragma once

#include <cstdint>

#include "pocketmidi.h"
#include "song/song_event.h"

namespace pocketmidi {

struct FileStream;

constexpr int kSongChannels = 16;
constexpr int kReadBufferBytes = 2048;
constexpr int32_t kTrackEndedEarly = -23;  // ReadTrack: data ran out in a track

// ReadEvent's answer for the end-of-track meta event (never a real event).
inline SongEvent* EndOfTrackMarker() {
  return reinterpret_cast<SongEvent*>(~static_cast<uintptr_t>(0));
}

// The header's division field as the song passes it on: ticks per quarter
// note, or for SMPTE timing frames per second (29 counted as 30) times
// ticks per frame.
int32_t DivisionFromHeader(uint16_t raw);

class MidiSong {
 public:
  MidiSong();
  ~MidiSong();  // frees nothing: call ReleaseEvents first
  MidiSong(const MidiSong&) = delete;
  MidiSong& operator=(const MidiSong&) = delete;

  // Reads the whole file (once, on a fresh song). With an info record the
  // record is filled as well. Null when the file is not a readable SMF.
  SongEventList* Load(FileStream* stream, MidiFileInfo* info);
  // The 16 channel ranks used for voice stealing; valid until destruction.
  int32_t* ChannelOrder() { return channelRank; }
  // Frees the event pool and the list record.
  void ReleaseEvents();

  // 0 when the track ended properly or no track was found; kTrackEndedEarly
  // when the data ran out inside it.
  int32_t ReadTrack(int32_t trackIndex, bool append, FileStream* stream, MidiFileInfo* info);
  // The next stored event of the current track, EndOfTrackMarker(), or
  // null at the end of the data.
  SongEvent* ReadEvent(FileStream* stream, MidiFileInfo* info);
  // Evaluates the pairs of a MIP message, reading at most bodyBytes bytes;
  // *consumed tells how many it took. 1 when the closing 0xF7 was reached.
  int32_t ApplyMip(FileStream* stream, MidiFileInfo* info, uint32_t bodyBytes,
                   uint32_t* consumed);

  // Storage for one event at the end of the pool; null when memory ran out.
  SongEvent* AppendEvent();
  // Links event into the list after cursor, past every entry of smaller
  // time, and makes it the new cursor.
  void InsertEvent(SongEvent*& cursor, SongEvent* event);

  // Read buffer. Each returns false (or a short count) at the end of data.
  bool Refill(FileStream* stream);
  bool ReadByte(FileStream* stream, uint8_t* byte);
  uint32_t ReadBytes(FileStream* stream, uint8_t* destination, uint32_t count);
  bool SkipBytes(FileStream* stream, uint32_t count);
  bool ReadVarLen(FileStream* stream, uint32_t* value);
  bool ReadBigEndian(FileStream* stream, int bytes, uint32_t* value);
  bool ScanForTag(FileStream* stream, const char* tag);

  // Pieces of ReadEvent. False at the end of the data (or of memory).
  bool ReadChannelMessage(FileStream* stream, MidiFileInfo* info, uint8_t firstData,
                          SongEvent** stored);
  bool ReadMetaEvent(FileStream* stream, MidiFileInfo* info, SongEvent** stored);
  bool ReadSysEx(FileStream* stream, MidiFileInfo* info);
  // Controller number and value to a stored event type; false when the
  // controller is dropped. Updates the parameter selection on the way.
  bool MapController(uint8_t controller, uint8_t value, uint8_t* type, uint8_t* dataByte1);

  // Info record.
  void BeginInfo(MidiFileInfo* info, uint16_t format, uint16_t trackCount, int32_t division);
  void OpenTrackName(MidiFileInfo* info);
  bool ReadCopyright(FileStream* stream, MidiFileInfo* info, uint32_t length);
  bool ReadTrackName(FileStream* stream, MidiFileInfo* info, uint32_t length);
  void CollectNoteStatistics(MidiFileInfo* info);

  // SP-MIDI.
  uint32_t spMidiEnabled;
  int32_t polyphonyLimit;
  uint32_t channelEnabled[kSongChannels];
  int32_t channelRank[kSongChannels];
  SongEventList* eventList;
  // Reader state.
  uint8_t infoProgram[kSongChannels];
  SongEvent* firstEvent;
  uint32_t eventCount;
  uint32_t trackTime;
  uint8_t runningKind;
  uint8_t runningChannel;
  uint8_t nrpnSelected;
  uint8_t paramByteA[kSongChannels];
  uint8_t paramByteB[kSongChannels];
  int8_t infoPeakNotes[kSongChannels];
  int8_t infoActiveNotes[kSongChannels];
  int32_t bufferFill;
  uint8_t readBuffer[kReadBufferBytes];
  int32_t readPos;
  int32_t nameSpaceLeft;
  int32_t nameOffset;
  // Event pool.
  uint32_t blockSize;
  EventBlock* firstBlock;
  EventBlock* lastBlock;
  int32_t blockUsed;
  uint8_t* blockData;
  // The list's last entry, where a format 2 track starts (kept so that
  // finding it never walks the list).
  SongEvent* lastEvent;
};

}  // namespace pocketmidi
