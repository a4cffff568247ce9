#include "soundset/config_writer.h"

#include <gtest/gtest.h>

#include "soundset/patch_archive_writer.h"
#include "soundset/patch_units.h"
#include "support/temp_directory.h"

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
  for (const char* part :
       {"\r\n[0]\r\nbank_name=grand\r\n[1]\r\nbank_name=grand\r\nbank_amp=800\r\n[2]",
        "[57]\r\n[58]", "[127]\r\nbank_name=grand\r\n",
        "[36]\r\nbank_name=grand\r\ndrumset_name=kick\r\ndrumset_note=36\r\ndrumset_pan=center\r\n"
        "drumset_strip_envelope=1\r\ndrumset_strip_loop=1\r\n[37]\r\nbank_name=grand\r\n[38]"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
}

// Writing that succeeds is used by every rendering test; here the ways it
// fails, each saying why.
TEST(ConfigWriter, WriteFailuresSayWhy) {
  test::TempDirectory dir;
  PatchDescription tone;
  tone.name = "tone";
  tone.points = {0, 1000};
  SoundSetConfig config = SingleToneConfig("tone");
  std::string error;
  EXPECT_FALSE(WriteConfigDirectory("/nonexistent/dir", config, &error));
  EXPECT_NE(error.find("/nonexistent/dir/zoltep"), std::string::npos) << error;
  tone.name = "sixteen_chars_xx";
  EXPECT_FALSE(WriteSoundSet(dir.path().string() + "/", config, {tone}, false, &error));
  EXPECT_NE(error.find("1 to 15"), std::string::npos) << error;
  config.archiveFile.reset();
  EXPECT_FALSE(WriteSoundSet(dir.path().string(), config, {tone}, false, &error));
  EXPECT_EQ(error, "no archive file named");
}

// Envelope units are pinned through the volume envelope conversion; the
// LFO bytes only here. A rate byte of 0 would switch the LFO off.
TEST(PatchUnits, LfoBytes) {
  EXPECT_EQ(LfoRateByte(5.0), 190);
  EXPECT_EQ(LfoRateByte(0.001), 1);
  EXPECT_EQ(LfoSweepByte(1.0), 38);
  EXPECT_EQ(VibratoDepthByte(-50), 32);  // downward depth counts like upward
  EXPECT_EQ(TremoloDepthByte(6.0206), 255);
}

}  // namespace
}  // namespace pocketmidi::soundset
