#include "soundset/patch_archive_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "instruments/instrument.h"
#include "soundset/ima_adpcm.h"

namespace pocketmidi::soundset {
namespace {

// The header of the patch at index position i, with the entry's fields.
struct ParsedEntry {
  std::string name;
  uint32_t offset;
  uint32_t size;
  const uint8_t* header;
};

ParsedEntry Entry(const std::vector<uint8_t>& archive, size_t i) {
  const uint8_t* entry = &archive[kArchiveHeaderBytes + i * kIndexEntryBytes];
  ParsedEntry parsed{reinterpret_cast<const char*>(entry), GetU32(entry + 16), GetU32(entry + 20),
                     nullptr};
  EXPECT_LE(parsed.offset + kPatchLeadBytes + parsed.size, archive.size());
  parsed.header = &archive[parsed.offset + kPatchLeadBytes];
  return parsed;
}

PatchDescription Ramp(const std::string& name, int count) {
  PatchDescription p;
  p.name = name;
  for (int i = 0; i < count; ++i) p.points.push_back(static_cast<int16_t>(i * 100 - 5000));
  return p;
}

TEST(PatchArchiveWriter, IndexIsSortedInByteOrderAndPointsAtEachPatch) {
  // Upper case sorts before lower case, and '~' (126) after both.
  const std::vector<PatchDescription> patches = {Ramp("piano", 10), Ramp("Organ", 3),
                                                 Ramp("~last", 1), Ramp("bass", 8)};
  const std::vector<uint8_t> archive = BuildArchive(patches, false);
  ASSERT_FALSE(archive.empty());
  EXPECT_EQ(GetU32(&archive[0]), 0u);
  ASSERT_EQ(GetU32(&archive[4]), 4 * kIndexEntryBytes);
  const char* expected[] = {"Organ", "bass", "piano", "~last"};
  const uint32_t points[] = {3, 8, 10, 1};
  uint32_t end = kArchiveHeaderBytes + 4 * kIndexEntryBytes;
  for (size_t i = 0; i < 4; ++i) {
    const ParsedEntry e = Entry(archive, i);
    EXPECT_EQ(e.name, expected[i]);
    EXPECT_EQ(e.offset, end) << "patches follow each other in index order";
    EXPECT_EQ(e.size, kPatchHeaderBytes + 2 * points[i]);
    EXPECT_EQ(GetU32(e.header + kHdrDataSize), 2 * points[i]);
    end = e.offset + kPatchLeadBytes + e.size;
  }
  EXPECT_EQ(end, archive.size());
}

TEST(PatchArchiveWriter, HeaderFieldsLandAtTheirOffsets) {
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
  const std::vector<uint8_t> archive = BuildArchive({p}, false);
  const uint8_t* h = Entry(archive, 0).header;
  EXPECT_EQ(h[kHdrFractions], 0x84);
  EXPECT_EQ(GetU32(h + kHdrLoopStart), 16u);
  EXPECT_EQ(GetU32(h + kHdrLoopEnd), 120u);
  EXPECT_EQ(GetU16(h + kHdrSampleRate), 44100);
  EXPECT_EQ(GetU32(h + kHdrLowFreq), 100000u);
  EXPECT_EQ(GetU32(h + kHdrHighFreq), 900000u);
  EXPECT_EQ(GetU32(h + kHdrRootFreq), 440000u);
  EXPECT_EQ(h[kHdrBalance], 15);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(h[kHdrEnvelopeRates + i], p.envelopeRates[i]);
    EXPECT_EQ(h[kHdrEnvelopeOffsets + i], p.envelopeOffsets[i]);
    EXPECT_EQ(h[kHdrTremoloSweep + i], 11 + i);
  }
  EXPECT_EQ(h[kHdrModes], 128 | 64 | 8 | 4 | 1);
  EXPECT_EQ(GetU32(h + kHdrReserved), 0xA1B2C3D4u);
  EXPECT_EQ(GetU16(h + kPatchHeaderBytes + 2), static_cast<uint16_t>(-4900));
}

TEST(PatchArchiveWriter, CompressedPatchesHoldSigned16BitAdpcm) {
  PatchDescription p = Ramp("soft", 101);  // odd: padded with one silent point
  p.bitsPerPoint = 8;
  p.isUnsigned = true;  // both ignored: the decoder always yields signed 16-bit
  p.loopMode = LoopMode::kForward;
  p.loopStart = 20;
  p.loopEnd = 100;
  const std::vector<uint8_t> archive = BuildArchive({p}, true);
  EXPECT_EQ(GetU32(&archive[0]), 1u);
  const ParsedEntry e = Entry(archive, 0);
  EXPECT_EQ(e.size, kPatchHeaderBytes + 51);
  EXPECT_EQ(GetU32(e.header + kHdrDataSize), 51u);
  // Loop points count bytes of the decoded 16-bit data.
  EXPECT_EQ(GetU32(e.header + kHdrLoopStart), 40u);
  EXPECT_EQ(GetU32(e.header + kHdrLoopEnd), 200u);
  EXPECT_EQ(e.header[kHdrModes], kMode16Bit | kModeLooping);
  const uint8_t* data = e.header + kPatchHeaderBytes;
  EXPECT_EQ(std::vector<uint8_t>(data, data + 51), EncodeImaAdpcm(p.points));
}

TEST(PatchArchiveWriter, RefusesNamesTheIndexCannotHold) {
  const struct {
    std::vector<std::string> names;
    const char* fragment;
  } cases[] = {
      {{""}, "1 to 15"},
      {{"sixteen_chars_xx"}, "1 to 15"},
      {{"drum", "kick", "drum"}, "used twice"},
  };
  for (const auto& c : cases) {
    std::vector<PatchDescription> patches;
    for (const std::string& name : c.names) patches.push_back(Ramp(name, 2));
    std::string error;
    EXPECT_TRUE(BuildArchive(patches, false, &error).empty());
    EXPECT_NE(error.find(c.fragment), std::string::npos) << error;
  }
  std::string error;
  EXPECT_EQ(
      BuildArchive(std::vector<PatchDescription>{Ramp("fifteen_chars_x", 2)}, false, &error).size(),
      kArchiveHeaderBytes + kIndexEntryBytes + kPatchLeadBytes + kPatchHeaderBytes + 4);
}

TEST(PatchArchiveWriter, EmptyArchiveHasAnEmptyIndex) {
  const std::vector<uint8_t> archive = BuildArchive(std::vector<PatchDescription>{}, false);
  EXPECT_EQ(archive, std::vector<uint8_t>(8, 0));
}

}  // namespace
}  // namespace pocketmidi::soundset
