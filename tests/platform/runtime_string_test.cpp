#include "platform/runtime_string.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace pocketmidi {
namespace {

TEST(RuntimeItoa, DecimalDigitsAndSign) {
  const struct {
    int32_t value;
    const char* text;
  } cases[] = {{0, "0"},           {7, "7"},
               {127, "127"},       {-5, "-5"},
               {1000, "1000"},     {INT32_MAX, "2147483647"},
               {INT32_MIN, "-2147483648"}};
  for (const auto& c : cases) {
    char buffer[kRuntimeItoaBytes];
    RuntimeItoa(c.value, buffer);
    EXPECT_STREQ(buffer, c.text) << c.value;
    EXPECT_EQ(RuntimeAtoi(buffer), c.value);
  }
}

}  // namespace
}  // namespace pocketmidi
