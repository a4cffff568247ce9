// The instrument-set writer: the patch archive (index and header bytes, IMA
// ADPCM compression), the configuration text and the ways writing fails.
// Every rendering test reads what it writes; these pin what a render cannot.
#include <gtest/gtest.h>

#include <string>

#include "instruments/adpcm_decoder.h"
#include "io/byte_order.h"
#include "instruments/instrument.h"
#include "soundset/config_writer.h"
#include "soundset/ima_adpcm.h"
#include "soundset/patch_archive_writer.h"
#include "soundset/patch_units.h"
#include "support/temp_directory.h"

namespace pocketmidi::soundset {
namespace {

PatchDescription Ramp(const std::string& name, int count) {
  PatchDescription p;
  p.name = name;
  for (int i = 0; i < count; ++i) p.points.push_back(static_cast<int16_t>(i * 100 - 5000));
  return p;
}

// Index entry i with the patch header it points at.
struct ParsedEntry {
  std::string name;
  uint32_t offset, size;
  const uint8_t* header;
};

ParsedEntry Entry(const std::vector<uint8_t>& archive, size_t i) {
  const uint8_t* entry = &archive[kArchiveHeaderBytes + i * kIndexEntryBytes];
  ParsedEntry parsed{reinterpret_cast<const char*>(entry), LoadLe32(entry + 16), LoadLe32(entry + 20),
                     nullptr};
  EXPECT_LE(parsed.offset + kPatchLeadBytes + parsed.size, archive.size());
  parsed.header = &archive[parsed.offset + kPatchLeadBytes];
  return parsed;
}

TEST(PatchArchiveWriter, HeaderBytes) {
  PatchDescription p = Ramp("lead", 64);
  p.loopMode = LoopMode::kPingPong;
  p.loopStart = 8;
  p.loopEnd = 60;
  p.loopStartSixteenths = 4;
  p.loopEndSixteenths = 8;
  p.sampleRate = 44100;
  p.lowFreqMilliHz = 100000;
  p.highFreqMilliHz = 900000;
  p.rootFreqMilliHz = 440000;
  p.balance = 15;
  p.envelopeRates = {1, 2, 3, 4, 5, 6};
  p.envelopeOffsets = {250, 240, 230, 20, 10, 0};
  p.envelope = true;
  p.tremoloSweep = 11, p.tremoloRate = 12, p.tremoloDepth = 13;
  p.vibratoSweep = 14, p.vibratoRate = 15, p.vibratoDepth = 16;
  p.extraModes = 128;
  p.reserved = 0xA1B2C3D4;
  const std::vector<uint8_t> archive = BuildArchive(std::vector<PatchDescription>{p}, false);
  // The index names the header and its 128 bytes of points; the loader
  // finds patches by binary search, so the golden render pins the order.
  EXPECT_EQ(Entry(archive, 0).size, kPatchHeaderBytes + 128);
  const uint8_t* h = Entry(archive, 0).header;
  // Fractions; data size, loop start and end in bytes; rate; low, high and
  // root frequency; balance; six rates and offsets; tremolo and vibrato
  // sweep, rate and depth; modes 128 | envelope | ping-pong | looping |
  // 16-bit; the reserved word. Little-endian throughout.
  const std::vector<uint8_t> expected = {
      0x84, 128,  0,    0,    0,    16,   0,    0,    0,    120,  0,    0,    0,
      0x44, 0xAC, 0xA0, 0x86, 0x01, 0,    0xA0, 0xBB, 0x0D, 0,    0xC0, 0xB6, 0x06,
      0,    15,   1,    2,    3,    4,    5,    6,    250,  240,  230,  20,   10,
      0,    11,   12,   13,   14,   15,   16,   205,  0xD4, 0xC3, 0xB2, 0xA1};
  EXPECT_EQ(std::vector<uint8_t>(h, h + kPatchHeaderBytes), expected);
  EXPECT_EQ(LoadLe16(h + kPatchHeaderBytes + 2), static_cast<uint16_t>(-4900));
}

TEST(PatchArchiveWriter, CompressedPatchesHoldSigned16BitAdpcm) {
  PatchDescription p = Ramp("soft", 101);  // odd: padded with one silent point
  p.bitsPerPoint = 8;
  p.isUnsigned = true;  // both ignored: the decoder always yields signed 16-bit
  p.loopMode = LoopMode::kForward;
  p.loopStart = 20;
  p.loopEnd = 100;
  const std::vector<uint8_t> archive = BuildArchive(std::vector<PatchDescription>{p}, true);
  EXPECT_EQ(LoadLe32(&archive[0]), 1u);
  const ParsedEntry e = Entry(archive, 0);
  EXPECT_EQ(LoadLe32(e.header + kHdrDataSize), 51u);  // the compressed bytes
  // Loop points count bytes of the decoded 16-bit data.
  EXPECT_EQ(LoadLe32(e.header + kHdrLoopStart), 40u);
  EXPECT_EQ(LoadLe32(e.header + kHdrLoopEnd), 200u);
  EXPECT_EQ(e.header[kHdrModes], kMode16Bit | kModeLooping);
}

TEST(PatchArchiveWriter, RefusesNamesTheIndexCannotHold) {
  const struct { std::vector<std::string> names; const char* fragment; } cases[] = {
      {{""}, "1 to 15"},
      {{"sixteen_chars_xx"}, "1 to 15"},
      {{std::string("a\0b", 3)}, "1 to 15"},
      {{"drum", "kick", "drum"}, "used twice"},
  };
  for (const auto& c : cases) {
    std::vector<PatchDescription> patches;
    for (const std::string& name : c.names) patches.push_back(Ramp(name, 2));
    std::string error;
    EXPECT_TRUE(BuildArchive(patches, false, &error).empty());
    EXPECT_NE(error.find(c.fragment), std::string::npos) << error;
  }
  EXPECT_EQ(BuildArchive(std::vector<PatchDescription>{Ramp("fifteen_chars_x", 2)}, false).size(),
            kArchiveHeaderBytes + kIndexEntryBytes + kPatchLeadBytes + kPatchHeaderBytes + 4);
  EXPECT_EQ(BuildArchive(std::vector<PatchDescription>{}, false), std::vector<uint8_t>(8, 0));
}

// The encoder chooses its codes against the library's own decoder, so a
// wrong table entry would survive a round trip: exact decoded values pin
// the low entries here, and the compressed golden renders pin the encoder's
// output and the rest of the tables.
TEST(ImaAdpcm, DecodesHighNibbleFirstCarriesStateAndClamps) {
  // 0x70: code 7 at step 7 adds 0 + 7 + 3 + 1 = 11 and moves the index to 8
  // (step 16); code 0 then adds 16 >> 3 = 2 and moves the index back to 7.
  // 0x8F: code 8 at step 14 subtracts 1; code 15 at step 13 subtracts
  // 1 + 13 + 6 + 3 = 23.
  EXPECT_EQ(DecodeImaAdpcm({0x70, 0x8F}), (std::vector<int16_t>{11, 13, 12, -11}));
  std::vector<uint8_t> bytes(100, 0x77);  // drives the predictor to +32767
  bytes.insert(bytes.end(), 100, 0xFF);   // and down to -32768
  std::vector<int16_t> points(2 * bytes.size());
  AdpcmState state;  // carries over between calls
  DecodeAdpcmBytes(state, bytes.data(), 150, points.data());
  DecodeAdpcmBytes(state, bytes.data() + 150, 50, points.data() + 300);
  EXPECT_EQ(points, DecodeImaAdpcm(bytes));
  EXPECT_EQ(points[199], 32767);
  EXPECT_EQ(points.back(), -32768);
}

TEST(ConfigWriter, BootstrapLeavesOutUnsetKeys) {
  SoundSetConfig config;
  config.rate = 76561;
  config.channels.reset();
  config.spMidiSupported = "true";
  config.loadAll = "false";
  config.freeAtOnce = "true";
  EXPECT_EQ(BootstrapText(config),
            "# pocketmidi instrument set\r\n"
            "[FILES]\r\nCONFIG=patches.cfg\r\nPAT=patches.pat\r\n"
            "[OUTPUT]\r\nRATE=76561\r\nBITS=16\r\n"
            "[SP]\r\nSUPPORTED=true\r\n"
            "[OTHERS]\r\nPOLYPHONES=32\r\nLOADALL=false\r\nFREEATONCE=true\r\n");
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
