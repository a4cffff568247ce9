#include "io/file_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/utf16_path.h"
#include "support/temp_directory.h"

namespace pocketmidi {
namespace {

using test::TempDirectory;

// From position 8: origin 1 is the end, 2 the current position, others the start.
TEST(FileStreamTest, SeekSizeAndShortReads) {
  const struct {
    int32_t origin, offset, expected;
  } cases[] = {{0, 3, 3}, {1, -4, 12}, {2, 4, 12}, {0x10002, 4, 12}, {-1, 5, 5}};
  TempDirectory dir;
  FileStream* s = FileOpen(dir.Write("data", "abcdefghijklmnop").c_str(), kOpenRead);
  ASSERT_NE(s, nullptr);
  for (const auto& c : cases) {
    ASSERT_EQ(FileSeek(s, kFromStart, 8), 0);
    EXPECT_EQ(FileSeek(s, c.origin, c.offset), 0);
    EXPECT_EQ(FileTell(s), c.expected) << "origin " << c.origin << " offset " << c.offset;
  }
  EXPECT_EQ(FileSize(s), 16);
  EXPECT_EQ(FileTell(s), 5);
  char buf[16] = {};
  EXPECT_EQ(FileRead(s, buf, -5), 0);  // never a huge unsigned count
  EXPECT_EQ(FileRead(s, buf, 16), 11);
  EXPECT_EQ(std::string(buf, 11), "fghijklmnop");
  EXPECT_NE(FileSeek(s, kFromStart, -1), 0);
  EXPECT_EQ(FileClose(s), 1);
  EXPECT_EQ(FileClose(nullptr), 0);
}

// Only files exist, not directories; single-byte paths are OEM code page
// bytes, and their UTF-16 form with its terminator must fit 259 units.
TEST(FileStreamTest, ExistsForFilesOnly) {
  TempDirectory dir;
  const std::string file = dir.Write("song.mid", "x"), base = dir.path().string();
  std::filesystem::create_directory(dir.File("sub"));
  std::string backslashed = file;
  std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
  const std::pair<std::string, int32_t> cases[] = {
      {file, 1}, {backslashed, 1}, {base + "/sub", 0}, {base + "/nothing", 0}, {"", 0}};
  for (const auto& [path, expected] : cases) {
    EXPECT_EQ(FileExists(path.c_str()), expected) << path;
    EXPECT_EQ(FileExistsW(Utf8ToUtf16(path).c_str()), expected) << path;
  }
  EXPECT_EQ(FileOpenW(Utf8ToUtf16(base + "/sub").c_str(), kOpenRead), nullptr);
  // 0xE9 is é; the file is made under its Unicode name on every system.
  std::ofstream(dir.path() / std::filesystem::u8path("caf\xC3\xA9")) << "1";
  EXPECT_EQ(FileExists((base + "/caf\xE9").c_str()), 1);
  EXPECT_EQ(FileClose(FileOpen((base + "/caf\xE9").c_str(), kOpenRead)), 1);
  for (std::size_t length : {258u, 259u}) {
    const std::string path = dir.Write(std::string(length - base.size() - 1, 'n'), "x");
    ASSERT_EQ(path.size(), length);
    EXPECT_EQ(FileExists(path.c_str()), length <= 258 ? 1 : 0) << length;
    EXPECT_EQ(FileExistsW(Utf8ToUtf16(path).c_str()), 1);
  }
}

}  // namespace
}  // namespace pocketmidi
