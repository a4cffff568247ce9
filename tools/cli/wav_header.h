// The canonical 44-byte header of a PCM WAV file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "output/audio_format.h"

namespace pocketmidi::cli {

constexpr size_t kWavHeaderBytes = 44;

// The header for dataBytes of PCM. A RIFF size field holds 32 bits; longer
// data (or ~0 for "unknown", as on a pipe) keep the largest size.
void WavHeader(const AudioFormat& format, uint64_t dataBytes, uint8_t (&header)[kWavHeaderBytes]);

}  // namespace pocketmidi::cli
