// The two faces of a decoder: PCM for the player (StreamDecoder) and song
// information without any output (InfoProbe). The order of the virtual
// operations is part of the design and is kept as declared.
#pragma once

#include <cstdint>

#include "output/audio_format.h"
#include "pocketmidi.h"

namespace pocketmidi {

struct FileStream;

// Seek origins of StreamDecoder::Seek (not those of the file layer).
enum DecoderSeekOrigin : int32_t {
  kSeekFromStart = 0,
  kSeekFromCurrent = 1,
  kSeekFromEnd = 2,
};

// Results of StreamDecoder::Open.
constexpr int32_t kDecoderOpened = 0;
constexpr int32_t kDecoderFailed = 1;      // configuration, song set-up or instruments
constexpr int32_t kDecoderNoMemory = 201;  // song or engine not allocated

class StreamDecoder {
 public:
  virtual ~StreamDecoder() = default;
  // kDecoderOpened, kDecoderFailed or kDecoderNoMemory. formatOverride may
  // be null.
  virtual int32_t Open(FileStream* stream, const FormatOverride* formatOverride) = 0;
  // Bytes written into buffer; 0 once the song is over.
  virtual int32_t Render(uint8_t* buffer, uint32_t capacity) = 0;
  // Moves to ms from origin (DecoderSeekOrigin), clamped to the song. 0.
  virtual int32_t Seek(int32_t ms, int32_t origin) = 0;
  virtual int32_t GetPosition() = 0;  // ms rendered so far
  virtual int32_t GetDuration() = 0;  // song length in ms
  virtual int32_t Close() = 0;        // 0
  virtual int32_t GetFormat(AudioFormat* format) = 0;  // 1
};

class InfoProbe {
 public:
  virtual ~InfoProbe() = default;
  // Reads the song from the start of stream into info. 1 when its duration
  // came out non-zero, else 0.
  virtual int32_t GetInfo(FileStream* stream, MidiFileInfo* info) = 0;
};

}  // namespace pocketmidi
