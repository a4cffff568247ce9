// Where rendered PCM goes: the abstract sink the player drives, its events
// and its result codes.
#pragma once

#include <cstdint>

#include "output/audio_format.h"
#include "platform/wave_out.h"

namespace pocketmidi {

enum SinkEvent : int32_t {
  kSinkOpened = 0,     // the device has been opened
  kSinkBlockDone = 1,  // a block has finished playing
  kSinkClosed = 2,     // the device has been closed
};

// Called on the device's callback thread with the user pointer given to Open.
using SinkEventFunction = void (*)(void* user, SinkEvent event);

// Sink codes. -2 is never produced.
constexpr int32_t kSinkOk = 0;
constexpr int32_t kSinkInvalidHandle = -1;
constexpr int32_t kSinkNoMemory = -3;
constexpr int32_t kSinkNoDriver = -4;
constexpr int32_t kSinkFailed = -5;  // every other failure, and a volume out of range

// The sink code of a platform result.
inline int32_t SinkCodeFromResult(MMRESULT result) {
  switch (result) {
    case MMSYSERR_NOERROR:
      return kSinkOk;
    case MMSYSERR_INVALHANDLE:
      return kSinkInvalidHandle;
    case MMSYSERR_NOMEM:
      return kSinkNoMemory;
    case MMSYSERR_NODRIVER:
      return kSinkNoDriver;
    default:
      return kSinkFailed;
  }
}

class AudioSink {
 public:
  virtual ~AudioSink() = default;
  // 1 on success, 0 on failure.
  virtual int32_t Open(const AudioFormat* format, SinkEventFunction eventFunction, void* user) = 0;
  // Queues length bytes at data; the memory must stay untouched until the
  // block's kSinkBlockDone. At most two blocks may be outstanding.
  virtual int32_t Write(const void* data, int32_t length) = 0;
  virtual int32_t Pause() = 0;
  virtual int32_t Restart() = 0;
  virtual int32_t Reset() = 0;
  virtual int32_t Close() = 0;
  virtual int32_t SetVolume(int32_t percent) = 0;  // 0..100
  virtual int32_t GetVolume() = 0;                 // 0..100, or a negative sink code
  virtual int32_t GetPosition() = 0;               // milliseconds played, or 0 when unknown
  virtual HWAVEOUT GetHandle() { return nullptr; }
  // Lets go of every block the device has finished with; true while the
  // device still holds one. After a failed Reset this is how the owner sees
  // the device give the memory back (completions are no longer reported).
  virtual bool HoldsBlocks() { return false; }
};

}  // namespace pocketmidi
