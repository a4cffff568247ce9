#include "soundset/patch_archive_writer.h"
#include "io/byte_order.h"

#include <gtest/gtest.h>

#include <string>

#include "instruments/instrument.h"

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

TEST(PatchArchiveWriter, IndexIsSortedInByteOrderAndPointsAtEachPatch) {
  // Upper case sorts before lower case, and '~' (126) after both.
  const std::vector<uint8_t> archive = BuildArchive(
      std::vector<PatchDescription>{Ramp("piano", 10), Ramp("Organ", 3), Ramp("~last", 1),
                                    Ramp("bass", 8)},
      false);
  ASSERT_FALSE(archive.empty());
  EXPECT_EQ(LoadLe32(&archive[0]), 0u);
  ASSERT_EQ(LoadLe32(&archive[4]), 4 * kIndexEntryBytes);
  const char* expected[] = {"Organ", "bass", "piano", "~last"};
  const uint32_t points[] = {3, 8, 10, 1};
  uint32_t end = kArchiveHeaderBytes + 4 * kIndexEntryBytes;
  for (size_t i = 0; i < 4; ++i) {
    const ParsedEntry e = Entry(archive, i);
    EXPECT_EQ(e.name, expected[i]);
    EXPECT_EQ(e.offset, end) << "patches follow each other in index order";
    EXPECT_EQ(e.size, kPatchHeaderBytes + 2 * points[i]);
    EXPECT_EQ(LoadLe32(e.header + kHdrDataSize), 2 * points[i]);
    end = e.offset + kPatchLeadBytes + e.size;
  }
  EXPECT_EQ(end, archive.size());
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

}  // namespace
}  // namespace pocketmidi::soundset
