#include "platform/wave_out_device.h"

#include <algorithm>
#include <cstring>

#include "platform/pcm_volume.h"

namespace pocketmidi {
namespace {

// Piece size for backends without their own limit: a whole number of frames
// for every supported block alignment (1, 2, 4).
constexpr uint32_t kDefaultChunkBytes = 16384;

}  // namespace

WaveOutDevice::WaveOutDevice(std::unique_ptr<WaveOutBackend> backend, const WAVEFORMATEX& format,
                             const AudioBackendSetting& setting, WaveOutProc procedure,
                             uintptr_t instance)
    : backend_(std::move(backend)),
      format_(format),
      setting_(setting),
      procedure_(procedure),
      instance_(instance) {
  chunkBytes_ = backend_->ChunkBytes();
  if (chunkBytes_ == 0) chunkBytes_ = kDefaultChunkBytes;
  scratch_.resize(chunkBytes_);
  cancelled_.reserve(8);
}

WaveOutDevice::~WaveOutDevice() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
}

void WaveOutDevice::Start() { thread_ = std::thread(&WaveOutDevice::Run, this); }

bool WaveOutDevice::OnDeviceThread() const { return std::this_thread::get_id() == threadId_; }

bool WaveOutDevice::IsQueued(const WAVEHDR* header) const {
  for (const Block& block : queue_) {
    if (block.header == header) return true;
  }
  return false;
}

MMRESULT WaveOutDevice::Prepare(WAVEHDR* header) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (IsQueued(header)) return WAVERR_STILLPLAYING;
  if (header->lpData == nullptr && header->dwBufferLength != 0) return MMSYSERR_INVALPARAM;
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::Unprepare(WAVEHDR* header) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (IsQueued(header)) return WAVERR_STILLPLAYING;
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::Write(WAVEHDR* header) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return MMSYSERR_INVALHANDLE;
    if ((header->dwFlags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
    if (IsQueued(header)) return WAVERR_STILLPLAYING;
    if (header->lpData == nullptr && header->dwBufferLength != 0) return MMSYSERR_INVALPARAM;
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    queue_.push_back(
        Block{header, reinterpret_cast<const uint8_t*>(header->lpData), header->dwBufferLength});
  }
  wake_.notify_all();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::Pause() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = true;
  }
  wake_.notify_all();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::Restart() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = false;
  }
  wake_.notify_all();
  return MMSYSERR_NOERROR;
}

// Every queued block is marked done and handed back with WOM_DONE (in queue
// order), the position goes back to zero, and the device leaves the paused
// state so that the next write plays. From another thread, returns once those
// WOM_DONE calls have been made, so that nothing caused by the reset arrives
// afterwards.
MMRESULT WaveOutDevice::Reset() {
  std::unique_lock<std::mutex> lock(mutex_);
  ++generation_;
  handedBytes_ = 0;
  offset_ = 0;
  paused_ = false;
  for (const Block& block : queue_) {
    block.header->dwFlags = (block.header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    cancelled_.push_back(block.header);
  }
  queue_.clear();
  uint64_t ticket = ++resetsRequested_;
  wake_.notify_all();
  if (OnDeviceThread()) return MMSYSERR_NOERROR;  // delivered once the callback returns
  settled_.wait(lock, [&] { return resetsServed_ >= ticket; });
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // The callback thread cannot wait for its own end.
    if (OnDeviceThread()) return MMSYSERR_ERROR;
    if (!queue_.empty()) return WAVERR_STILLPLAYING;
    closing_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  backend_->Close();
  return MMSYSERR_NOERROR;
}

bool WaveOutDevice::TakeCloseFault() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closeFaultUsed_) return false;
  closeFaultUsed_ = true;
  return true;
}

void WaveOutDevice::SetVolume(uint32_t volume) {
  std::lock_guard<std::mutex> lock(mutex_);
  volume_ = volume;
}

uint32_t WaveOutDevice::GetVolume() {
  std::lock_guard<std::mutex> lock(mutex_);
  return volume_;
}

uint64_t WaveOutDevice::PlayedBytes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return backend_->PlayedBytes(handedBytes_);
}

void WaveOutDevice::Deliver(uint32_t message, uintptr_t param1) {
  if (procedure_ != nullptr) procedure_(this, message, instance_, param1, 0);
}

void WaveOutDevice::Run() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    threadId_ = std::this_thread::get_id();
  }
  Deliver(WOM_OPEN, 0);

  RunState state(backend_->PacedByClock());
  Lock lock(mutex_);
  for (;;) {
    if (resetsServed_ < resetsRequested_) {
      ServeResets(lock, state);
    } else if (closing_) {
      break;
    } else if (paused_ != state.backendPaused) {
      FollowPause(lock, state);
    } else if (paused_ || queue_.empty()) {
      state.pacing = false;
      wake_.wait(lock);
    } else {
      PlayNextPiece(lock, state);
    }
  }
  lock.unlock();
  Deliver(WOM_CLOSE, 0);
}

// Hands back the blocks the resets took (WOM_DONE, in queue order) and lets
// the threads waiting in Reset go.
void WaveOutDevice::ServeResets(Lock& lock, RunState& state) {
  const uint64_t served = resetsRequested_;
  std::vector<WAVEHDR*> cancelled;
  cancelled.swap(cancelled_);
  lock.unlock();
  backend_->Discard();
  for (WAVEHDR* header : cancelled) Deliver(WOM_DONE, reinterpret_cast<uintptr_t>(header));
  lock.lock();
  cancelled.clear();
  if (cancelled_.empty()) cancelled_.swap(cancelled);  // keep the capacity
  state.backendPaused = false;
  state.pacing = false;
  resetsServed_ = served;
  settled_.notify_all();
}

// Brings the backend into the paused state the client asked for.
void WaveOutDevice::FollowPause(Lock& lock, RunState& state) {
  state.backendPaused = paused_;
  lock.unlock();
  if (state.backendPaused) {
    backend_->Pause();
  } else {
    backend_->Resume();
  }
  lock.lock();
  state.pacing = false;
}

// Plays the next piece of the front block, volume applied, outside the lock;
// a reset meanwhile voids it.
void WaveOutDevice::PlayNextPiece(Lock& lock, RunState& state) {
  const Block block = queue_.front();
  const uint32_t piece = std::min(chunkBytes_, block.length - offset_);
  const uint64_t generation = generation_;
  const uint32_t volume = volume_;
  if (state.paced && !state.pacing) {
    state.paceOrigin = Clock::now();
    state.pacedBytes = 0;
    state.pacing = true;
  }
  if (piece > 0) std::memcpy(scratch_.data(), block.data + offset_, piece);
  lock.unlock();
  if (piece > 0) {
    ApplyVolume(scratch_.data(), piece, format_.wBitsPerSample, format_.nChannels, volume);
    backend_->Play(scratch_.data(), piece);
  }
  lock.lock();
  if (generation != generation_) return;  // a reset took this block meanwhile
  if (!WaitForPace(lock, state, piece, generation)) return;
  Advance(lock, block, piece);
}

// For a backend paced by us: waits until the piece would have been heard at
// the device's byte rate since playback last started. False when a reset
// came meanwhile.
bool WaveOutDevice::WaitForPace(Lock& lock, RunState& state, uint32_t piece,
                                uint64_t generation) {
  if (!state.paced || format_.nAvgBytesPerSec == 0) return true;
  state.pacedBytes += piece;
  const auto deadline = state.paceOrigin + std::chrono::microseconds(state.pacedBytes * 1000000u /
                                                                     format_.nAvgBytesPerSec);
  wake_.wait_until(lock, deadline, [&] { return generation != generation_ || closing_; });
  return generation == generation_;
}

// Counts the piece as played; a block played to its end is marked done and
// handed back with WOM_DONE.
void WaveOutDevice::Advance(Lock& lock, const Block& block, uint32_t piece) {
  handedBytes_ += piece;
  offset_ += piece;
  if (offset_ < block.length) return;
  queue_.pop_front();
  offset_ = 0;
  block.header->dwFlags = (block.header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  lock.unlock();
  Deliver(WOM_DONE, reinterpret_cast<uintptr_t>(block.header));
  lock.lock();
}

}  // namespace pocketmidi
