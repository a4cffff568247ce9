// The load-time anti-alias filter. The golden render pins its output for the
// common rate pairs; here: the gain and headroom of every tap set (a song
// uses only some), and the sliding work buffer against a direct convolution,
// short samples and the clamp included.
#include "voice/anti_alias.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "instruments/instrument.h"
#include "synth/synth_engine.h"
#include "voice/anti_alias_coefficients.h"

namespace pocketmidi {
namespace {

std::vector<int32_t> Taps(uint32_t outputRate, uint32_t sampleRate) {
  std::vector<int32_t> taps(kAntiAliasTaps);
  AntiAliasQ15Taps(FindAntiAliasFilter(outputRate, sampleRate), taps.data());
  return taps;
}

std::vector<int16_t> Noise(size_t count, uint32_t seed) {
  std::vector<int16_t> points(count);
  for (auto& p : points) p = static_cast<int16_t>((seed = seed * 1664525u + 1013904223u) >> 16);
  return points;
}

// Filters as the loader does (length still in bytes).
std::vector<int16_t> Filter(std::vector<int16_t> points, uint32_t outputRate, int32_t sampleRate) {
  const SynthEngine engine(nullptr);
  PatchSample sample{};
  sample.sampleRate = sampleRate;
  sample.dataLength = static_cast<int32_t>(points.size() * 2);
  sample.data = points.data();
  AntiAliasSample(engine, sample, outputRate);
  return points;
}

// Unity gain within 1 %, and twenty full-scale products always fit the
// 32-bit accumulator.
TEST(AntiAlias, EveryTapSetHasUnityGainAndHeadroom) {
  for (const AntiAliasPair& pair : kAntiAliasPairs) {
    int32_t sum = 0, magnitude = 0;
    for (int32_t q : Taps(pair.outputRate, pair.sampleRate)) {
      sum += q;
      magnitude += q < 0 ? -q : q;
    }
    EXPECT_NEAR(sum, 32768, 328) << pair.outputRate << "/" << pair.sampleRate;
    EXPECT_LT(magnitude * 32768LL, 1LL << 31) << pair.outputRate << "/" << pair.sampleRate;
  }
}

// The 1024-point work buffer is invisible: across its refills, and for
// samples shorter than the filter, the result equals the filter computed
// from a full copy with zeros outside the data. The second signal follows
// the taps' signs at full scale, so the clamp is reached.
TEST(AntiAlias, SlidingBufferMatchesDirectConvolution) {
  const size_t lengths[] = {5, 20, 21, 1024, 1025, 1034, 1035, 2029, 5000};
  for (const AntiAliasPair& pair : kAntiAliasPairs) {
    const std::vector<int32_t> q = Taps(pair.outputRate, pair.sampleRate);
    for (size_t length : lengths) {
      std::vector<int16_t> loud(length);
      for (size_t j = 0; j < length; ++j) loud[j] = q[j % kAntiAliasTaps] >= 0 ? 32767 : -32768;
      for (const std::vector<int16_t>& x : {Noise(length, static_cast<uint32_t>(length)), loud}) {
        std::vector<int16_t> expected(length);
        for (int64_t n = 0; n < static_cast<int64_t>(length); ++n) {
          int64_t acc = 0;
          for (int k = 0; k < kAntiAliasTaps; ++k) {
            const int64_t j = n - kAntiAliasHalfTaps + k;
            if (j >= 0 && j < static_cast<int64_t>(length)) acc += q[k] * x[j];
          }
          const int64_t clamped = std::clamp<int64_t>(acc, -(1 << 30), (1 << 30) - 1);
          expected[n] = static_cast<int16_t>(clamped >> 15);
        }
        EXPECT_EQ(Filter(x, pair.outputRate, static_cast<int32_t>(pair.sampleRate)), expected)
            << pair.outputRate << "/" << pair.sampleRate << " length " << length;
      }
    }
  }
}

}  // namespace
}  // namespace pocketmidi
