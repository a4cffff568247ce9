#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "support/temp_directory.h"

namespace pocketmidi {
namespace {

std::optional<std::string> GetString(const IniFile* file, const char* section, const char* key) {
  char buffer[4096];
  IniQuery query{section, key, buffer, kIniString, sizeof(buffer)};
  if (IniFile::GetValue(file, &query) != 1) return std::nullopt;
  EXPECT_EQ(query.size, std::strlen(buffer));
  return std::string(buffer);
}

class IniFileTest : public testing::Test {
 protected:
  IniFile* Open(const std::string& text) {
    IniFile::Close(file_);
    file_ = IniFile::Open(dir_.Write("test.ini", text).c_str());
    return file_;
  }
  void TearDown() override { IniFile::Close(file_); }

  test::TempDirectory dir_;
  IniFile* file_ = nullptr;
};

TEST_F(IniFileTest, MissingFileIsCreatedEmpty) {
  const std::string missing = dir_.File("created.ini");
  file_ = IniFile::Open(missing.c_str());
  ASSERT_NE(file_, nullptr);
  EXPECT_EQ(GetString(file_, nullptr, ""), std::nullopt);
  EXPECT_EQ(std::filesystem::file_size(missing), 0u);
  // A directory can be neither read nor created.
  EXPECT_EQ(IniFile::Open(dir_.path().string().c_str()), nullptr);
  EXPECT_EQ(IniFile::Open(dir_.File("no/such.ini").c_str()), nullptr);
}

TEST_F(IniFileTest, NamesMatchWithoutCaseOrSurroundingBlanks) {
  ASSERT_NE(Open("; c\r\n[config]\r\nKEY=1\r\n[DeFault]\r\nd=2\r\n"
                 "[dup]\r\na=first\r\n[\xC9t\xE9]\r\n\xE9=x\r\n[DUP]\r\nb=second\r\na=late\r\n"),
            nullptr);
  // Sections of one name are searched in file order; only ASCII letters fold.
  const struct { const char* section, *key; std::optional<std::string> value; } cases[] = {
      {"CONFIG", "key", "1"},          {" \tconfig\t ", "  KEY ", "1"},
      {"config", "KEY=", std::nullopt}, {"conf", "KEY", std::nullopt},
      {nullptr, "d", "2"},              {"dup", "a", "first"},
      {"dup", "b", "second"},           {"\xC9T\xE9", "\xE9", "x"},
      {"\xE9t\xE9", "\xE9", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.section ? c.section : "(null)") << "/" << c.key);
    EXPECT_EQ(GetString(file_, c.section, c.key), c.value);
  }
}

// A string needs room for its terminator; an integer is atoi's value as a
// host int32_t (the same number on a big-endian host). A rejected query
// writes nothing.
TEST_F(IniFileTest, QueriesWriteOnlyWhatFits) {
  ASSERT_NE(Open("[n]\r\nname=hello\r\nbig=305419896\r\nneg=-2\r\nmixed=12abc\r\nplus=+8\r\n"
                 "apart=- 1\r\nwrap=2147483648\r\n"),
            nullptr);
  const std::string untouched(8, '#');
  const struct {
    const char* key;
    uint32_t size;
    std::string bytes;  // the buffer afterwards; untouched: refused
  } strings[] = {
      {"name", 6, std::string("hello\0##", 8)},
      {"name", 5, untouched},
      {"big", 0, untouched},
      {"x", 8, untouched},
  };
  for (const auto& c : strings) {
    SCOPED_TRACE(testing::Message() << c.key << " size " << c.size);
    char buffer[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
    IniQuery query{"N", c.key, buffer, kIniString, c.size};
    const bool accepted = c.bytes != untouched;
    EXPECT_EQ(IniFile::GetValue(file_, &query), accepted ? 1 : 0);
    EXPECT_EQ(query.size, accepted ? 5u : c.size);
    EXPECT_EQ(std::string(buffer, 8), c.bytes);
  }
  const struct {
    const char* key;
    IniValueType type;
    int32_t value;  // 7: refused, left as it was
  } integers[] = {
      {"big", kIniInteger, 305419896},
      {"neg", kIniInteger, -2},
      {"mixed", kIniInteger, 12},
      {"plus", kIniInteger, 8},
      {"apart", kIniInteger, 0},  // a sign must touch its digits
      {"wrap", kIniInteger, -2147483647 - 1},  // values wrap in 32 bits
      {"big", static_cast<IniValueType>(0), 7},
      {"x", kIniInteger, 7},
  };
  for (const auto& c : integers) {
    SCOPED_TRACE(testing::Message() << c.key << " type " << c.type);
    int32_t number = 7;
    IniQuery query{"N", c.key, nullptr, c.type, 0, &number};
    EXPECT_EQ(IniFile::GetValue(file_, &query), c.value != 7 ? 1 : 0);
    EXPECT_EQ(number, c.value);
  }
  char buffer[4] = {'#', '#', '#', '#'};
  const IniQuery nulls[] = {
      {"n", nullptr, buffer, kIniString, 4},
      {"n", "big", nullptr, kIniString, 4},
      {"n", "big", buffer, kIniInteger, 4, nullptr},
      {nullptr, "big", buffer, kIniString, 4},  // no section means [default]
  };
  for (IniQuery query : nulls) EXPECT_EQ(IniFile::GetValue(file_, &query), 0);
  IniQuery query{"n", "big", buffer, kIniString, 4};
  EXPECT_EQ(IniFile::GetValue(nullptr, &query), 0);
  EXPECT_EQ(std::string(buffer, 4), "####");
}

TEST_F(IniFileTest, OpenOutcomes) {
  const struct { std::string text; bool opens; std::optional<std::string> k; } cases[] = {
      {"", true, std::nullopt},
      {"[s]\r\nk=last", true, "last"},  // the last line needs no CR LF
      {"[s]\r\nk=1\r\n[t", true, "1"},
      {"k=1\r\n[s]\r\n", false, std::nullopt},
      {"# c\r\nbad line\r\n[x] y\r\nk=1\r\n[s]\r\n", false, std::nullopt},
      {"[s]\nk=1\n", true, std::nullopt},  // bare LF: one long invalid line
      {"[s]\nk=1\n" + std::string(2100, 'x') + "\n", false, std::nullopt},  // no CR LF in reach
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text.substr(0, 24)));
    EXPECT_EQ(Open(c.text) != nullptr, c.opens);
    EXPECT_EQ(GetString(file_, "s", "k"), c.k);
  }
}

// A line fits when it and its CR LF fit the 2048-byte window, wherever it
// starts; an unterminated last line also needs room for the CR LF appended.
TEST_F(IniFileTest, WindowLimitAtEveryAlignment) {
  for (int shift : {0, 1, 1000, 2040, 2047, 3000}) {
    std::string head = "[s]\r\n";
    while (head.size() < static_cast<std::size_t>(shift) + 5) head += "#\r\n";
    for (int bytes : {2045, 2046, 2047}) {  // without the CR LF
      for (bool terminated : {true, false}) {
        SCOPED_TRACE(testing::Message() << shift << " " << bytes << " " << terminated);
        const std::string value(bytes - 2, 'v');
        const bool fits = bytes <= 2046;
        EXPECT_EQ(Open(head + "k=" + value + (terminated ? "\r\n" : "")) != nullptr, fits);
        EXPECT_EQ(GetString(file_, "s", "k"),
                  fits ? std::optional<std::string>(value) : std::nullopt);
      }
    }
  }
  for (std::size_t crAt = 2040; crAt <= 2050; ++crAt) {  // CR and LF in different window fills
    std::string text = "[s]\r\n";
    while (text.size() + 8 < crAt) text += "#\r\n";
    text += "k=" + std::string(crAt - text.size() - 2, 'v') + "\r\n[t]\r\nz=9\r\n";
    ASSERT_NE(Open(text), nullptr) << crAt;
    EXPECT_EQ(GetString(file_, "t", "z"), "9");
  }
}

}  // namespace
}  // namespace pocketmidi
