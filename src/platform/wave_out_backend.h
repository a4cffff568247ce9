// What a waveOut device plays into. The device (wave_out_device.h) owns the
// queue, the callback thread, volume and position; a backend only takes PCM
// pieces on that thread and says how far playback has got.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio_backend_setting.h"
#include "platform/wave_out.h"

namespace pocketmidi {

class WaveOutBackend {
 public:
  virtual ~WaveOutBackend() = default;

  // Host thread, inside waveOutOpen. MMSYSERR_NOERROR, or the reason the device
  // cannot be opened with this format.
  virtual MMRESULT Open(const WAVEFORMATEX& format) = 0;

  // Largest piece Play takes at once, a whole number of frames; 0: no limit.
  virtual uint32_t ChunkBytes() const = 0;

  // True when the device must pace pieces in real time itself (the backend
  // takes them instantly but stands for a device that plays them).
  virtual bool PacedByClock() const { return false; }

  // Callback thread: plays one piece, volume already applied. May block until
  // the hardware has room for it.
  virtual void Play(const uint8_t* pcm, uint32_t bytes) = 0;

  // Callback thread: playback paused / resumed at the current position.
  virtual void Pause() {}
  virtual void Resume() {}

  // Callback thread: a reset dropped everything; what the backend still holds
  // is discarded and its position goes back to zero.
  virtual void Discard() {}

  // After the callback thread has ended: let what is buffered play out and
  // release the device (a WAV file is finalised here).
  virtual void Close() = 0;

  // Bytes actually heard, given the bytes handed to Play since the last
  // Discard. Called with the device lock held, from any thread.
  virtual uint64_t PlayedBytes(uint64_t handedBytes) const { return handedBytes; }
};

// The virtual devices (null, fast, wav).
std::unique_ptr<WaveOutBackend> CreateVirtualBackend(const AudioBackendSetting& setting);
// ALSA; device is the PCM name ("default" when empty).
std::unique_ptr<WaveOutBackend> CreateAlsaBackend(const std::string& device);

}  // namespace pocketmidi
