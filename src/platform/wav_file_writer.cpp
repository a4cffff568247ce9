#include "platform/wav_file_writer.h"

#include <cstring>

#include "io/byte_order.h"

namespace pocketmidi {
namespace {

// Largest data chunk whose RIFF size (data + pad byte + 36) still fits 32 bits.
constexpr uint32_t kMaxDataBytes = 0xFFFFFFFEu - 36;

}  // namespace

void BuildWavHeader(const WAVEFORMATEX& format, uint32_t dataBytes, uint8_t header[44]) {
  std::memcpy(header, "RIFF", 4);
  StoreLe32(header + 4, dataBytes + (dataBytes & 1) + 36);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  StoreLe32(header + 16, 16);
  StoreLe16(header + 20, format.wFormatTag);
  StoreLe16(header + 22, format.nChannels);
  StoreLe32(header + 24, format.nSamplesPerSec);
  StoreLe32(header + 28, format.nAvgBytesPerSec);
  StoreLe16(header + 32, format.nBlockAlign);
  StoreLe16(header + 34, format.wBitsPerSample);
  std::memcpy(header + 36, "data", 4);
  StoreLe32(header + 40, dataBytes);
}

WavFileWriter::~WavFileWriter() { Finish(); }

bool WavFileWriter::Open(const std::string& path, const WAVEFORMATEX& format) {
  Finish();
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) return false;
  format_ = format;
  dataBytes_ = 0;
  uint8_t header[kWavHeaderBytes];
  BuildWavHeader(format_, 0, header);
  if (std::fwrite(header, 1, sizeof(header), file_) != sizeof(header)) {
    std::fclose(file_);
    file_ = nullptr;
    return false;
  }
  return true;
}

void WavFileWriter::Append(const uint8_t* pcm, uint32_t bytes) {
  if (file_ == nullptr) return;
  uint32_t room = kMaxDataBytes - dataBytes_;
  if (bytes > room) bytes = room;
  dataBytes_ += static_cast<uint32_t>(std::fwrite(pcm, 1, bytes, file_));
}

void WavFileWriter::Finish() {
  if (file_ == nullptr) return;
  // RIFF chunks are word-aligned: an odd data size gets a pad byte.
  if (dataBytes_ & 1) std::fputc(0, file_);
  uint8_t header[kWavHeaderBytes];
  BuildWavHeader(format_, dataBytes_, header);
  if (std::fseek(file_, 0, SEEK_SET) == 0) std::fwrite(header, 1, sizeof(header), file_);
  std::fclose(file_);
  file_ = nullptr;
}

}  // namespace pocketmidi
