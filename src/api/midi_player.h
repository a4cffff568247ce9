// The player behind a handle: owns one opened song (stream, decoder), the
// audio sink and three PCM buffers, and pumps rendered blocks to the device.
//
// Threads and locks. Two threads meet here: the host's (every operation) and
// the device's callback thread (BufferDone, which renders, queues blocks,
// restarts passes and reports progress). Two locks keep them apart:
//   - stateMutex_ (recursive) guards every field shared with BufferDone.
//     BufferDone holds it from start to end, progress reports included, so a
//     report is never overtaken by another one and the host's callback may
//     call the queries (and Pause, Resume, SetVolume) of its own player.
//   - hostMutex_ makes Open, OpenStream, Close, Stop and Play whole with
//     respect to each other: Stop and Close must let go of stateMutex_ while
//     they wait for the device, and nothing may start a pass in that window.
//     BufferDone never takes it.
// Rule that makes this deadlock-free: nothing waits for the device thread
// (sink Reset, sink Close) while holding stateMutex_, since the device thread
// may be waiting for it in BufferDone; the device thread takes nothing but
// stateMutex_. Stop therefore marks the player Stopped under the lock,
// releases it, resets the sink (which returns once the device thread has
// finished the completion it was delivering, and the sink drops the ones the
// reset causes), then takes the lock again. A BufferDone that got the lock in
// between finds Stopped and returns, so when Stop or Close returns no
// BufferDone of this player is running, and none will do anything.
// Play, Stop and Close called from inside the progress callback (which runs
// under stateMutex_) are refused instead of deadlocking.
#pragma once

#include <cstdint>
#include <mutex>
#include <thread>

#include "api/player_base.h"
#include "output/audio_format.h"
#include "output/audio_sink.h"
#include "platform/path_limits.h"

namespace pocketmidi {

class WaveOutSink;


// One of the three PCM buffers.
struct PcmBuffer {
  int32_t length;  // bytes the last render put in; 0 or less: nothing
  uint8_t* data;   // inside the player's single allocation
};

class MidiPlayer : public PlayerBase {
 public:
  MidiPlayer();
  ~MidiPlayer() override;
  MidiPlayer(const MidiPlayer&) = delete;
  MidiPlayer& operator=(const MidiPlayer&) = delete;

  int32_t Open(const char16_t* path, const FormatOverride* formatOverride) override;
  int32_t Close() override;
  int32_t Stop() override;
  int32_t SetVolume(int32_t percent) override;
  int32_t Play(int32_t startMs, int32_t endMs, int32_t loops) override;
  int32_t Pause() override;
  int32_t Resume() override;
  int32_t GetDuration() override;
  int32_t GetVolume() override;
  int32_t GetPosition() override;
  int32_t GetStatus() override;
  // A directory of kMaxPathUnits units or more is refused: the
  // field is left empty and the next Open fails, since a cut path would name
  // another directory.
  void SetConfigDirectory(const char16_t* directory) override;
  void SetCallback(ProgressCallback callback, void* user) override;
  HWAVEOUT GetWaveOut() override;
  int32_t OpenStream(FileStream* stream, StreamDecoder* decoder,
                     const FormatOverride* formatOverride) override;

  // The sink's event function; user is the player.
  static void BufferDone(void* user, SinkEvent event);

  // True while this thread is inside this player's progress callback.
  bool InsideCallback();

  PcmBuffer buffers[3];
  int32_t state;
  StreamDecoder* decoder;
  AudioSink* sink;
  FileStream* stream;
  int32_t currentBuffer;  // the buffer whose completion comes next
  uint32_t loaded;
  AudioFormat format;
  int32_t remainingBytes;  // of the current pass, not yet reported played
  int32_t passBytes;
  int32_t passesLeft;
  int32_t startMs;
  uint32_t bufferBytes;  // 0 while the buffers are not allocated
  char16_t configDirectory[kMaxPathUnits];
  ProgressCallback callback;
  void* user;

 private:
  // Every *Locked function below expects stateMutex_ held.
  int32_t OpenStreamHost(FileStream* newStream, StreamDecoder* newDecoder,
                         const FormatOverride* formatOverride);  // hostMutex_ held
  int32_t CloseHost();                                           // hostMutex_ held
  int32_t StopHost();                                            // hostMutex_ held
  bool AllocateBuffers();
  void FreeBuffers();
  int32_t StartPassLocked();
  void OnBlockDoneLocked();
  void EndPassLocked();
  void Report(int32_t positionMs);
  bool QueueLocked(int32_t index);
  // Waits (bounded) until the device has let go of every block; used when a
  // reset failed. False when it still holds one.
  static bool WaitForDeviceRelease(AudioSink* target);

  std::mutex hostMutex_;
  std::recursive_mutex stateMutex_;
  int32_t queued_[2] = {0, 0};      // buffers at the device, oldest first
  int32_t queuedCount_ = 0;
  bool configRefused_ = false;
  bool deviceBusy_ = false;   // hostMutex_: a failed reset left blocks the device did not release
  bool deviceStuck_ = false;  // the device refused reset and close: its memory is abandoned
  std::thread::id reportingThread_;
  int reportDepth_ = 0;
};

}  // namespace pocketmidi
