// The sink over the waveOut device. It copies no audio: each block is wrapped
// in one of two headers, used in turn, and queued as it is.
#pragma once

#include <atomic>
#include <cstdint>

#include "output/audio_sink.h"
#include "platform/wave_out.h"

namespace pocketmidi {

class WaveOutSink : public AudioSink {
 public:
  WaveOutSink() = default;
  // Does not touch the device: Close it first.
  ~WaveOutSink() override = default;
  WaveOutSink(const WaveOutSink&) = delete;
  WaveOutSink& operator=(const WaveOutSink&) = delete;

  int32_t Open(const AudioFormat* format, SinkEventFunction eventFunction, void* user) override;
  int32_t Write(const void* data, int32_t length) override;
  int32_t Pause() override;
  int32_t Restart() override;
  int32_t Reset() override;
  int32_t Close() override;
  int32_t SetVolume(int32_t percent) override;
  int32_t GetVolume() override;
  int32_t GetPosition() override;
  HWAVEOUT GetHandle() override { return device_; }
  bool HoldsBlocks() override;

  // Read-only views of the sink's state: the header the next Write uses, the
  // two headers, and whether completions are being dropped (from Reset until
  // the next Write).
  uint32_t nextHeader() const { return nextHeader_; }
  const WAVEHDR& header(int index) const { return headers_[index & 1]; }
  bool discardingCompletions() const { return discardCompletions_.load() != 0; }

 private:
  static void DeviceProcedure(HWAVEOUT device, uint32_t message, uintptr_t instance,
                              uintptr_t param1, uintptr_t param2);

  SinkEventFunction eventFunction_ = nullptr;
  void* user_ = nullptr;
  HWAVEOUT device_ = nullptr;
  WAVEHDR headers_[2] = {};
  uint32_t nextHeader_ = 0;
  // Written by Reset on the client's thread, read on the callback thread: an
  // atomic, so the store made before waveOutReset is seen by the completions
  // the reset causes.
  std::atomic<uint32_t> discardCompletions_{0};
};

}  // namespace pocketmidi
