// One open waveOut device: the queue of written blocks, the callback thread
// that plays them through a backend and delivers WOM_* messages, pause,
// reset, volume and position. The waveOut* functions (wave_out_api.cpp) check
// handles, arguments and injected faults, then call in here.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio_backend_setting.h"
#include "platform/wave_out.h"
#include "platform/wave_out_backend.h"

namespace pocketmidi {

class WaveOutDevice : public WaveOutHandle {
 public:
  WaveOutDevice(std::unique_ptr<WaveOutBackend> backend, const WAVEFORMATEX& format,
                const AudioBackendSetting& setting, WaveOutProc procedure, uintptr_t instance);
  ~WaveOutDevice();
  WaveOutDevice(const WaveOutDevice&) = delete;
  WaveOutDevice& operator=(const WaveOutDevice&) = delete;

  // Starts the callback thread, which delivers WOM_OPEN first.
  void Start();

  const AudioBackendSetting& setting() const { return setting_; }
  const WAVEFORMATEX& format() const { return format_; }
  // True when the blocks are heard by no one: the null device, chosen or
  // fallen back to for want of a sound card.
  bool IsNullDevice() const { return backend_->PacedByClock(); }

  MMRESULT Prepare(WAVEHDR* header);
  MMRESULT Unprepare(WAVEHDR* header);
  MMRESULT Write(WAVEHDR* header);
  MMRESULT Pause();
  MMRESULT Restart();
  MMRESULT Reset();
  // WAVERR_STILLPLAYING while blocks are queued. Otherwise stops the callback
  // thread (after WOM_CLOSE) and closes the backend; the object may then be
  // destroyed.
  MMRESULT Close();
  // For the close=stillplaying fault: true the first time only.
  bool TakeCloseFault();

  void SetVolume(uint32_t volume);
  uint32_t GetVolume();
  // Bytes played since open or the last reset.
  uint64_t PlayedBytes();

 private:
  struct Block {
    WAVEHDR* header;
    const uint8_t* data;  // taken at write time: the header is the client's
    uint32_t length;
  };

  using Clock = std::chrono::steady_clock;
  using Lock = std::unique_lock<std::mutex>;

  // What the callback thread keeps from one step to the next.
  struct RunState {
    explicit RunState(bool pacedByClock) : paced(pacedByClock) {}
    const bool paced;  // the backend wants real-time pacing from us
    Clock::time_point paceOrigin;
    uint64_t pacedBytes = 0;
    bool pacing = false;  // paceOrigin is valid: playback has run without a gap
    bool backendPaused = false;
  };

  // The callback thread: WOM_OPEN, then one step at a time until closed,
  // then WOM_CLOSE. Each step is entered and left with the lock held.
  void Run();
  void ServeResets(Lock& lock, RunState& state);
  void FollowPause(Lock& lock, RunState& state);
  void PlayNextPiece(Lock& lock, RunState& state);
  bool WaitForPace(Lock& lock, RunState& state, uint32_t piece, uint64_t generation);
  void Advance(Lock& lock, const Block& block, uint32_t piece);
  void Deliver(uint32_t message, uintptr_t param1);
  bool OnDeviceThread() const;                 // mutex_ held
  bool IsQueued(const WAVEHDR* header) const;  // mutex_ held

  std::unique_ptr<WaveOutBackend> backend_;
  const WAVEFORMATEX format_;
  const AudioBackendSetting setting_;
  const WaveOutProc procedure_;
  const uintptr_t instance_;
  uint32_t chunkBytes_;
  std::vector<uint8_t> scratch_;  // one piece, volume applied; callback thread only

  std::mutex mutex_;
  std::condition_variable wake_;     // the callback thread waits here
  std::condition_variable settled_;  // Reset waits here for its completions
  std::deque<Block> queue_;
  uint32_t offset_ = 0;              // bytes of queue_.front() already played
  std::vector<WAVEHDR*> cancelled_;  // done by a reset, WOM_DONE not delivered yet
  uint64_t resetsRequested_ = 0;
  uint64_t resetsServed_ = 0;
  uint64_t generation_ = 0;  // moves at every reset: a piece in flight is then void
  uint64_t handedBytes_ = 0;
  uint32_t volume_ = 0xFFFFFFFFu;
  bool paused_ = false;
  bool closing_ = false;
  bool closeFaultUsed_ = false;
  std::thread::id threadId_;
  std::thread thread_;
};

}  // namespace pocketmidi
