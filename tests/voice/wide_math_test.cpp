#include "voice/wide_math.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace pocketmidi {
namespace {

uint32_t U(std::mt19937& rng) { return static_cast<uint32_t>(rng()); }
uint64_t Mag(const WideValue& w) { return (static_cast<uint64_t>(w.hi) << 32) | w.lo; }
uint64_t Abs64(int32_t x) { return static_cast<uint64_t>(x < 0 ? -static_cast<int64_t>(x) : x); }
int8_t SignOf(bool negative) { return negative ? -1 : 1; }

// Products: WideMul is exact for every int32 pair, WideMulHigh at most one
// short in the upper word, WideMulBy exact modulo 2^64 for 16-bit factors.
TEST(WideMathTest, ProductsAgainstNativeArithmetic) {
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
  const struct {
    WideValue w;
    int32_t d;
    WideValue expected;
  } cases[] = {
      {{1, 5, 123456789u}, 10000000, {1, 0, 2157}},  // exact 2159
      {{1, 0x12345u, 0x9ABCDEF0u}, INT32_MAX, {1, 0, 149131}},
      {{-1, 77, 1}, -40000, {1, 0, 8267809}},        // exact 8267812
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

TEST(WideMathTest, ShiftsMoveBitsAcrossWords) {
  std::mt19937 rng(3);
  for (int i = 0; i < 20000; ++i) {
    const WideValue w{-1, U(rng), U(rng)};
    const int n = 1 + static_cast<int>(U(rng) % 31);
    ASSERT_EQ(Mag(WideShl(w, n)), Mag(w) << n);
    ASSERT_EQ(Mag(WideShr(w, n)), Mag(w) >> n);
    ASSERT_EQ(WideShl(w, n).sign, -1);
    ASSERT_EQ(WideShr(w, n).sign, -1);
  }
}

}  // namespace
}  // namespace pocketmidi
