#include "config/ini_line.h"

#include <gtest/gtest.h>

#include <string>

namespace pocketmidi {
namespace {

constexpr auto kKey = IniLineKind::kKey;
constexpr auto kSection = IniLineKind::kSection;
constexpr auto kInvalid = IniLineKind::kInvalid;
constexpr auto kComment = IniLineKind::kComment;

IniLine Classify(const std::string& bytes) {
  return ClassifyIniLine(reinterpret_cast<const uint8_t*>(bytes.data()),
                         static_cast<int32_t>(bytes.size()));
}

TEST(IniLineTest, Classification) {
  const struct { std::string text; IniLineKind kind; std::string name, value; } cases[] = {
      {"  name = two words  \r\n", kKey, "name", "two words"},
      {"a=b=c\r\n", kKey, "a", "b=c"},  {"a=b=\r\n", kKey, "a", "b"}, {"a==b\r\n", kKey, "a", "b"},
      {"k = \t\r\r\n", kKey, "k", ""},  {"two words\t=1\r\n", kKey, "two words", "1"},
      {"a=1\nb=2\n\r\n", kKey, "a", "1\nb=2\n"},  // a bare LF is an ordinary byte
      {"\xE9t=caf\xE9\r\n", kKey, "\xE9t", "caf\xE9"}, {"]=x\r\n", kKey, "]", "x"},
      {"\r=v\r\n", kKey, "\r", "v"},  // a lone CR may even start a key
      {"key\r\n", kInvalid, "", ""},  {" \t=1\r\n", kInvalid, "", ""},
      {"\r\r\n", kInvalid, "", ""},   {"[ Bank 1 ]\r\n", kSection, "Bank 1", ""},
      {"[a]b]\r\n", kSection, "a]b", ""}, {"[a]]\r\n", kSection, "a", ""},
      {"[ \t]\r\n", kSection, "", ""},    {"[x\r]\r\r\n", kSection, "x", ""},
      {"  [s]\r\n", kSection, "s", ""},   {"[x] y\r\n", kInvalid, "", ""},
      {"[\r\n", kInvalid, "", ""},        {"[x\r\n", kInvalid, "", ""},
      {"# c=1\r\n", kComment, "", ""},    {"\t; [x]\r\n", kComment, "", ""},
      {"*\r\n", kComment, "", ""},        {" \t \r\n", IniLineKind::kBlank, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const std::string bytes = c.text + "[z]\r\n";  // later lines change nothing
    const IniLine line = Classify(bytes);
    EXPECT_EQ(line.kind, c.kind);
    EXPECT_EQ(line.length, static_cast<int32_t>(c.text.size()));
    if (c.kind == kKey || c.kind == kSection) {
      EXPECT_EQ(bytes.substr(line.nameOffset, line.nameLength), c.name);
      EXPECT_EQ(c.kind == kKey ? bytes.substr(line.valueOffset, line.valueLength) : "", c.value);
    }
  }
  // Without a CR LF nothing can be decided yet, not even after a final CR.
  for (const std::string text : {"", "a=1\r", "[s]\n", "=\n\r"}) {
    EXPECT_EQ(Classify(text).kind, IniLineKind::kIncomplete) << testing::PrintToString(text);
  }
}

}  // namespace
}  // namespace pocketmidi
