// The integer arithmetic under every gain, pitch and timing value. Its
// truncations are part of the rendered output, so they are pinned bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>

#include "voice/fixed_point.h"
#include "voice/voice_tables.h"
#include "voice/wide_math.h"

namespace pocketmidi {
namespace {

uint32_t U(std::mt19937& rng) { return static_cast<uint32_t>(rng()); }
uint64_t Mag(const WideValue& w) { return (static_cast<uint64_t>(w.hi) << 32) | w.lo; }
uint64_t Abs64(int32_t x) { return static_cast<uint64_t>(x < 0 ? -static_cast<int64_t>(x) : x); }
int8_t SignOf(bool negative) { return negative ? -1 : 1; }

TEST(MulShiftTest, PinnedProducts) {
  const struct { int32_t a, b, k, expected; } cases[] = {
      {2048383, 268435456, 21, 262193024},  // full velocity/volume/expression, 1.0
      {2048383, 268435456, 20, 524386048},  // single side: twice
      {2048383, 268435456, 27, 4096766},    // Spread's per-pan-unit amplitude
      {262193024, 268435456, 28, 262193024},
      {262193024, 4194304, 28, 4096766},    // envelope floor, 1/64
      {0xFFFF, 0xFFFF, 20, 0},              // the low product is dropped
      {-65536, 65536, 20, -4096},           // arithmetic high halves
      {65535, -65536, 20, 268431360},       // mid shifted logically
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MulShift(c.a, c.b, c.k), c.expected) << c.a << " * " << c.b << " >> " << c.k;
  }
}

// The 64-bit form must not change any product the 32-bit form can hold, and
// keeps volumes from 2^31 (800 %) positive where the 32-bit form goes negative.
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

// WideMul is exact for every int32 pair, WideMulHigh at most one short in the
// upper word, WideMulBy exact modulo 2^64 for 16-bit factors, shifts exact.
TEST(WideMathTest, ProductsAndShiftsAgainstNativeArithmetic) {
  std::mt19937 rng(1);
  for (int i = 0; i < 200000; ++i) {
    const int32_t edges[] = {INT32_MIN, INT32_MAX, -1, 65536};
    int32_t a = static_cast<int32_t>(U(rng)), b = static_cast<int32_t>(U(rng));
    if (i < 16) {
      a = edges[i & 3];
      b = edges[i >> 2];
    }
    const uint64_t exact = Abs64(a) * Abs64(b);
    const WideValue p = WideMul(a, b), h = WideMulHigh(a, b);
    ASSERT_EQ(Mag(p), exact) << a << " * " << b;
    ASSERT_EQ(p.sign, SignOf((a < 0) != (b < 0)));
    ASSERT_EQ(h.sign, p.sign);
    ASSERT_TRUE(h.hi == p.hi || h.hi + 1 == p.hi) << a << " * " << b;
    ASSERT_EQ(h.lo, 0u);

    const WideValue w{SignOf(i & 1), U(rng), U(rng)};
    const int32_t m = static_cast<int32_t>(U(rng) & 0x1FFFF) - 0xFFFF;
    const WideValue r = WideMulBy(w, m);
    ASSERT_EQ(Mag(r), Mag(w) * Abs64(m));
    ASSERT_EQ(r.sign, m < 0 ? -w.sign : w.sign);

    const int n = 1 + static_cast<int>(U(rng) % 31);
    ASSERT_EQ(Mag(WideShl(w, n)), Mag(w) << n);
    ASSERT_EQ(Mag(WideShr(w, n)), Mag(w) >> n);
    ASSERT_EQ(WideShl(w, n).sign, w.sign);
    ASSERT_EQ(WideShr(w, n).sign, w.sign);
  }
  // Vibrato's values: full depth at the sine peak is 2040/512 semitone,
  // unity ratio 65536, and a Q28 base times a Q16 ratio.
  EXPECT_EQ(WideMulHigh(268435456, 255 * 128).hi, 2040u);
  EXPECT_EQ(WideMulHigh(268435456, 1048576).hi, 65536u);
  EXPECT_EQ(WideMulHigh(0x7FFFFFFF, 0x7FFFFFFF).hi, 0x3FFFFFFEu);  // exact: 0x3FFFFFFF
  const WideValue r = WideMulBy(WideValue{1, 0, 268435456u}, 82495);
  EXPECT_EQ(r.hi, 5155u);
  EXPECT_EQ(r.lo, 0xF0000000u);
}

// Quotients: exact with an empty upper word, at most one short for divisors
// below 32767, and the pinned approximations beyond.
TEST(WideMathTest, DivisionExactWhereItMustBe) {
  std::mt19937 rng(2);
  for (int i = 0; i < 200000; ++i) {
    int32_t d = static_cast<int32_t>(U(rng) >> (U(rng) % 32));
    if (d == 0) d = 7;
    if (i & 1) d = -d;
    const uint32_t lo = U(rng);
    const WideValue q = WideDiv(WideValue{1, 0, lo}, d);
    ASSERT_EQ(q.hi, 0u);
    ASSERT_EQ(q.lo, lo / static_cast<uint32_t>(Abs64(d)));
    ASSERT_EQ(q.sign, SignOf(d < 0));

    const int32_t small = 1 + static_cast<int32_t>(U(rng) % 32766);
    const WideValue w{-1, U(rng) % static_cast<uint32_t>(small), U(rng)};
    const uint64_t exact = Mag(w) / static_cast<uint64_t>(small);
    const WideValue s = WideDiv(w, small);
    ASSERT_EQ(s.hi, 0u);
    ASSERT_TRUE(s.lo == exact || s.lo + 1 == exact) << Mag(w) << " / " << small;
  }
}

TEST(WideMathTest, DivisionPinnedApproximations) {
  const struct { WideValue w; int32_t d; WideValue expected; } cases[] = {
      {{1, 5, 123456789u}, 10000000, {1, 0, 2157}},  // exact 2159
      {{1, 0x12345u, 0x9ABCDEF0u}, INT32_MAX, {1, 0, 149131}},
      {{-1, 77, 1}, -40000, {1, 0, 8267809}},              // exact 8267812
      {{1, 1000, 0xFFFFFFFFu}, 1000000, {1, 0, 4299253}},  // exact 4299262
      {{1, 3, 0}, 3, {1, 1, 0}},
      {{1, 7, 7}, 0, {1, 0, 0}},  // divide by 0: nothing
  };
  for (const auto& c : cases) {
    const WideValue q = WideDiv(c.w, c.d);
    EXPECT_EQ(q.sign, c.expected.sign) << c.d;
    EXPECT_EQ(q.hi, c.expected.hi) << c.d;
    EXPECT_EQ(q.lo, c.expected.lo) << c.d;
  }
  // Frames per tick (16.16) at 22050 Hz, tempo 500000, division 96: exactly
  // 7526400, the chained divisions give 7526392 (songs use that plus one).
  const WideValue p = WideDiv(WideDiv(WideShl(WideMul(500000, 22050), 16), 96), 1000000);
  EXPECT_EQ(p.hi, 0u);
  EXPECT_EQ(p.lo, 7526392u);
}

TEST(VoiceTablesTest, EveryEntryIsItsRuleRoundedToNearest) {
  const long double kPi = 3.141592653589793238462643383279502884L;
  const struct {
    const char* name;
    const int32_t* table;
    int size;
    std::function<long double(int)> rule;
  } rules[] = {
      {"NoteFreqTable", NoteFreqTable, 128,
       [](int n) { return 440000.0L * std::pow(2.0L, (n - 69) / 12.0L); }},
      {"BendFineTable", BendFineTable, 256,
       [](int i) { return std::ldexp(std::pow(2.0L, i / 3072.0L), 28); }},
      {"BendCoarseTable", BendCoarseTable, 128,
       [](int i) { return std::ldexp(std::pow(2.0L, i / 12.0L), 20); }},
      {"SineTable", SineTable, 257,
       [kPi](int i) { return std::ldexp(std::sin(kPi * i / 512.0L), 28); }},
      {"EnvGainTable", EnvGainTable, 128,
       [](int i) { return std::pow(2.0L, 22.0L + 6.0L * i / 127.0L); }},
  };
  for (const auto& r : rules) {
    SCOPED_TRACE(r.name);
    for (int i = 0; i < r.size; ++i) {
      const long double exact = r.rule(i);
      ASSERT_EQ(r.table[i], std::llround(exact)) << "entry " << i;
      // No entry sits so close to a half that the rounding is in doubt.
      ASSERT_GT(std::fabs(std::fabs(exact - r.table[i]) - 0.5L), 1e-6L) << "entry " << i;
    }
  }
}

}  // namespace
}  // namespace pocketmidi
