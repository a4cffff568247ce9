// Sample-rate reduction for imported samples: band-limited (windowed sinc)
// so that a 44.1 kHz recording taken down to 22.05 kHz does not fold its
// upper octave back into the audible band.
#pragma once

#include <cstdint>
#include <vector>

namespace pocketmidi::soundset {

// Resamples by ratio = output rate / input rate (0 < ratio <= 1); output
// point j sits at input position j / ratio. Points outside the input count
// as 0. The result has ceil(size * ratio) points, clamped to 16 bits.
std::vector<int16_t> ResampleDown(const std::vector<int16_t>& points, double ratio);

}  // namespace pocketmidi::soundset
