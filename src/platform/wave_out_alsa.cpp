// A waveOut device over an ALSA PCM. All ALSA calls on an open PCM are made
// on the device's callback thread (or after it has ended); the host thread
// only reads the position snapshot kept below.
//
// alsa-lib is loaded when a device is opened, not when the process starts:
// linked directly it costs every process about half a megabyte of resident
// memory (its code, relocations and data), also when it only renders to a
// file or plays through a virtual device. Only the header is used at build
// time, for the types and constants.
#include <alsa/asoundlib.h>
#include <dlfcn.h>

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

// The alsa-lib functions this backend calls, resolved from the shared library.
// Each backend holds its own reference; the library stays mapped once loaded
// (RTLD_NODELETE) because its plugins and configuration cache outlive a PCM.
struct AlsaLibrary {
  void* handle = nullptr;
  decltype(&snd_lib_error_set_handler) setErrorHandler = nullptr;
  decltype(&snd_pcm_open) open = nullptr;
  decltype(&snd_pcm_set_params) setParams = nullptr;
  decltype(&snd_pcm_get_params) getParams = nullptr;
  decltype(&snd_pcm_writei) writei = nullptr;
  decltype(&snd_pcm_recover) recover = nullptr;
  decltype(&snd_pcm_state) state = nullptr;
  decltype(&snd_pcm_pause) pause = nullptr;
  decltype(&snd_pcm_drop) drop = nullptr;
  decltype(&snd_pcm_prepare) prepare = nullptr;
  decltype(&snd_pcm_drain) drain = nullptr;
  decltype(&snd_pcm_delay) delay = nullptr;
  decltype(&snd_pcm_close) close = nullptr;

  AlsaLibrary() = default;
  AlsaLibrary(const AlsaLibrary&) = delete;
  AlsaLibrary& operator=(const AlsaLibrary&) = delete;
  ~AlsaLibrary() {
    if (handle != nullptr) dlclose(handle);
  }

  // True when the library and every function were found; otherwise nothing
  // can be called and the device is reported as missing.
  bool Load() {
    if (handle != nullptr) return true;
    handle = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr) return false;
    const bool found = Find(&setErrorHandler, "snd_lib_error_set_handler") &&
                       Find(&open, "snd_pcm_open") && Find(&setParams, "snd_pcm_set_params") &&
                       Find(&getParams, "snd_pcm_get_params") && Find(&writei, "snd_pcm_writei") &&
                       Find(&recover, "snd_pcm_recover") && Find(&state, "snd_pcm_state") &&
                       Find(&pause, "snd_pcm_pause") && Find(&drop, "snd_pcm_drop") &&
                       Find(&prepare, "snd_pcm_prepare") && Find(&drain, "snd_pcm_drain") &&
                       Find(&delay, "snd_pcm_delay") && Find(&close, "snd_pcm_close");
    if (!found) {
      dlclose(handle);
      handle = nullptr;
    }
    return found;
  }

 private:
  template <typename Function>
  bool Find(Function* function, const char* name) {
    *function = reinterpret_cast<Function>(dlsym(handle, name));
    return *function != nullptr;
  }
};

class AlsaBackend : public WaveOutBackend {
 public:
  explicit AlsaBackend(std::string device)
      : device_(device.empty() ? std::string("default") : std::move(device)) {}
  ~AlsaBackend() override { Release(); }

  MMRESULT Open(const WAVEFORMATEX& format) override {
    if (!alsa_.Load()) return MMSYSERR_NODRIVER;
    static std::once_flag silence;
    std::call_once(silence, [this] { alsa_.setErrorHandler(SilentAlsaErrors); });
    frameBytes_ = format.nBlockAlign;
    rate_ = format.nSamplesPerSec;
    int error = alsa_.open(&pcm_, device_.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
    if (error < 0) {
      pcm_ = nullptr;
      return error == -EBUSY ? MMSYSERR_ALLOCATED : MMSYSERR_NODRIVER;
    }
    snd_pcm_format_t sampleFormat =
        format.wBitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    error = alsa_.setParams(pcm_, sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format.nChannels,
                            format.nSamplesPerSec, 1, kLatencyMicros);
    snd_pcm_uframes_t bufferFrames = 0;
    snd_pcm_uframes_t periodFrames = 0;
    if (error == 0) error = alsa_.getParams(pcm_, &bufferFrames, &periodFrames);
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
      snd_pcm_sframes_t written = alsa_.writei(pcm_, pcm, left);
      if (written < 0) {
        // Underrun (the queue ran dry) or suspend: recover and retry; anything
        // else loses the rest of this piece rather than blocking the device.
        if (alsa_.recover(pcm_, static_cast<int>(written), 1) < 0) break;
        continue;
      }
      left -= static_cast<snd_pcm_uframes_t>(written);
      pcm += static_cast<size_t>(written) * frameBytes_;
      Snapshot(static_cast<uint64_t>(written), false);
    }
  }

  void Pause() override {
    if (alsa_.state(pcm_) == SND_PCM_STATE_RUNNING && alsa_.pause(pcm_, 1) == 0) {
      hardwarePaused_ = true;
    }
    // Without hardware pause the ring plays out; we simply stop feeding it.
    Snapshot(0, true);
  }

  void Resume() override {
    if (hardwarePaused_) alsa_.pause(pcm_, 0);
    hardwarePaused_ = false;
    Snapshot(0, false);
  }

  void Discard() override {
    alsa_.drop(pcm_);
    alsa_.prepare(pcm_);
    hardwarePaused_ = false;
    std::lock_guard<std::mutex> lock(snapshotMutex_);
    writtenFrames_ = 0;
    delayFrames_ = 0;
    snapshotTime_ = std::chrono::steady_clock::now();
  }

  void Close() override {
    if (pcm_ == nullptr) return;
    if (hardwarePaused_) {
      alsa_.drop(pcm_);
    } else {
      alsa_.drain(pcm_);  // the last block is heard to its end
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
    if (alsa_.delay(pcm_, &delay) < 0 || delay < 0) delay = 0;
    std::lock_guard<std::mutex> lock(snapshotMutex_);
    writtenFrames_ += addedFrames;
    delayFrames_ = static_cast<uint64_t>(delay);
    paused_ = paused;
    snapshotTime_ = std::chrono::steady_clock::now();
  }

  void Release() {
    if (pcm_ != nullptr) alsa_.close(pcm_);
    pcm_ = nullptr;
  }

  AlsaLibrary alsa_;
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
