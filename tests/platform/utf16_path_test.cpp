#include "platform/utf16_path.h"

#include <gtest/gtest.h>

namespace pocketmidi {
namespace {

TEST(Utf16PathTest, ConversionsKeepEveryByteOfAHostName) {
  const struct {
    std::u16string utf16;
    std::string utf8;
    bool roundTrips;
  } cases[] = {
      {u"a\u00E9\u20AC", "a\xC3\xA9\xE2\x82\xAC", true},
      {u"\xD83C\xDFB5", "\xF0\x9F\x8E\xB5", true},             // a pair is one code point
      {u"a\xD83C", "a\xEF\xBF\xBD", false},                    // lone high surrogate
      {u"\xDFB5\xD83Cx", "\xEF\xBF\xBD\xEF\xBF\xBDx", false},  // low before high
      {u"caf\xDCE9.mid", "caf\xE9.mid", true},                  // a Latin-1 byte
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(c.utf16.c_str()), c.utf8);
    EXPECT_EQ(Utf8ToUtf16(c.utf8) == c.utf16, c.roundTrips);
  }
  // Overlong, an encoded surrogate, cut short, a bad continuation, beyond
  // U+10FFFF: each byte is escaped on its own and comes back unchanged.
  const std::pair<std::string, std::u16string> bad[] = {
      {"\xC0\xAF", u"\xDCC0\xDCAF"},
      {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
      {"\xE2\x82", u"\xDCE2\xDC82"},
      {"\xE2(x", u"\xDCE2(x"},
      {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
  };
  for (const auto& [utf8, utf16] : bad) {
    EXPECT_EQ(Utf8ToUtf16(utf8), utf16) << testing::PrintToString(utf8);
    EXPECT_EQ(Utf16ToUtf8(utf16), utf8) << testing::PrintToString(utf8);
  }
}

// The one bounded copy behind every UTF-16 path field: whole or refused,
// never past the field, always terminated.
TEST(Utf16PathTest, BoundedCopyFitsOrCutsAndTerminates) {
  const struct {
    const char16_t* source;
    std::size_t units;
    bool fits;
    std::u16string copied;
  } cases[] = {{u"abc", 4, true, u"abc"},  {u"abcd", 4, false, u"abc"}, {nullptr, 2, true, u""},
               {u"", 1, true, u""},        {u"ab", 1, false, u""}};
  for (const auto& c : cases) {
    char16_t field[5] = {u'x', u'x', u'x', u'x', u'x'};
    EXPECT_EQ(CopyUtf16(field, c.units, c.source), c.fits) << c.units;
    EXPECT_EQ(std::u16string(field), c.copied) << c.units;
    EXPECT_EQ(field[4], u'x') << "written past the field";
  }
  char16_t untouched = u'x';
  EXPECT_FALSE(CopyUtf16(&untouched, 0, u"a"));
  EXPECT_EQ(untouched, u'x');
}

}  // namespace
}  // namespace pocketmidi
