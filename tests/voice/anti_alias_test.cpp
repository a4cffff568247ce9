#include <gtest/gtest.h>

#include <cstdlib>
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

// The filter as defined: every output from a full copy of the input, zeros
// outside the data.
std::vector<int16_t> ReferenceFilter(const std::vector<int16_t>& x, const std::vector<int32_t>& q) {
  std::vector<int16_t> y(x.size());
  const int64_t n = static_cast<int64_t>(x.size());
  for (int64_t i = 0; i < n; ++i) {
    int64_t acc = 0;
    for (int k = 0; k < kAntiAliasTaps; ++k) {
      const int64_t j = i - 10 + k;
      if (j >= 0 && j < n) acc += q[k] * x[j];
    }
    if (acc > 1073741823) acc = 1073741823;
    if (acc < -1073741824) acc = -1073741824;
    y[i] = static_cast<int16_t>(acc >> 15);
  }
  return y;
}

std::vector<int16_t> Noise(size_t count, uint32_t seed) {
  std::vector<int16_t> points(count);
  for (auto& p : points) {
    seed = seed * 1664525u + 1013904223u;
    p = static_cast<int16_t>(seed >> 16);
  }
  return points;
}

// Runs the filter over points as the loader would (length still in bytes).
std::vector<int16_t> Filter(std::vector<int16_t> points, uint32_t outputRate, int32_t sampleRate) {
  const SynthEngine engine(nullptr);
  PatchSample sample{};
  sample.sampleRate = sampleRate;
  sample.dataLength = static_cast<int32_t>(points.size() * 2);
  sample.data = points.data();
  AntiAliasSample(engine, sample, outputRate);
  EXPECT_EQ(sample.dataLength, static_cast<int32_t>(points.size() * 2));
  return points;
}

TEST(AntiAliasTaps, S2SumsTo32818AndNoSetCanOverflow) {
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
    EXPECT_LT(magnitude * 32768LL, 1LL << 31) << "32-bit accumulator";
  }
}

TEST(AntiAlias, PairsWithoutFilterAreUnchanged) {
  const struct { uint32_t output; int32_t sample; } cases[] = {
      {22050, 22050}, {44100, 22050}, {32000, 44100}, {8000, 8000}, {8000, 12000}, {22050, 0},
  };
  const std::vector<int16_t> points = Noise(300, 7);
  for (const auto& c : cases) {
    EXPECT_EQ(Filter(points, c.output, c.sample), points) << c.output << "/" << c.sample;
  }
}

// The sliding 1024-point work buffer is invisible: every length, across the
// buffer's refills and for samples shorter than the filter, matches the
// filter computed from a full copy.
TEST(AntiAlias, SlidingBufferMatchesFullCopy) {
  const size_t lengths[] = {1, 5, 19, 20, 21, 1023, 1024, 1025, 1034, 1035, 2028, 2029, 2038, 5000};
  for (const AntiAliasPair& pair : kAntiAliasPairs) {
    const std::vector<int32_t> q = Taps(pair.outputRate, pair.sampleRate);
    for (size_t length : lengths) {
      const std::vector<int16_t> x = Noise(length, static_cast<uint32_t>(length + pair.outputRate));
      EXPECT_EQ(Filter(x, pair.outputRate, static_cast<int32_t>(pair.sampleRate)),
                ReferenceFilter(x, q))
          << pair.outputRate << "/" << pair.sampleRate << " length " << length;
    }
  }
}

TEST(AntiAlias, ConstantSignalKeepsItsLevelInsideAndFallsOffAtTheEnds) {
  const std::vector<int16_t> y = Filter(std::vector<int16_t>(1000, 10000), 22050, 44100);
  EXPECT_EQ(y[500], (32818 * 10000) >> 15);  // 10015: the taps' slight gain
  EXPECT_EQ(y[10], 10015);
  EXPECT_EQ(y[989], 10015);
  EXPECT_NE(y[0], 10015);
  EXPECT_NE(y[999], 10015);
}

TEST(AntiAlias, AccumulatorIsClampedToFifteenBits) {
  const std::vector<int32_t> q = Taps(8000, 11025);
  std::vector<int16_t> x(kAntiAliasTaps);
  for (int k = 0; k < kAntiAliasTaps; ++k) x[k] = q[k] >= 0 ? 32767 : -32768;
  EXPECT_EQ(Filter(x, 8000, 11025)[10], 32767);
  for (auto& p : x) p = static_cast<int16_t>(-1 - p);
  EXPECT_EQ(Filter(x, 8000, 11025)[10], -32768);
}

}  // namespace
}  // namespace pocketmidi
