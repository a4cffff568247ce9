// MidiPlayer playback: Play, the block pump driven by the device's
// completions, pass ends and loop restarts, Stop, Pause and Resume. The
// locking design is described in midi_player.h.
//
// Blocks are never queued past the end of a pass: when the block still at
// the device already reaches the pass's byte count, the block rendered ahead
// is held back. A pass therefore ends with nothing queued, so a loop restart
// writes into free headers only and nothing from beyond the end is heard;
// the block the end position falls in still plays whole.
//
// A pass also ends when the song's PCM runs out first (Render returned 0,
// e.g. an end position past the song, or the duration rounded up to whole
// milliseconds): once the last block at the device has completed.
#include <chrono>
#include <thread>

#include "api/midi_player.h"
#include "api/stream_decoder.h"
#include "output/audio_sink.h"

namespace pocketmidi {
namespace {

// How long a device whose reset failed is given to finish its blocks (two
// blocks of 400 ms in real time, with room to spare).
constexpr int kReleasePolls = 1500;
constexpr auto kReleasePollInterval = std::chrono::milliseconds(2);

// Truncation toward zero into 32 bits, saturating instead of overflowing (an
// end position far past the song asks for more bytes than 32 bits hold).
int32_t TruncateToInt32(double value) {
  if (!(value < 2147483648.0)) return INT32_MAX;
  if (!(value > -2147483649.0)) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// True when bytes already at the device cover what remains of the pass.
bool ReachesPassEnd(int32_t remaining, int64_t queuedBytes) {
  return int64_t{remaining} - queuedBytes <= 0;
}

}  // namespace

void MidiPlayer::Report(int32_t positionMs) {
  if (callback == nullptr) return;
  const std::thread::id previous = reportingThread_;
  reportingThread_ = std::this_thread::get_id();
  ++reportDepth_;
  callback(decoder->GetDuration(), positionMs, user);
  --reportDepth_;
  reportingThread_ = previous;
}

bool MidiPlayer::QueueLocked(int32_t index) {
  if (queuedCount_ >= 2) return false;
  if (sink->Write(buffers[index].data, buffers[index].length) != kSinkOk) return false;
  queued_[queuedCount_++] = index;
  return true;
}

int32_t MidiPlayer::Play(int32_t newStartMs, int32_t endMs, int32_t loops) {
  if (InsideCallback()) return 0;
  std::lock_guard<std::mutex> host(hostMutex_);
  {
    std::lock_guard<std::recursive_mutex> lock(stateMutex_);
    if (!loaded || state != kPlayerStopped) return 0;
  }
  // After a failed reset the device may still be reading the buffers.
  if (deviceBusy_) {
    if (!WaitForDeviceRelease(sink)) return 0;
    deviceBusy_ = false;
  }
  std::lock_guard<std::recursive_mutex> lock(stateMutex_);
  int32_t end = endMs;
  if (endMs == -1) {
    end = decoder->GetDuration();
  } else if (endMs <= newStartMs || newStartMs < 0 || loops < -1) {
    return 0;
  }
  // 0.000125 = 1/8000: bits to bytes and milliseconds to seconds.
  passBytes = TruncateToInt32((static_cast<double>(end) - newStartMs) * format.bitsPerSample *
                              format.sampleRate * format.channels * 0.000125);
  passesLeft = loops;
  startMs = newStartMs;
  return StartPassLocked();
}

int32_t MidiPlayer::StartPassLocked() {
  currentBuffer = 0;
  remainingBytes = passBytes;
  // A restart keeps a pause the host asked for while the pass was ending.
  const bool wasPaused = state == kPlayerPaused;
  state = kPlayerStopped;
  queuedCount_ = 0;
  decoder->Seek(startMs, kSeekFromStart);
  for (PcmBuffer& buffer : buffers) buffer.length = decoder->Render(buffer.data, bufferBytes);
  for (int32_t i = 0; i < 2; ++i) {
    if (buffers[i].length < 1) break;
    if (i == 1 && ReachesPassEnd(remainingBytes, buffers[0].length)) break;
    if (!QueueLocked(i)) break;
    state = kPlayerPlaying;
  }
  if (state == kPlayerPlaying && wasPaused) state = kPlayerPaused;
  Report(startMs);
  return state != kPlayerStopped ? 1 : 0;
}

void MidiPlayer::BufferDone(void* player, SinkEvent event) {
  if (event != kSinkBlockDone || player == nullptr) return;
  auto* self = static_cast<MidiPlayer*>(player);
  std::lock_guard<std::recursive_mutex> lock(self->stateMutex_);
  self->OnBlockDoneLocked();
}

void MidiPlayer::OnBlockDoneLocked() {
  // queuedCount_ is 0 only for a completion that is not of a block written
  // since the last pass start or stop: nothing to account for.
  if (sink == nullptr || decoder == nullptr || state == kPlayerStopped || queuedCount_ == 0) {
    return;
  }
  const int32_t finished = queued_[0];
  queued_[0] = queued_[1];
  --queuedCount_;
  currentBuffer = queuedCount_ > 0 ? queued_[0] : (finished + 1) % 3;
  remainingBytes = static_cast<int32_t>(static_cast<uint32_t>(remainingBytes) -
                                        static_cast<uint32_t>(buffers[finished].length));

  if (callback != nullptr) {
    const int64_t played = int64_t{passBytes} - remainingBytes;
    const uint32_t bitsPerSecond = format.bitsPerSample * format.sampleRate * format.channels;
    // Truncated toward zero through int64_t rather than std::trunc, which on
    // some targets (32-bit ARM) would make the library load libm for one call;
    // the value is far inside int64_t's range.
    const double elapsedMs =
        bitsPerSecond != 0
            ? static_cast<double>(static_cast<int64_t>(played * 8000.0 / bitsPerSecond))
            : 0;
    const int32_t duration = decoder->GetDuration();
    const double position = startMs + elapsedMs;
    Report(position > duration ? duration : TruncateToInt32(position));
  }

  if (remainingBytes > 0) {
    const int32_t last = queuedCount_ > 0 ? queued_[queuedCount_ - 1] : finished;
    const int32_t next = (last + 1) % 3;  // rendered ahead, not queued yet
    int64_t queuedBytes = 0;
    for (int32_t i = 0; i < queuedCount_; ++i) queuedBytes += buffers[queued_[i]].length;
    if (buffers[next].length > 0 && !ReachesPassEnd(remainingBytes, queuedBytes)) {
      QueueLocked(next);  // a block the device refuses is retried at the next completion
      buffers[finished].length = decoder->Render(buffers[finished].data, bufferBytes);
    } else {
      buffers[finished].length = 0;  // heard; nothing more of this pass goes into it
    }
  }
  // The pass ends with the completion of its last block at the device.
  if (queuedCount_ > 0) return;
  EndPassLocked();
}

void MidiPlayer::EndPassLocked() {
  // loops 0 and -1 count down through negative values: practically endless.
  passesLeft = static_cast<int32_t>(static_cast<uint32_t>(passesLeft) - 1u);
  if (passesLeft != 0) {
    StartPassLocked();
    return;
  }
  state = kPlayerStopped;
  Report(-1);
}

int32_t MidiPlayer::Stop() {
  if (InsideCallback()) return 0;
  std::lock_guard<std::mutex> host(hostMutex_);
  return StopHost();
}

int32_t MidiPlayer::StopHost() {
  {
    std::lock_guard<std::recursive_mutex> lock(stateMutex_);
    if (!loaded) return 0;
    if (state == kPlayerStopped) return 1;
    // From here on BufferDone ignores completions.
    state = kPlayerStopped;
  }
  // Not under stateMutex_: the reset waits for the device thread, which may
  // be waiting for that lock in BufferDone.
  const int32_t resetResult = sink->Reset();
  if (resetResult != kSinkOk) deviceBusy_ = !WaitForDeviceRelease(sink);
  std::lock_guard<std::recursive_mutex> lock(stateMutex_);
  queuedCount_ = 0;
  const int32_t seekResult = decoder->Seek(startMs, kSeekFromStart);
  Report(-1);
  return resetResult == kSinkOk && seekResult == 0 ? 1 : 0;
}

int32_t MidiPlayer::Pause() {
  std::lock_guard<std::recursive_mutex> lock(stateMutex_);
  if (!loaded || state != kPlayerPlaying || sink->Pause() != kSinkOk) return 0;
  state = kPlayerPaused;
  return 1;
}

int32_t MidiPlayer::Resume() {
  std::lock_guard<std::recursive_mutex> lock(stateMutex_);
  if (!loaded || state != kPlayerPaused || sink->Restart() != kSinkOk) return 0;
  state = kPlayerPlaying;
  return 1;
}

// The device keeps a block until it has played it. Completions after a
// reset attempt are dropped by the sink, so polling it is the only way to
// see the device let go.
bool MidiPlayer::WaitForDeviceRelease(AudioSink* target) {
  if (target == nullptr || target->GetHandle() == nullptr) return true;
  target->Restart();  // a paused device would never finish its blocks
  for (int poll = 0; poll < kReleasePolls; ++poll) {
    if (!target->HoldsBlocks()) return true;
    std::this_thread::sleep_for(kReleasePollInterval);
  }
  return false;
}

}  // namespace pocketmidi
