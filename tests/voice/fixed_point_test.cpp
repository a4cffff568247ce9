#include "voice/fixed_point.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace pocketmidi {
namespace {

struct MulShiftCase {
  int32_t a, b;
  int k;
  int32_t expected;
};

TEST(MulShiftTest, PinnedProducts) {
  const MulShiftCase cases[] = {
      {2048383, 268435456, 21, 262193024},  // full velocity/volume/expression, 1.0
      {2048383, 268435456, 20, 524386048},  // single side: twice
      {2048383, 268435456, 27, 4096766},    // Spread's per-pan-unit amplitude
      {262193024, 268435456, 28, 262193024},
      {262193024, 4194304, 28, 4096766},    // envelope floor, 1/64
      {0xFFFF, 0xFFFF, 20, 0},              // the low product is dropped
      {-65536, 65536, 20, -4096},           // arithmetic high halves
      {65535, -65536, 20, 268431360},       // mid shifted logically
  };
  for (const MulShiftCase& c : cases) {
    EXPECT_EQ(MulShift(c.a, c.b, c.k), c.expected) << c.a << " * " << c.b << " >> " << c.k;
  }
}

// The 64-bit form must not change any product the 32-bit form can hold.
TEST(MulShiftTest, WideFormEqualsPlainFormWheneverTheResultFits) {
  std::mt19937 rng(7);
  const int shifts[] = {20, 21, 27, 28};
  int compared = 0;
  for (int i = 0; i < 400000; ++i) {
    const int k = shifts[i & 3];
    // Alternate between the amplitude domain (t and volume) and the whole
    // non-negative int32 range.
    const int32_t a = static_cast<int32_t>((i & 4) ? rng() % 2048384 : rng() & 0x7FFFFFFF);
    const int32_t b = static_cast<int32_t>(rng() & 0x7FFFFFFF);
    const int64_t wide = MulShiftWide(a, static_cast<uint32_t>(b), k);
    if (wide > INT32_MAX) continue;
    ++compared;
    ASSERT_EQ(wide, MulShift(a, b, k)) << a << " * " << b << " >> " << k;
  }
  EXPECT_GT(compared, 100000);
}

TEST(MulShiftTest, WideFormKeepsVolumesFromTwoToTheThirtyOnePositive) {
  // 800 %: eight times the 1.0 amplitude, where the 32-bit form goes negative.
  EXPECT_EQ(MulShiftWide(2048383, 0x80000000u, 21), 8 * 262193024LL);
  EXPECT_LT(MulShift(2048383, INT32_MIN, 21), 0);
  EXPECT_EQ(MulShiftWide(2048383, 0x80000000u, 20), 16 * 262193024LL);
  EXPECT_EQ(MulShiftWide(2048383, 0xFFFFFFFFu, 21), 4195087859LL);
}

TEST(Sine1024Test, QuadrantsAndNegativeArguments) {
  const int32_t x[] = {0, 256, 512, 768, 1024, -256, -768, 128, 384, 640, 896, 1023};
  const int32_t expected[] = {0, 268435456, 0, -268435456, 0, -268435456, 268435456,
                              SineTable[128], SineTable[128], -SineTable[128], -SineTable[128],
                              -SineTable[1]};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(Sine1024(x[i]), expected[i]) << x[i];
  for (int32_t v = -2048; v < 2048; ++v) {
    ASSERT_EQ(Sine1024(v), -Sine1024(v + 512)) << v;
    ASSERT_EQ(Sine1024(v), Sine1024(v + 1024)) << v;
  }
}

}  // namespace
}  // namespace pocketmidi
