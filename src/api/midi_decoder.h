// The decoder for Standard MIDI Files (bare or in a RIFF RMID file): owns
// the song and the synthesizer built from it.
#pragma once

#include <cstdint>

#include "api/file_type.h"
#include "api/stream_decoder.h"
#include "platform/path_limits.h"
#include "synth/open_failure.h"

namespace pocketmidi {

class MidiSong;
class SynthEngine;


class MidiDecoder : public StreamDecoder, public InfoProbe {
 public:
  MidiDecoder();
  ~MidiDecoder() override;
  MidiDecoder(const MidiDecoder&) = delete;
  MidiDecoder& operator=(const MidiDecoder&) = delete;

  // StreamDecoder.
  int32_t Open(FileStream* stream, const FormatOverride* formatOverride) override;
  int32_t Render(uint8_t* buffer, uint32_t capacity) override;
  int32_t Seek(int32_t ms, int32_t origin) override;
  int32_t GetPosition() override;
  int32_t GetDuration() override;
  int32_t Close() override;
  int32_t GetFormat(AudioFormat* format) override;

  // InfoProbe: works on a closed decoder and leaves it closed.
  int32_t GetInfo(FileStream* stream, MidiFileInfo* info) override;

  // After Open failed: the step that failed and its result, for tools that
  // explain the failure. Not part of the C interface.
  OpenFailure LastOpenFailure() const;

  char16_t configDirectory[kMaxPathUnits];  // empty: configuration in the root
  MidiSong* song;       // null while closed
  SynthEngine* engine;  // null while closed
};

// A new decoder for a file type (only kFileMidi has one), with its
// configuration directory copied in. Null for other types, for a directory
// that does not fit kMaxPathUnits, or when memory runs out.
StreamDecoder* CreateDecoder(int32_t type, const char16_t* configDirectory);

}  // namespace pocketmidi
