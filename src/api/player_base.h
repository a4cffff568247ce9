// The abstract player behind every handle. The order of the virtual
// operations is part of the design and is kept as declared.
#pragma once

#include <cstdint>

#include "platform/wave_out.h"
#include "pocketmidi.h"

namespace pocketmidi {

struct FileStream;
class StreamDecoder;

// What MIDI_GetStatus answers.
enum PlayerState : int32_t {
  kPlayerStopped = 0,  // also once playback has run out
  kPlayerPlaying = 1,
  kPlayerPaused = 2,
};

class PlayerBase {
 public:
  virtual ~PlayerBase() = default;
  // Song duration in ms; 0 on failure.
  virtual int32_t Open(const char16_t* path, const FormatOverride* formatOverride) = 0;
  virtual int32_t Close() = 0;                        // always 1
  virtual int32_t Stop() = 0;                         // 1 or 0
  virtual int32_t SetVolume(int32_t percent) = 0;     // 1 or 0
  virtual int32_t Play(int32_t startMs, int32_t endMs, int32_t loops) = 0;  // 1 or 0
  virtual int32_t Pause() = 0;                        // 1 or 0
  virtual int32_t Resume() = 0;                       // 1 or 0
  virtual int32_t GetDuration() = 0;                  // ms, or -1
  virtual int32_t GetVolume() = 0;                    // 0..100, a negative sink code, or -1
  virtual int32_t GetPosition() = 0;                  // ms, or -1
  virtual int32_t GetStatus() = 0;                    // PlayerState
  virtual void SetConfigDirectory(const char16_t* directory) = 0;
  virtual void SetCallback(ProgressCallback callback, void* user) = 0;
  virtual HWAVEOUT GetWaveOut() { return nullptr; }
  // Takes over stream and decoder (no type detection). Duration in ms, or 0.
  virtual int32_t OpenStream(FileStream* stream, StreamDecoder* decoder,
                             const FormatOverride* formatOverride) {
    (void)stream;
    (void)decoder;
    (void)formatOverride;
    return -1;
  }
};

}  // namespace pocketmidi
