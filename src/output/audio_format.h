// The PCM format a decoder produces and the sink plays.
#pragma once

#include <cstdint>

namespace pocketmidi {

struct AudioFormat {
  uint32_t formatCode;     // 1 or 2: linear PCM (the MIDI decoder reports 2)
  uint32_t channels;       // 1 mono, 2 stereo (0 at the sink: the device's default)
  uint32_t sampleRate;     // Hz per channel (0 at the sink: the device's default)
  uint32_t bitsPerSample;  // 8 or 16 (0 at the sink: 8)
};
static_assert(sizeof(AudioFormat) == 16, "four 32-bit values");

}  // namespace pocketmidi
