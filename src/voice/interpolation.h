// Linear interpolation of runs of source points. A run is a stretch of output
// points between two events of the resampling procedures (a loop boundary, a
// vibrato step, the end of the block); its length is computed once and the
// per-point loop then has no test in it.
#pragma once

#include <cstdint>

#include "instruments/instrument.h"
#include "voice/fixed_point.h"
#include "voice/kernel_set.h"

namespace pocketmidi {

// The points a resampler may read: indices 0..lastIndex. The loader stores one
// guard point (a copy of the last point) after the data, so for a whole-point
// data length the guard is at index dataLength >> 12. A data length with a
// fraction (a tail stripped at a fractional loop end) rounds up: the point
// after it is still real data, and interpolating towards it keeps the sound
// of the unstripped sample.
struct SampleWindow {
  const int16_t* data;
  int32_t lastIndex;
  int64_t fastLimit;  // positions below this read two points, both in range
};

inline SampleWindow MakeSampleWindow(const PatchSample& sample) {
  int64_t last = PointIndexRoundedUp(sample.dataLength);
  if (last < 0) last = 0;
  return SampleWindow{sample.data, static_cast<int32_t>(last), PointsToPosition(last)};
}

// Number of output points before a position moving by step reaches boundary,
// by the truncating formula (boundary - position + step - 1) / step: for a
// forward step the positions below the boundary, for a backward step also the
// boundary itself (and, when the step divides the distance plus one, the
// position just below it). The result is cut to [0, wanted]. A zero step
// never reaches anything and fills all wanted points in place.
inline int32_t RunLength(int64_t boundary, int64_t position, int64_t step, int32_t wanted) {
  if (step == 0) return wanted;
  const int64_t n = (boundary - position + step - 1) / step;
  if (n <= 0) return 0;
  return n < wanted ? static_cast<int32_t>(n) : wanted;
}

// The same point read through indices held inside the window: an index past
// the guard reads the guard (a ping-pong turn exactly on a loop end at the end
// of the data, weight 0), an index below 0 reads point 0 (a backward run over
// a loop starting at point 0 renders the position just below it).
inline int16_t InterpolateClamped(const SampleWindow& window, int64_t position) {
  int64_t index = PointIndex(position);
  int64_t next = index + 1;
  index = index < 0 ? 0 : (index > window.lastIndex ? window.lastIndex : index);
  next = next < 0 ? 0 : (next > window.lastIndex ? window.lastIndex : next);
  return InterpolateQ12(window.data[index], window.data[next], PointWeight(position));
}

// Renders n points from position into out and advances position by n steps.
// Positions move monotonically within a run, so checking the first and the
// last one decides whether the plain loop can run; only runs touching the
// edges of the window take the clamped one. Inside the window every position
// is below 2^31, which the vector kernels rely on.
inline void InterpolateRun(InterpolateFn interpolate, const SampleWindow& window,
                           int64_t& position, int64_t step, int16_t* out, int32_t n) {
  if (n <= 0) return;
  int64_t pos = position;
  const int64_t last = pos + step * (n - 1);
  const int64_t low = step < 0 ? last : pos;
  const int64_t high = step < 0 ? pos : last;
  if (low >= 0 && high < window.fastLimit) {
    interpolate(window.data, static_cast<int32_t>(pos), static_cast<int32_t>(step), out, n);
    pos = last + step;
  } else {
    for (int32_t i = 0; i < n; ++i) {
      out[i] = InterpolateClamped(window, pos);
      pos += step;
    }
  }
  position = pos;
}

}  // namespace pocketmidi
