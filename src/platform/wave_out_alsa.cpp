// A waveOut device over an ALSA PCM. All ALSA calls on an open PCM are made
// on the device's callback thread (or after it has ended); the host thread
// only reads the position snapshot kept below.
#include <alsa/asoundlib.h>

#include <cerrno>
#include <chrono>
#include <mutex>

#include "platform/wave_out_backend.h"

namespace pocketmidi {
namespace {

constexpr unsigned kLatencyMicros = 100000;  // ALSA ring: about 100 ms

// alsa-lib prints its errors to stderr; this library reports failures only
// through results.
void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

class AlsaBackend : public WaveOutBackend {
 public:
  explicit AlsaBackend(std::string device)
      : device_(device.empty() ? std::string("default") : std::move(device)) {}
  ~AlsaBackend() override { Release(); }

  MMRESULT Open(const WAVEFORMATEX& format) override {
    static std::once_flag silence;
    std::call_once(silence, [] { snd_lib_error_set_handler(SilentAlsaErrors); });
    frameBytes_ = format.nBlockAlign;
    rate_ = format.nSamplesPerSec;
    int error = snd_pcm_open(&pcm_, device_.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
    if (error < 0) {
      pcm_ = nullptr;
      return error == -EBUSY ? MMSYSERR_ALLOCATED : MMSYSERR_NODRIVER;
    }
    snd_pcm_format_t sampleFormat =
        format.wBitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    error = snd_pcm_set_params(pcm_, sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format.nChannels,
                               format.nSamplesPerSec, 1, kLatencyMicros);
    snd_pcm_uframes_t bufferFrames = 0;
    snd_pcm_uframes_t periodFrames = 0;
    if (error == 0) error = snd_pcm_get_params(pcm_, &bufferFrames, &periodFrames);
    if (error < 0) {
      Release();
      return WAVERR_BADFORMAT;
    }
    if (periodFrames == 0 || periodFrames > 16384) periodFrames = 1024;
    chunkBytes_ = static_cast<uint32_t>(periodFrames) * frameBytes_;
    return MMSYSERR_NOERROR;
  }

  uint32_t ChunkBytes() const override { return chunkBytes_; }

  void Play(const uint8_t* pcm, uint32_t bytes) override {
    // A trailing partial frame cannot be written to ALSA and is dropped.
    snd_pcm_uframes_t left = bytes / frameBytes_;
    while (left > 0) {
      snd_pcm_sframes_t written = snd_pcm_writei(pcm_, pcm, left);
      if (written < 0) {
        // Underrun (the queue ran dry) or suspend: recover and retry; anything
        // else loses the rest of this piece rather than blocking the device.
        if (snd_pcm_recover(pcm_, static_cast<int>(written), 1) < 0) break;
        continue;
      }
      left -= static_cast<snd_pcm_uframes_t>(written);
      pcm += static_cast<size_t>(written) * frameBytes_;
      Snapshot(static_cast<uint64_t>(written), false);
    }
  }

  void Pause() override {
    if (snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING && snd_pcm_pause(pcm_, 1) == 0) {
      hardwarePaused_ = true;
    }
    // Without hardware pause the ring plays out; we simply stop feeding it.
    Snapshot(0, true);
  }

  void Resume() override {
    if (hardwarePaused_) snd_pcm_pause(pcm_, 0);
    hardwarePaused_ = false;
    Snapshot(0, false);
  }

  void Discard() override {
    snd_pcm_drop(pcm_);
    snd_pcm_prepare(pcm_);
    hardwarePaused_ = false;
    std::lock_guard<std::mutex> lock(snapshotMutex_);
    writtenFrames_ = 0;
    delayFrames_ = 0;
    snapshotTime_ = std::chrono::steady_clock::now();
  }

  void Close() override {
    if (pcm_ == nullptr) return;
    if (hardwarePaused_) {
      snd_pcm_drop(pcm_);
    } else {
      snd_pcm_drain(pcm_);  // the last block is heard to its end
    }
    Release();
  }

  // What was written minus what ALSA still holds, advanced by the time since
  // the last snapshot unless paused: no ALSA call from the host thread.
  uint64_t PlayedBytes(uint64_t) const override {
    std::lock_guard<std::mutex> lock(snapshotMutex_);
    uint64_t delay = delayFrames_;
    if (!paused_ && delay > 0) {
      auto elapsed = std::chrono::steady_clock::now() - snapshotTime_;
      uint64_t micros = static_cast<uint64_t>(
          std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count());
      uint64_t advanced = micros * rate_ / 1000000u;
      delay = advanced >= delay ? 0 : delay - advanced;
    }
    uint64_t played = writtenFrames_ >= delay ? writtenFrames_ - delay : 0;
    return played * frameBytes_;
  }

 private:
  void Snapshot(uint64_t addedFrames, bool paused) {
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm_, &delay) < 0 || delay < 0) delay = 0;
    std::lock_guard<std::mutex> lock(snapshotMutex_);
    writtenFrames_ += addedFrames;
    delayFrames_ = static_cast<uint64_t>(delay);
    paused_ = paused;
    snapshotTime_ = std::chrono::steady_clock::now();
  }

  void Release() {
    if (pcm_ != nullptr) snd_pcm_close(pcm_);
    pcm_ = nullptr;
  }

  std::string device_;
  snd_pcm_t* pcm_ = nullptr;
  uint32_t frameBytes_ = 1;
  uint32_t rate_ = 0;
  uint32_t chunkBytes_ = 0;
  bool hardwarePaused_ = false;

  mutable std::mutex snapshotMutex_;
  uint64_t writtenFrames_ = 0;
  uint64_t delayFrames_ = 0;
  bool paused_ = false;
  std::chrono::steady_clock::time_point snapshotTime_;
};

}  // namespace

std::unique_ptr<WaveOutBackend> CreateAlsaBackend(const std::string& device) {
  return std::make_unique<AlsaBackend>(device);
}

}  // namespace pocketmidi
