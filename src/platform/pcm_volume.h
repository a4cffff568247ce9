// The device volume as a device applies it to what it plays: every sample
// times level / 65535, truncated toward zero; 8-bit samples are unsigned
// around 128. The low word of the volume is the left level, the high word the
// right level; a mono device uses the left level only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/byte_order.h"

namespace pocketmidi {

constexpr uint32_t kFullVolume = 0xFFFFFFFFu;

inline int32_t ScaleSample16(int32_t sample, uint32_t level) {
  // |sample| * 65535 < 2^31: no overflow; '/' truncates toward zero.
  return sample * static_cast<int32_t>(level) / 65535;
}

inline int32_t ScaleSample8(int32_t sample, uint32_t level) {
  return (sample - 128) * static_cast<int32_t>(level) / 65535 + 128;
}

// Scales pcm in place. Only whole samples are touched; a trailing partial
// sample (a block length that is not a whole number of samples) passes as is.
// channels 2: samples alternate left, right.
inline void ApplyVolume(uint8_t* pcm, size_t bytes, uint32_t bitsPerSample, uint32_t channels,
                        uint32_t volume) {
  uint32_t levels[2] = {volume & 0xFFFF, channels == 2 ? volume >> 16 : volume & 0xFFFF};
  if (levels[0] == 0xFFFF && levels[1] == 0xFFFF) return;  // identity
  if (bitsPerSample == 16) {
    size_t count = bytes / 2;
    for (size_t i = 0; i < count; ++i) {
      uint8_t* p = pcm + 2 * i;
      int32_t sample = static_cast<int16_t>(LoadLe16(p));  // PCM is little-endian
      int32_t scaled = ScaleSample16(sample, levels[i & 1]);
      StoreLe16(p, static_cast<uint16_t>(scaled));
    }
  } else if (bitsPerSample == 8) {
    for (size_t i = 0; i < bytes; ++i) {
      pcm[i] = static_cast<uint8_t>(ScaleSample8(pcm[i], levels[i & 1]));
    }
  }
}

}  // namespace pocketmidi
