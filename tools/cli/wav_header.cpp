#include "cli/wav_header.h"

#include "io/byte_order.h"

namespace pocketmidi::cli {

bool WriteWavHeader(FILE* out, const AudioFormat& format, uint64_t dataBytes) {
  // A RIFF size field holds 32 bits; longer data keep the largest size.
  const uint32_t data = dataBytes > 0xFFFFFFFFull - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(dataBytes);
  const uint16_t blockAlign = static_cast<uint16_t>(format.channels * format.bitsPerSample / 8);
  uint8_t h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  StoreLe32(h + 4, 36 + data);
  StoreLe32(h + 16, 16);
  StoreLe16(h + 20, 1);  // PCM
  StoreLe16(h + 22, static_cast<uint16_t>(format.channels));
  StoreLe32(h + 24, format.sampleRate);
  StoreLe32(h + 28, format.sampleRate * blockAlign);
  StoreLe16(h + 32, blockAlign);
  StoreLe16(h + 34, static_cast<uint16_t>(format.bitsPerSample));
  h[36] = 'd';
  h[37] = 'a';
  h[38] = 't';
  h[39] = 'a';
  StoreLe32(h + 40, data);
  return std::fwrite(h, 1, sizeof h, out) == sizeof h;
}

bool FinishWavHeader(FILE* out, const AudioFormat& format, uint64_t dataBytes) {
  return std::fseek(out, 0, SEEK_SET) == 0 && WriteWavHeader(out, format, dataBytes);
}

}  // namespace pocketmidi::cli
