#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "instruments/instrument.h"
#include "synth/synth_engine.h"
#include "voice/anti_alias.h"
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

TEST(AntiAlias, TapsOfS2SumTo32818AndNoSetCanOverflow) {
  int32_t s2 = 0;
  for (int32_t q : Taps(22050, 44100)) s2 += q;
  EXPECT_EQ(s2, 32818);
  EXPECT_EQ(Taps(22050, 44100), Taps(11025, 22050));  // same ratio, same set
  for (const AntiAliasPair& pair : kAntiAliasPairs) {
    int32_t sum = 0, magnitude = 0;
    for (int32_t q : Taps(pair.outputRate, pair.sampleRate)) {
      sum += q;
      magnitude += q < 0 ? -q : q;
    }
    EXPECT_NEAR(sum, 32768, 328) << pair.outputRate << "/" << pair.sampleRate;
    EXPECT_LT(magnitude * 32768LL, 1LL << 31) << "the 32-bit accumulator";
  }
}

TEST(AntiAlias, PairsWithoutFilterAreUnchanged) {
  const struct { uint32_t output; int32_t sample; } cases[] = {
      {22050, 22050}, {44100, 22050}, {32000, 44100}, {8000, 12000}, {22050, 0}};
  const std::vector<int16_t> points = Noise(300, 7);
  for (const auto& c : cases) {
    EXPECT_EQ(Filter(points, c.output, c.sample), points) << c.output << "/" << c.sample;
  }
}

// The sliding 1024-point work buffer is invisible: across its refills, and
// for samples shorter than the filter, the result equals the filter
// computed from a full copy with zeros outside the data.
TEST(AntiAlias, SlidingBufferMatchesFullCopy) {
  const size_t lengths[] = {1, 5, 19, 20, 21, 1023, 1024, 1025, 1034, 1035, 2028, 2029, 2038, 5000};
  for (const AntiAliasPair& pair : kAntiAliasPairs) {
    const std::vector<int32_t> q = Taps(pair.outputRate, pair.sampleRate);
    for (size_t length : lengths) {
      const std::vector<int16_t> x = Noise(length, static_cast<uint32_t>(length + pair.outputRate));
      std::vector<int16_t> expected(length);
      for (int64_t n = 0; n < static_cast<int64_t>(length); ++n) {
        int64_t acc = 0;
        for (int k = 0; k < kAntiAliasTaps; ++k) {
          const int64_t j = n - 10 + k;
          if (j >= 0 && j < static_cast<int64_t>(length)) acc += q[k] * x[j];
        }
        expected[n] = static_cast<int16_t>(std::clamp<int64_t>(acc, -1073741824, 1073741823) >> 15);
      }
      EXPECT_EQ(Filter(x, pair.outputRate, static_cast<int32_t>(pair.sampleRate)), expected)
          << pair.outputRate << "/" << pair.sampleRate << " length " << length;
    }
  }
}

// The sliding buffer test compares against the same taps; here the result is
// pinned on its own.
TEST(AntiAlias, ConstantSignalAndClamping) {
  const std::vector<int16_t> y = Filter(std::vector<int16_t>(1000, 10000), 22050, 44100);
  EXPECT_EQ(y[10], 10015);  // (32818 * 10000) >> 15: the taps' slight gain
  // Full scale matched to the taps' signs overflows 15 bits and is clamped.
  const std::vector<int32_t> q = Taps(8000, 11025);
  std::vector<int16_t> x(kAntiAliasTaps);
  for (int k = 0; k < kAntiAliasTaps; ++k) x[k] = q[k] >= 0 ? 32767 : -32768;
  EXPECT_EQ(Filter(x, 8000, 11025)[10], 32767);
  for (auto& p : x) p = static_cast<int16_t>(-1 - p);
  EXPECT_EQ(Filter(x, 8000, 11025)[10], -32768);
}

}  // namespace
}  // namespace pocketmidi
