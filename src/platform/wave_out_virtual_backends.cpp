// The devices that need no sound card: null (plays into nothing at the speed
// of a real device), fast (plays into nothing at once) and wav (as fast, and
// records what it played to a WAV file).
#include <memory>

#include "platform/wav_file_writer.h"
#include "platform/wave_out_backend.h"

namespace pocketmidi {
namespace {

class NullBackend : public WaveOutBackend {
 public:
  MMRESULT Open(const WAVEFORMATEX& format) override {
    // Pieces of about 10 ms: a reset or close waits at most that long.
    uint32_t align = format.nBlockAlign != 0 ? format.nBlockAlign : 1;
    chunkBytes_ = format.nAvgBytesPerSec / 100 / align * align;
    if (chunkBytes_ == 0) chunkBytes_ = align;
    return MMSYSERR_NOERROR;
  }
  uint32_t ChunkBytes() const override { return chunkBytes_; }
  bool PacedByClock() const override { return true; }
  void Play(const uint8_t*, uint32_t) override {}
  void Close() override {}

 private:
  uint32_t chunkBytes_ = 0;
};

class FastBackend : public WaveOutBackend {
 public:
  MMRESULT Open(const WAVEFORMATEX&) override { return MMSYSERR_NOERROR; }
  uint32_t ChunkBytes() const override { return 0; }
  void Play(const uint8_t*, uint32_t) override {}
  void Close() override {}
};

class WavBackend : public WaveOutBackend {
 public:
  explicit WavBackend(std::string path) : path_(std::move(path)) {}
  MMRESULT Open(const WAVEFORMATEX& format) override {
    return writer_.Open(path_, format) ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
  }
  uint32_t ChunkBytes() const override { return 0; }
  void Play(const uint8_t* pcm, uint32_t bytes) override { writer_.Append(pcm, bytes); }
  void Close() override { writer_.Finish(); }

 private:
  std::string path_;
  WavFileWriter writer_;
};

}  // namespace

std::unique_ptr<WaveOutBackend> CreateVirtualBackend(const AudioBackendSetting& setting) {
  switch (setting.kind) {
    case AudioBackendKind::kNull:
    case AudioBackendKind::kDefault:
      return std::make_unique<NullBackend>();
    case AudioBackendKind::kFast:
      return std::make_unique<FastBackend>();
    case AudioBackendKind::kWav:
      return std::make_unique<WavBackend>(setting.argument);
    case AudioBackendKind::kAlsa:
      break;
  }
  return nullptr;
}

}  // namespace pocketmidi
