// Size of one of the player's PCM buffers: 400 ms of audio in the decoder's
// format, rounded up to a multiple of 32 bytes (22050 Hz 16-bit stereo gives
// 35296). The tool renders with the same size so its output is cut exactly
// as playback cuts it.
#pragma once

#include <cstdint>

#include "output/audio_format.h"

namespace pocketmidi {

inline uint32_t PlayerBufferBytes(const AudioFormat& format) {
  // 32-bit arithmetic, truncated, as the player computes it.
  const uint32_t bytes = (format.sampleRate * format.bitsPerSample * format.channels) / 20;
  return (bytes + 31u) & ~31u;
}

}  // namespace pocketmidi
