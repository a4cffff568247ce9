// The canonical 44-byte header of a PCM WAV file.
#pragma once

#include <cstdint>
#include <cstdio>

#include "output/audio_format.h"

namespace pocketmidi::cli {

// Writes the header for dataBytes of PCM at the current position.
bool WriteWavHeader(FILE* out, const AudioFormat& format, uint64_t dataBytes);

// Rewrites the header at the start of the file once the data size is known.
bool FinishWavHeader(FILE* out, const AudioFormat& format, uint64_t dataBytes);

}  // namespace pocketmidi::cli
