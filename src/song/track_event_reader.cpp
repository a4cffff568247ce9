// Track events: delta times, running status, channel messages mapped onto
// the song's event types, and meta events. System-exclusive events are in
// sp_midi.cpp.
#include "song/midi_song.h"

namespace pocketmidi {

namespace {

constexpr uint8_t kDrumChannel = 9;

enum RunningKind : uint8_t {
  kKindNoteOff = 0,
  kKindNoteOn = 1,
  kKindKeyPressure = 2,
  kKindController = 3,
  kKindProgram = 4,
  kKindChannelPressure = 5,
  kKindPitchBend = 6,
  kKindSystem = 7,  // status 0xF1-0xF6, 0xF8-0xFE: dropped
};

enum MetaType : uint8_t {
  kMetaCopyright = 0x02,
  kMetaTrackName = 0x03,
  kMetaEndOfTrack = 0x2F,
  kMetaTempo = 0x51,
};

}  // namespace

SongEvent* MidiSong::ReadEvent(FileStream* stream, MidiFileInfo* info) {
  for (;;) {
    uint32_t delta = 0;
    if (!ReadVarLen(stream, &delta)) return nullptr;
    trackTime += delta;
    uint8_t byte = 0;
    if (!ReadByte(stream, &byte)) return nullptr;

    SongEvent* stored = nullptr;
    if (byte == 0xF0 || byte == 0xF7) {
      if (!ReadSysEx(stream, info)) return nullptr;
      continue;
    }
    if (byte == 0xFF) {
      if (!ReadMetaEvent(stream, info, &stored)) return nullptr;
    } else {
      if (byte & 0x80) {
        // A new status. Running status lives on through meta and
        // system-exclusive events and from one track into the next.
        runningKind = (byte >> 4) & 7;
        runningChannel = byte & 0x0F;
        if (!ReadByte(stream, &byte)) return nullptr;
      }
      if (!ReadChannelMessage(stream, info, byte & 0x7F, &stored)) return nullptr;
    }
    if (stored != nullptr) return stored;
  }
}

bool MidiSong::ReadChannelMessage(FileStream* stream, MidiFileInfo* info, uint8_t firstData,
                                  SongEvent** stored) {
  const uint8_t channel = runningChannel;
  uint8_t second = 0;
  switch (runningKind) {
    case kKindNoteOff:
    case kKindNoteOn:
    case kKindKeyPressure:
    case kKindController:
    case kKindPitchBend:
      if (!ReadByte(stream, &second)) return false;
      second &= 0x7F;
      break;
    default:
      break;
  }

  uint8_t type = 0;
  uint8_t dataByte1 = firstData;
  uint8_t dataByte2 = second;
  bool keep = true;
  switch (runningKind) {
    case kKindNoteOff: type = kNoteOff; break;
    case kKindNoteOn:
      type = kNoteOn;
      if (info != nullptr) {
        info->channelInstrument[channel] =
            channel == kDrumChannel ? firstData : infoProgram[channel];
        if (second != 0) ++info->noteOnCount;
      }
      break;
    case kKindKeyPressure: type = kKeyPressure; break;
    case kKindController:
      keep = MapController(firstData, second, &type, &dataByte1);
      dataByte2 = 0;
      break;
    case kKindProgram:
      type = kProgramChange;
      dataByte2 = 0;
      if (info != nullptr && channel != kDrumChannel) infoProgram[channel] = firstData;
      break;
    case kKindPitchBend: type = kPitchBend; break;
    default: keep = false; break;  // channel pressure, system messages
  }
  if (!keep) return true;
  // SP-MIDI masking comes last, so that parameter selection and the info
  // statistics also see the channels that are not played.
  if (spMidiEnabled && !channelEnabled[channel]) return true;

  SongEvent* event = AppendEvent();
  if (event == nullptr) return false;
  *event = SongEvent{trackTime, channel, type, dataByte1, dataByte2, nullptr};
  *stored = event;
  return true;
}

bool MidiSong::MapController(uint8_t controller, uint8_t value, uint8_t* type,
                             uint8_t* dataByte1) {
  const uint8_t channel = runningChannel;
  *dataByte1 = value;
  switch (controller) {
    case 0: *type = kBankSelect; return true;
    case 32:
      // Only a bank LSB of 0 is passed on (as a bank select of 0).
      if (value != 0) return false;
      *type = kBankSelect;
      return true;
    case 6:
      // Data entry: only pitch bend sensitivity (RPN 0/0) and the null
      // parameter (127/127, which sets the default range of 2) are known.
      if (nrpnSelected) return false;
      *type = kPitchBendRange;
      if (paramByteA[channel] == 0 && paramByteB[channel] == 0) return true;
      if (paramByteA[channel] == 127 && paramByteB[channel] == 127) {
        *dataByte1 = 2;
        return true;
      }
      return false;
    case 7: *type = kVolume; return true;
    case 10: *type = kPan; return true;
    case 11: *type = kExpression; return true;
    case 64: *type = kSustain; return true;
    case 98: nrpnSelected = 1; paramByteB[channel] = value; return false;
    case 99: nrpnSelected = 1; paramByteA[channel] = value; return false;
    case 100: nrpnSelected = 0; paramByteA[channel] = value; return false;
    case 101: nrpnSelected = 0; paramByteB[channel] = value; return false;
    case 120: *type = kAllSoundOff; return true;
    case 121: *type = kResetControllers; return true;
    case 123: *type = kAllNotesOff; return true;
    default: return false;
  }
}

bool MidiSong::ReadMetaEvent(FileStream* stream, MidiFileInfo* info, SongEvent** stored) {
  uint8_t metaType = 0;
  uint32_t length = 0;
  if (!ReadByte(stream, &metaType) || !ReadVarLen(stream, &length)) return false;
  switch (metaType) {
    case kMetaEndOfTrack:
      // Whatever data the event declares is left unread.
      *stored = EndOfTrackMarker();
      return true;
    case kMetaTempo: {
      // Always exactly three bytes, whatever the declared length. Tempo
      // events belong to no channel and are never masked.
      uint8_t tempo[3];
      if (ReadBytes(stream, tempo, 3) != 3) return false;
      SongEvent* event = AppendEvent();
      if (event == nullptr) return false;
      *event = SongEvent{trackTime, tempo[2], kTempo, tempo[0], tempo[1], nullptr};
      *stored = event;
      return true;
    }
    case kMetaCopyright:
      if (info != nullptr) return ReadCopyright(stream, info, length);
      break;
    case kMetaTrackName:
      if (info != nullptr) return ReadTrackName(stream, info, length);
      break;
    default:
      break;
  }
  return SkipBytes(stream, length);
}

}  // namespace pocketmidi
