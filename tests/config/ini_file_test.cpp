#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
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
  EXPECT_EQ(IniFile::Open(dir_.path().c_str()), nullptr);  // a directory can be neither read nor created
  EXPECT_EQ(IniFile::Open(dir_.File("no/such.ini").c_str()), nullptr);
}

TEST_F(IniFileTest, NamesMatchWithoutCaseOrSurroundingBlanks) {
  ASSERT_NE(Open("; c\r\n[config]\r\nKEY=1\r\n[DeFault]\r\nd=2\r\n[other]\r\nd=3\r\n[dup]\r\na=first\r\n"
                 "[\xC9t\xE9]\r\n\xE9=x\r\n[DUP]\r\nb=second\r\na=late\r\n"),
            nullptr);
  const struct { const char* section; const char* key; std::optional<std::string> expected; } cases[] = {
      {"CONFIG", "key", "1"},     {" \tconfig\t ", "  KEY ", "1"}, {"config", "KEY=", std::nullopt},
      {"conf", "KEY", std::nullopt}, {nullptr, "d", "2"},          {"other", "d", "3"},
      {"dup", "a", "first"},      {"dup", "b", "second"},          {"\xC9T\xE9", "\xE9", "x"},
      {"\xE9t\xE9", "\xE9", std::nullopt}, {"\xC9t\xE9", "\xC9", std::nullopt},  // only ASCII folds
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.section ? c.section : "(null)") << "/" << c.key);
    EXPECT_EQ(GetString(file_, c.section, c.key), c.expected);
  }
}

TEST_F(IniFileTest, StringNeedsRoomForItsTerminator) {
  ASSERT_NE(Open("[s]\r\nname=hello\r\n"), nullptr);
  for (uint32_t size : {7u, 6u, 5u, 1u}) {
    SCOPED_TRACE(size);
    char buffer[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
    IniQuery query{"s", "name", buffer, kIniString, size};
    const bool fits = size > 5;
    EXPECT_EQ(IniFile::GetValue(file_, &query), fits ? 1 : 0);
    EXPECT_EQ(query.size, fits ? 5u : size);
    EXPECT_EQ(std::string(buffer, 8), fits ? std::string("hello\0##", 8) : std::string(8, '#'));
  }
}

TEST_F(IniFileTest, IntegerDeliversLowBytesOfAtoi) {
  ASSERT_NE(Open("[n]\r\nbig=305419896\r\nneg=-2\r\nmixed=12abc\r\nword=abc\r\nrate=76561\r\n"), nullptr);
  const struct { const char* key; uint32_t size; std::string bytes; } cases[] = {
      {"big", 4, "\x78\x56\x34\x12####"}, {"big", 2, "\x78\x56######"},  {"big", 1, "\x78#######"},
      {"big", 8, "\x78\x56\x34\x12####"}, {"neg", 3, "\xFE\xFF\xFF#####"}, {"rate", 2, "\x11\x2B######"},
      {"mixed", 4, std::string("\x0C\0\0\0####", 8)}, {"word", 4, std::string(4, '\0') + "####"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.key << " size " << c.size);
    char buffer[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
    IniQuery query{"N", c.key, buffer, kIniInteger, c.size};
    EXPECT_EQ(IniFile::GetValue(file_, &query), 1);
    EXPECT_EQ(query.size, c.size);
    EXPECT_EQ(std::string(buffer, 8), c.bytes);
  }
}

TEST_F(IniFileTest, RejectedQueriesLeaveTheBufferAlone) {
  ASSERT_NE(Open("[s]\r\nk=5\r\n"), nullptr);
  char buffer[4] = {'#', '#', '#', '#'};
  const IniQuery cases[] = {
      {"s", "k", buffer, static_cast<IniValueType>(0), 4}, {"s", "k", buffer, static_cast<IniValueType>(3), 4},
      {"s", "k", buffer, kIniInteger, 0}, {"s", nullptr, buffer, kIniInteger, 4}, {"s", "k", nullptr, kIniInteger, 4},
      {"s", "x", buffer, kIniInteger, 4}, {nullptr, "k", buffer, kIniString, 4},
  };
  for (IniQuery query : cases) {
    EXPECT_EQ(IniFile::GetValue(file_, &query), 0);
    EXPECT_EQ(std::string(buffer, 4), "####");
  }
  IniQuery query{"s", "k", buffer, kIniInteger, 4};
  EXPECT_EQ(IniFile::GetValue(nullptr, &query), 0);
}

TEST_F(IniFileTest, OpenOutcomes) {
  const std::string v2038(2038, 'v');
  const struct { std::string text; bool opens; std::optional<std::string> k; } cases[] = {
      {"", true, std::nullopt},
      {"[s]\r\nk=last", true, "last"},  // the last line needs no CR LF
      {"[s]\r\nk=1\r", true, "1"},
      {"[s]\r\nk=1\r\n[t", true, "1"},
      {"k=1\r\n[s]\r\n", false, std::nullopt},
      {"# c\r\nbad line\r\n[x] y\r\nk=1\r\n[s]\r\n", false, std::nullopt},
      {"[s]\nk=1\n", true, std::nullopt},  // bare LF: one long invalid line
      {"[s]\nk=1\n" + std::string(2100, 'x') + "\n", false, std::nullopt},
      {"[s]\r\nk=" + v2038 + "\r\n", true, v2038},  // a 2040-byte line
      {"[s]\r\nk=" + std::string(2998, 'v') + "\r\n", false, std::nullopt},
      {"[s]\r\nk=dup\r\n[S]\r\nk=late\r\n", true, "dup"},
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
        SCOPED_TRACE(testing::Message() << "shift " << shift << " bytes " << bytes << " " << terminated);
        const std::string value(bytes - 2, 'v');
        EXPECT_EQ(Open(head + "k=" + value + (terminated ? "\r\n" : "")) != nullptr, bytes <= 2046);
        EXPECT_EQ(GetString(file_, "s", "k"), bytes <= 2046 ? std::optional<std::string>(value) : std::nullopt);
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

TEST_F(IniFileTest, PooledNodesKeepFileOrder) {
  std::string text;
  for (int s = 0; s < 20; ++s) {
    text += "[" + std::to_string(s) + "]\r\n";
    for (int k = 0; k < 150; ++k) text += "key" + std::to_string(k) + " = " + std::to_string(s * 1000 + k) + "\r\n";
  }
  ASSERT_NE(Open(text), nullptr);
  for (int s : {0, 8, 19}) {
    for (int k : {0, 128, 149}) {
      const std::string section = std::to_string(s), key = "KEY" + std::to_string(k);
      EXPECT_EQ(GetString(file_, section.c_str(), key.c_str()), std::to_string(s * 1000 + k));
    }
  }
}

// Arbitrary bytes never crash, leak or change the file.
TEST_F(IniFileTest, HostileBytes) {
  const char alphabet[] = "[]=#; \t\r\n\r\nab\x00\xFF";
  uint32_t seed = 12345;
  for (int round = 0; round < 400; ++round) {
    std::string text((seed = seed * 1103515245u + 12345u) >> 8 & 4095, ' ');
    for (char& c : text) c = alphabet[((seed = seed * 1103515245u + 12345u) >> 16) % (sizeof(alphabet) - 1)];
    const std::string path = dir_.Write("hostile.ini", text);
    IniFile* file = IniFile::Open(path.c_str());
    GetString(file, "a", "b");
    IniFile::Close(file);
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
  }
}

}  // namespace
}  // namespace pocketmidi
