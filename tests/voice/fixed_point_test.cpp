// The integer arithmetic under every gain, pitch and timing value. The golden
// render pins the values a song produces; here the sign-and-magnitude
// helpers at their edges and deliberate truncations, and the tables against
// the rules they were built from (a song reaches only some entries).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>

#include "voice/voice_tables.h"
#include "voice/wide_math.h"

namespace pocketmidi {
namespace {

TEST(WideMathTest, DeliberateTruncations) {
  EXPECT_EQ(WideMulHigh(0x7FFFFFFF, 0x7FFFFFFF).hi, 0x3FFFFFFEu);  // exact: 0x3FFFFFFF
  const struct {
    WideValue w;
    int32_t d;
    WideValue expected;
  } cases[] = {
      {{1, 88, 211986099u}, 96, {1, 0, 3939261542u}},      // exact 3939261543
      {{1, 5, 123456789u}, 10000000, {1, 0, 2157}},        // exact 2159
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
