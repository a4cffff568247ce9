#include "io/file_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/utf16_path.h"
#include "support/temp_directory.h"

namespace pocketmidi {
namespace {

using test::TempDirectory;

// Whether a missing file is created and an existing one emptied, by mode.
TEST(FileStreamTest, OpenModes) {
  const struct { int32_t mode; bool creates, truncates; } cases[] = {
      {1, false, false}, {2, true, true},   {3, true, false},
      {4, false, false}, {5, true, true},   {6, true, false},
      {0, false, false}, {7, false, false}, {0x10002, true, true},  // only the low 16 bits count
  };
  TempDirectory dir;
  for (const auto& c : cases) {
    for (bool wide : {false, true}) {
      SCOPED_TRACE(testing::Message() << "mode " << c.mode << (wide ? " wide" : " narrow"));
      const std::string existing = dir.Write("existing", "0123456789"), missing = dir.File("missing");
      std::filesystem::remove(missing);
      auto open = [&](const std::string& p) {
        return wide ? FileOpenW(Utf8ToUtf16(p).c_str(), c.mode) : FileOpen(p.c_str(), c.mode);
      };
      FileStream* s = open(missing);
      EXPECT_EQ(s != nullptr, c.creates);
      EXPECT_EQ(std::filesystem::exists(missing), c.creates);
      FileClose(s);
      s = open(existing);
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(FileClose(s), 1);
      EXPECT_EQ(std::filesystem::file_size(existing), c.truncates ? 0u : 10u);
    }
  }
}

// From position 8 of a file whose byte i is i. 1 is the end, 2 the current position.
TEST(FileStreamTest, SeekOrigins) {
  const struct { int32_t origin, offset, expected; } cases[] = {
      {0, 3, 3}, {1, -4, 12}, {2, 4, 12}, {0x10002, 4, 12}, {3, 5, 5}, {-1, 5, 5},
  };
  TempDirectory dir;
  const std::string path = dir.Write("data", std::string("\0\1\2\3\4\5\6\7\10\11\12\13\14\15\16\17", 16));
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "origin " << c.origin << " offset " << c.offset);
    FileStream* s = FileOpen(path.c_str(), kOpenRead);
    ASSERT_EQ(FileSeek(s, kFromStart, 8), 0);
    EXPECT_EQ(FileSeek(s, c.origin, c.offset), 0);
    EXPECT_EQ(FileTell(s), c.expected);
    uint8_t b = 0xFF;
    EXPECT_EQ(FileRead(s, &b, 1), 1);
    EXPECT_EQ(b, c.expected);
    FileClose(s);
  }
}

TEST(FileStreamTest, SizeKeepsPositionAndReadsAreShortAtTheEnd) {
  TempDirectory dir;
  FileStream* s = FileOpenW(Utf8ToUtf16(dir.Write("data", "abcdefghij")).c_str(), kOpenRead);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(FileSeek(s, kFromStart, 3), 0);
  EXPECT_EQ(FileSize(s), 10);
  EXPECT_EQ(FileTell(s), 3);
  char buf[16] = {};
  EXPECT_EQ(FileRead(s, buf, -5), 0);  // never a huge unsigned count
  EXPECT_EQ(FileRead(s, buf, 16), 7);
  EXPECT_EQ(std::string(buf, 7), "defghij");
  EXPECT_EQ(FileRead(s, buf, 16), 0);
  EXPECT_NE(FileSeek(s, kFromStart, -1), 0);
  EXPECT_EQ(FileClose(s), 1);
  EXPECT_EQ(FileClose(nullptr), 0);
}

TEST(FileStreamTest, ExistsOnlyForFilesThatAreNotDirectories) {
  TempDirectory dir;
  const std::string file = dir.Write("song.mid", "x"), base = dir.path().string();
  std::filesystem::create_directory(dir.File("sub"));
  std::string backslashed = file;
  for (char& c : backslashed) c = c == '/' ? '\\' : c;
  const struct { std::string path; int32_t expected; } cases[] = {
      {file, 1}, {backslashed, 1}, {base + "/sub", 0}, {base + "/nothing", 0}, {"\\", 0}, {"", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(FileExists(c.path.c_str()), c.expected);
    EXPECT_EQ(FileExistsW(Utf8ToUtf16(c.path).c_str()), c.expected);
  }
  EXPECT_EQ(FileExists(nullptr), 0);
  EXPECT_EQ(FileOpenW(Utf8ToUtf16(base + "/sub").c_str(), kOpenRead), nullptr);
  // Single-byte paths are OEM code page bytes: 0xE9 is é, stored as UTF-8.
  dir.Write("caf\xC3\xA9", "1");
  EXPECT_EQ(FileExists((base + "/caf\xE9").c_str()), 1);
  FileStream* s = FileOpen((base + "/caf\xE9").c_str(), kOpenRead);
  EXPECT_EQ(FileSize(s), 1);
  FileClose(s);
}

// The UTF-16 form of a single-byte path, terminator included, must fit 259 units.
TEST(FileStreamTest, SingleBytePathLimit) {
  TempDirectory dir;
  const std::string prefix = dir.path().string() + "/";
  for (std::size_t length : {257u, 258u, 259u, 260u}) {
    SCOPED_TRACE(length);
    const std::string path = dir.Write(std::string(length - prefix.size(), 'n'), "x");
    ASSERT_EQ(path.size(), length);
    EXPECT_EQ(FileExists(path.c_str()), length <= 258 ? 1 : 0);
    EXPECT_EQ(FileExistsW(Utf8ToUtf16(path).c_str()), 1);
  }
}

}  // namespace
}  // namespace pocketmidi
