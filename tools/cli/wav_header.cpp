#include "cli/wav_header.h"

#include "io/byte_order.h"

namespace pocketmidi::cli {

void WavHeader(const AudioFormat& format, uint64_t dataBytes, uint8_t (&h)[kWavHeaderBytes]) {
  const uint32_t data = dataBytes > 0xFFFFFFFFull - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(dataBytes);
  const uint16_t blockAlign = static_cast<uint16_t>(format.channels * format.bitsPerSample / 8);
  const uint8_t start[16] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  for (int i = 0; i < 16; ++i) h[i] = start[i];
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
}

}  // namespace pocketmidi::cli
