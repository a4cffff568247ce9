#include "voice/voice_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>

namespace pocketmidi {
namespace {

struct TableRule {
  const char* name;
  const int32_t* table;
  int size;
  std::function<long double(int)> rule;
  int32_t first, last;
};

const long double kPi = 3.141592653589793238462643383279502884L;

TEST(VoiceTablesTest, EveryEntryIsItsRuleRoundedToNearest) {
  const TableRule rules[] = {
      {"NoteFreqTable", NoteFreqTable, 128,
       [](int n) { return 440000.0L * std::pow(2.0L, (n - 69) / 12.0L); }, 8176, 12543854},
      {"BendFineTable", BendFineTable, 256,
       [](int i) { return std::ldexp(std::pow(2.0L, i / 3072.0L), 28); }, 268435456, 284333296},
      {"BendCoarseTable", BendCoarseTable, 128,
       [](int i) { return std::ldexp(std::pow(2.0L, i / 12.0L), 20); }, 1048576, 1608794974},
      {"SineTable", SineTable, 257,
       [](int i) { return std::ldexp(std::sin(kPi * i / 512.0L), 28); }, 0, 268435456},
      {"EnvGainTable", EnvGainTable, 128,
       [](int i) { return std::pow(2.0L, 22.0L + 6.0L * i / 127.0L); }, 4194304, 268435456},
  };
  for (const TableRule& r : rules) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.table[0], r.first);
    EXPECT_EQ(r.table[r.size - 1], r.last);
    for (int i = 0; i < r.size; ++i) {
      const long double exact = r.rule(i);
      ASSERT_EQ(r.table[i], std::llround(exact)) << "entry " << i;
      // No entry sits so close to a half that the rounding is in doubt.
      ASSERT_GT(std::fabs(std::fabs(exact - r.table[i]) - 0.5L), 1e-6L) << "entry " << i;
    }
  }
  EXPECT_EQ(NoteFreqTable[60], 261626);
  EXPECT_EQ(NoteFreqTable[69], 440000);
}

}  // namespace
}  // namespace pocketmidi
