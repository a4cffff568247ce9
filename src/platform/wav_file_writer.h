// Writes PCM to a canonical WAV file: a 44-byte header (RIFF, "fmt " of 16
// bytes, "data") followed by the samples. The sizes in the header are filled
// in by Finish; data beyond what a 32-bit RIFF size can describe is dropped.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/wave_out.h"

namespace pocketmidi {

constexpr uint32_t kWavHeaderBytes = 44;

// The 44 header bytes for dataBytes of PCM in format.
void BuildWavHeader(const WAVEFORMATEX& format, uint32_t dataBytes, uint8_t header[44]);

class WavFileWriter {
 public:
  WavFileWriter() = default;
  ~WavFileWriter();  // finishes the file if still open
  WavFileWriter(const WavFileWriter&) = delete;
  WavFileWriter& operator=(const WavFileWriter&) = delete;

  bool Open(const std::string& path, const WAVEFORMATEX& format);
  void Append(const uint8_t* pcm, uint32_t bytes);
  // Writes the final sizes and closes the file.
  void Finish();

 private:
  std::FILE* file_ = nullptr;
  WAVEFORMATEX format_{};
  uint32_t dataBytes_ = 0;
};

}  // namespace pocketmidi
