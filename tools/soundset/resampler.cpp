#include "soundset/resampler.h"

#include <algorithm>
#include <cmath>

namespace pocketmidi::soundset {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kZeroCrossings = 16;  // sinc lobes kept on each side

constexpr int kTableSteps = 512;  // kernel entries per zero crossing

double Blackman(double x) {  // x in -1..1
  return 0.42 + 0.5 * std::cos(kPi * x) + 0.08 * std::cos(2 * kPi * x);
}

// The windowed sinc against its argument in zero crossings, 0..kZeroCrossings,
// tabulated once per call so the inner loop needs no transcendental functions.
std::vector<double> KernelTable() {
  std::vector<double> table(kZeroCrossings * kTableSteps + 2, 0.0);
  for (int i = 0; i <= kZeroCrossings * kTableSteps; ++i) {
    const double u = static_cast<double>(i) / kTableSteps;
    const double sinc = i == 0 ? 1.0 : std::sin(kPi * u) / (kPi * u);
    table[i] = sinc * Blackman(u / kZeroCrossings);
  }
  return table;
}

}  // namespace

std::vector<int16_t> ResampleDown(const std::vector<int16_t>& points, double ratio) {
  if (!(ratio > 0.0) || ratio >= 1.0) return points;
  const size_t outCount = static_cast<size_t>(std::ceil(points.size() * ratio));
  std::vector<int16_t> out(outCount);
  const std::vector<double> kernel = KernelTable();
  // Cut a little below the new Nyquist frequency so the window's transition
  // band stays mostly under it.
  const double crossingsPerPoint = 0.9 * ratio;  // twice the cutoff in cycles per point
  const double halfWidth = kZeroCrossings / crossingsPerPoint;
  const int64_t count = static_cast<int64_t>(points.size());
  for (size_t j = 0; j < outCount; ++j) {
    const double center = j / ratio;
    const int64_t first = std::max<int64_t>(0, static_cast<int64_t>(std::ceil(center - halfWidth)));
    const int64_t last = std::min<int64_t>(count - 1, static_cast<int64_t>(center + halfWidth));
    double sum = 0.0;
    for (int64_t i = first; i <= last; ++i) {
      const double at = std::abs(i - center) * crossingsPerPoint * kTableSteps;
      const size_t index = static_cast<size_t>(at);
      if (index >= kernel.size() - 1) continue;
      const double frac = at - index;
      sum += points[i] * (kernel[index] + frac * (kernel[index + 1] - kernel[index]));
    }
    sum *= crossingsPerPoint;
    out[j] = static_cast<int16_t>(std::clamp(std::lround(sum), -32768L, 32767L));
  }
  return out;
}

}  // namespace pocketmidi::soundset
