// File-type detection and the decoder factory.
#include <gtest/gtest.h>

#include <memory>

#include "api/file_type.h"
#include "api/midi_decoder.h"
#include "io/file_stream.h"
#include "support/temp_directory.h"

namespace pocketmidi::test {
namespace {

using namespace std::string_literals;

TEST(FileTypeTest, FirstBytesDecide) {
  const std::pair<std::string, FileType> cases[] = {
      {"MThd\0\0\0\x06"s, kFileMidi},  {"RIFF\0\0\0\0RMIDdata"s, kFileMidi},
      {"RIFF\0\0\0\0WAVEfmt "s, kFileWave}, {"#!AMR\n"s, kFileAmr},
      {"RIFF\0\0\0\0AVI LIST"s, kFileUnknown}, {""s, kFileUnknown},
      {"MTh"s, kFileUnknown},          {"WAVE"s, kFileWave},
      {"RMID"s, kFileMidi},            {"RIFF\0\0\0\0"s, kFileUnknown},
      {"RIFF\0\0\0\0RM"s, kFileUnknown}, {"xMThd"s, kFileUnknown}};
  TempDirectory dir;
  for (const auto& [bytes, type] : cases) {
    FileStream* stream = FileOpen(dir.Write("f", bytes).c_str(), kOpenRead);
    ASSERT_NE(stream, nullptr);
    FileSeek(stream, kFromStart, 3);
    EXPECT_EQ(DetectFileType(stream), type) << bytes;
    EXPECT_EQ(FileTell(stream), 3);
    FileClose(stream);
  }
  EXPECT_EQ(DetectFileType(nullptr), kFileUnknown);
}

TEST(FileTypeTest, OnlyMidiHasADecoder) {
  for (int32_t type : {0, 2, 4, 6, 8}) EXPECT_EQ(CreateDecoder(type, u"x"), nullptr);
  std::unique_ptr<StreamDecoder> decoder(CreateDecoder(kFileMidi, u"\\Config\\"));
  ASSERT_NE(decoder, nullptr);
  EXPECT_EQ(std::u16string(static_cast<MidiDecoder*>(decoder.get())->configDirectory),
            u"\\Config\\");
  // 259 units and the terminator fit; one more does not.
  const std::u16string longest(259, u'a');
  EXPECT_NE(std::unique_ptr<StreamDecoder>(CreateDecoder(kFileMidi, longest.c_str())), nullptr);
  EXPECT_EQ(CreateDecoder(kFileMidi, std::u16string(260, u'a').c_str()), nullptr);
}

}  // namespace
}  // namespace pocketmidi::test
