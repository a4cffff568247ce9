#include "soundset/config_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "soundset/patch_archive_writer.h"
#include "soundset/patch_units.h"

namespace pocketmidi::soundset {
namespace {

TEST(ConfigWriter, BootstrapLeavesOutUnsetKeys) {
  SoundSetConfig config;
  config.rate = 76561;
  config.channels.reset();
  config.spMidiSupported = "true";
  config.freeAtOnce = "true";
  EXPECT_EQ(BootstrapText(config),
            "# pocketmidi instrument set\r\n"
            "[FILES]\r\nCONFIG=patches.cfg\r\nPAT=patches.pat\r\n"
            "[OUTPUT]\r\nRATE=76561\r\nBITS=16\r\n"
            "[SP]\r\nSUPPORTED=true\r\n"
            "[OTHERS]\r\nPOLYPHONES=32\r\nFREEATONCE=true\r\n");
}

TEST(ConfigWriter, PatchListHasOneSectionPerProgramWithDrumKeysOnlyWhenNamed) {
  SoundSetConfig config = SingleToneConfig("grand");
  config.tones[57].name.clear();
  config.tones[1].amp = 800;
  DrumSlotConfig& kick = config.drums[36];
  kick.name = "kick";
  kick.note = 36;
  kick.pan = "center";
  kick.stripLoop = 1;
  kick.stripEnvelope = 1;
  config.drums[37].amp = 50;  // no name: ignored like the reader would
  const std::string text = PatchListText(config);
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
    ASSERT_EQ(text[at - 1], '\r') << "every line ends with CR LF";
  }
  EXPECT_NE(text.find("[0]\r\nbank_name=grand\r\n[1]\r\nbank_name=grand\r\nbank_amp=800\r\n[2]"),
            std::string::npos);
  EXPECT_NE(text.find("[57]\r\n[58]"), std::string::npos);
  EXPECT_NE(
      text.find("[36]\r\nbank_name=grand\r\ndrumset_name=kick\r\ndrumset_note=36\r\n"
                "drumset_pan=center\r\ndrumset_strip_envelope=1\r\ndrumset_strip_loop=1\r\n[37]"
                "\r\nbank_name=grand\r\n[38]"),
      std::string::npos);
  EXPECT_NE(text.find("[127]\r\nbank_name=grand\r\n"), std::string::npos);
}

TEST(ConfigWriter, WritesTheWholeSetIntoADirectory) {
  char dir[] = "/tmp/soundset_testXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  PatchDescription tone;
  tone.name = "tone";
  tone.points = {0, 1000, 0, -1000};
  std::string error;
  ASSERT_TRUE(WriteSoundSet(dir, SingleToneConfig("tone"), {tone}, false, &error)) << error;
  auto read = [&](const char* name) {
    std::ifstream in(JoinPath(dir, name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  EXPECT_EQ(read("zoltep"), BootstrapText(SingleToneConfig("tone")));
  EXPECT_EQ(read("patches.cfg"), PatchListText(SingleToneConfig("tone")));
  const std::string archive = read("patches.pat");
  EXPECT_EQ(std::vector<uint8_t>(archive.begin(), archive.end()), BuildArchive({tone}, false));
  for (const char* name : {"zoltep", "patches.cfg", "patches.pat"}) {
    std::remove(JoinPath(dir, name).c_str());
  }
  rmdir(dir);
  EXPECT_FALSE(WriteConfigDirectory("/nonexistent/dir", SoundSetConfig(), &error));
  EXPECT_NE(error.find("/nonexistent/dir/zoltep"), std::string::npos);
}

TEST(PatchUnits, ConvertMusicalUnitsToArchiveBytes) {
  EXPECT_EQ(NoteFreqMilliHz(0), 8176);
  EXPECT_EQ(NoteFreqMilliHz(60), 261626);
  EXPECT_EQ(NoteFreqMilliHz(127), 12543854);
  EXPECT_EQ(EnvelopeOffsetForDecibels(0), 255);
  EXPECT_EQ(EnvelopeOffsetForDecibels(36.1236), 1);
  EXPECT_EQ(EnvelopeOffsetForDecibels(96), 0);
  // Rate 0x3F (mantissa 63 << 9): 32256 * 44100 * 1024 levels per second.
  EXPECT_DOUBLE_EQ(EnvelopeRateSlope(0x3F), 32256.0 * 44100 * 1024 / 4194304);
  const struct {
    double slope;
    uint8_t byte;
  } rates[] = {{0.0, 0xC1},          {10.7666, 0xC1}, {63 * 10.7666, 0xFF},
               {64 * 10.7666, 0x88}, {1e9, 0x3F},     {4032 * 10.7666, 0x7F}};
  for (const auto& r : rates) EXPECT_EQ(EnvelopeRateByte(r.slope), r.byte) << r.slope;
  EXPECT_EQ(LfoRateByte(5.0), 190);
  EXPECT_EQ(LfoSweepByte(1.0), 38);
  EXPECT_EQ(VibratoDepthByte(50), 32);
  EXPECT_EQ(TremoloDepthByte(6.0206), 255);
}

}  // namespace
}  // namespace pocketmidi::soundset
