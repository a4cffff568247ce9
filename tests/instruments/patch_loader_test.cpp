#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "instruments/patch_conversions.h"
#include "instruments/patch_loader.h"
#include "instruments/patch_sample_data.h"
#include "instruments/patch_archive_fixture.h"
#include "soundset/ima_adpcm.h"

namespace pocketmidi::test {
namespace {

constexpr uint8_t kLoopBits = kModeLooping | kModePingPong | kModeReverse | kModeSustain;

TEST(PatchLoader, EightBitUnsignedBecomesSigned16) {
  ss::PatchDescription patch = TonePatch("byte", {-32768, 0, 32512});
  patch.bitsPerPoint = 8;
  patch.isUnsigned = true;
  ss::EncodedPatch encoded = ss::EncodePatch(patch, false);
  ASSERT_EQ(encoded.data, (std::vector<uint8_t>{0x00, 0x80, 0xFF}));
  ArchiveEngine archive(ss::BuildArchive({encoded}, false));
  const PatchSample* sample = archive.Load("byte");
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(Points(*sample), (std::vector<int16_t>{-32768, 0, 32512}));
  EXPECT_EQ(sample->dataLength, 3 << 12);
  EXPECT_EQ(sample->data[3], 32512);  // guard points repeat the last point
  EXPECT_EQ(sample->data[4], 32512);
}

TEST(PatchLoader, ReversedPatchIsTurnedRoundWithMirroredLoop) {
  ss::PatchDescription patch = TonePatch("back", Ramp(100, 300));
  patch.reversed = true;
  patch.loopStart = 10;  // playing order; stored as bytes 40..180
  patch.loopEnd = 90 - 10;
  ss::EncodedPatch encoded = ss::EncodePatch(patch, false);
  ASSERT_EQ(ss::GetU32(&encoded.header[ss::kHdrLoopStart]), 40u);
  ASSERT_EQ(ss::GetU32(&encoded.header[ss::kHdrLoopEnd]), 180u);
  ArchiveEngine archive(ss::BuildArchive({encoded}, false));
  const PatchSample* sample = archive.Load("back");
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(Points(*sample), patch.points);
  EXPECT_EQ(sample->loopStart, 40960);
  EXPECT_EQ(sample->loopEnd, 327680);
  EXPECT_EQ(sample->modes & (kModeLooping | kModeReverse), kModeLooping);
}

TEST(PatchLoader, LoopFractionsAndSettings) {
  ss::PatchDescription patch = TonePatch("frac", Ramp(64));
  patch.loopMode = ss::LoopMode::kForward;
  patch.loopStart = 8;
  patch.loopEnd = 40;
  patch.loopStartSixteenths = 4;  // fractions byte 0x84
  patch.loopEndSixteenths = 8;
  patch.envelopeRates = {0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F};
  patch.tremoloRate = 50;  // depth 0: no tremolo
  patch.vibratoSweep = 3;
  patch.vibratoRate = 5;
  patch.vibratoDepth = 12;
  ArchiveEngine archive({patch}, false);
  const PatchSample* sample = archive.Load("frac", -1, -1, 61);
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(sample->loopStart, (8 << 12) + 0x400);
  EXPECT_EQ(sample->loopEnd, (40 << 12) + 0x800);
  EXPECT_EQ(sample->envRate[0], 726663168);  // 22050 Hz, control ratio 11
  EXPECT_EQ(sample->tremSweepStep, 0);
  EXPECT_EQ(sample->tremPhaseStep, 0);
  EXPECT_EQ(sample->vibControlRatio, ConvertVibratoRate(5, 22050));
  EXPECT_EQ(sample->vibSweepStep, ConvertVibratoSweep(3, sample->vibControlRatio, 22050));
  EXPECT_EQ(sample->vibDepth, 12);
  EXPECT_EQ(sample->fixedNote, 61);
}

struct VolumeCase {
  int32_t amp;
  std::vector<int16_t> points;
  uint32_t expected;
};

TEST(PatchLoader, Volume) {
  const VolumeCase cases[] = {
      {50, {1000, -20}, 134217728u},
      {100, {5}, 268435456u},
      {800, {5}, 2147483648u},  // exactly 2^31: the field is unsigned
      {0, {5}, 0u},
      {-1, {100, -16384, 16000}, 536870912u},  // peak 16384 brought to full scale
      {-1, {-32768, 5}, 268443648u},          // -32768 counts as 32767
      {-1, {0, 0, 0}, 268435456u},            // silence keeps unity gain
      {-1, {2048, -100}, 0xFFFFFFFFu},        // 2^32 does not fit: the largest that does
  };
  for (const VolumeCase& c : cases) {
    ArchiveEngine archive({TonePatch("vol", c.points)}, false);
    const PatchSample* sample = archive.Load("vol", -1, c.amp);
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->volume, c.expected) << "amp " << c.amp;
  }
}

TEST(PatchLoader, Pan) {
  const struct { int8_t balance; int32_t pan; uint8_t expected; } cases[] = {
      {7, -1, 60}, {15, -1, 124}, {0, -1, 4}, {-1, -1, 124}, {7, 100, 100}, {7, 200, 72},
  };
  for (const auto& c : cases) {
    ss::PatchDescription patch = TonePatch("pan", {1, 2});
    patch.balance = c.balance;
    ArchiveEngine archive({patch}, false);
    const PatchSample* sample = archive.Load("pan", c.pan);
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->pan, c.expected) << int(c.balance) << " " << c.pan;
  }
}

struct StripCase {
  const char* what;
  ss::LoopMode loop;
  bool reversed;
  bool sustain;
  uint8_t rate;     // all six envelope rates
  uint8_t offset5;  // sixth envelope offset
  int32_t stripLoop;
  int32_t stripEnvelope;
  uint8_t expected;  // modes without kMode16Bit
};

TEST(PatchLoader, StripRules) {
  using L = ss::LoopMode;
  const StripCase cases[] = {
      {"loop stripped", L::kPingPong, false, true, 10, 0, 1, 0, kModeEnvelope},
      {"reverse stripped too", L::kOneShot, true, false, 10, 0, 1, 0, kModeEnvelope},
      {"loop kept, gains sustain", L::kForward, false, false, 10, 0, -1, 0,
       kModeLooping | kModeSustain | kModeEnvelope},
      {"one-shot, automatic", L::kOneShot, false, true, 10, 0, -1, -1, 0},
      {"looping, rates ??????", L::kForward, false, false, 0x3F, 0, -1, -1,
       kModeLooping | kModeSustain},
      {"looping, offset 99", L::kForward, false, true, 10, 99, -1, -1,
       kModeLooping | kModeSustain | kModeEnvelope},
      {"looping, offset 100", L::kForward, false, true, 10, 100, -1, -1,
       kModeLooping | kModeSustain},
      {"reversed one-shot, automatic: turned and looping", L::kOneShot, true, true, 10, 0, -1, -1,
       kModeLooping | kModeSustain | kModeEnvelope},
      {"envelope stripped", L::kForward, false, false, 10, 0, -1, 1, kModeLooping | kModeSustain},
      {"one-shot, envelope kept", L::kOneShot, false, true, 10, 0, -1, 0,
       kModeSustain | kModeEnvelope},
  };
  for (const StripCase& c : cases) {
    ss::PatchDescription patch = TonePatch("strip", Ramp(32));
    patch.loopMode = c.loop;
    patch.loopStart = 4;
    patch.loopEnd = 28;
    patch.reversed = c.reversed;
    patch.sustain = c.sustain;
    patch.envelope = true;
    patch.envelopeRates.fill(c.rate);
    patch.envelopeOffsets[5] = c.offset5;
    ArchiveEngine archive({patch}, false);
    const PatchSample* sample = archive.Load("strip", -1, -1, -1, c.stripLoop, c.stripEnvelope);
    ASSERT_NE(sample, nullptr) << c.what;
    EXPECT_EQ(sample->modes & ~kMode16Bit, c.expected) << c.what;
    if (c.stripLoop == 1) {
      EXPECT_EQ(sample->modes & kLoopBits, 0) << c.what;
    }
  }
}

TEST(PatchLoader, StripTailEndsDataAtLoopEnd) {
  ss::PatchDescription patch = TonePatch("tail", Ramp(50));
  patch.loopMode = ss::LoopMode::kForward;
  patch.loopStart = 10;
  patch.loopEnd = 30;
  patch.loopEndSixteenths = 2;
  ArchiveEngine archive({patch}, false);
  const PatchSample* sample = archive.Load("tail", -1, -1, -1, -1, 0, 1);
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(sample->dataLength, (30 << 12) + 0x200);
  EXPECT_EQ(sample->loopEnd, sample->dataLength);
}

TEST(PatchLoader, CompressedPatchOf1000BytesGives2000Points) {
  std::vector<int16_t> points(2000);
  for (size_t i = 0; i < points.size(); ++i) points[i] = static_cast<int16_t>((i * 523) % 20000 - 10000);
  ss::EncodedPatch encoded = ss::EncodePatch(TonePatch("adpcm", points), true);
  ASSERT_EQ(encoded.data.size(), 1000u);
  ArchiveEngine archive(ss::BuildArchive({encoded}, true));
  const PatchSample* sample = archive.Load("adpcm");
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(sample->dataLength, 2000 << 12);
  EXPECT_EQ(Points(*sample), ss::DecodeImaAdpcm(encoded.data));
}

// Sizes that disagree with each other or with the file, in a compressed
// archive: the decoder never writes past the data, and missing bytes decode
// as silence.
TEST(PatchLoader, CompressedStreamAndDataSizeDisagree) {
  const std::vector<int16_t> points = Ramp(400, 77);
  const ss::EncodedPatch good = ss::EncodePatch(TonePatch("adpcm", points), true);
  const std::vector<int16_t> reference = ss::DecodeImaAdpcm(good.data);

  ss::EncodedPatch shortField = good;  // 200 stream bytes, data size says 10
  ss::PutU32(&shortField.header[ss::kHdrDataSize], 10);
  ArchiveEngine a(ss::BuildArchive({shortField}, true));
  const PatchSample* sample = a.Load("adpcm");
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(Points(*sample), std::vector<int16_t>(reference.begin(), reference.begin() + 20));

  ss::EncodedPatch longField = good;  // data size says 300, stream has 200
  ss::PutU32(&longField.header[ss::kHdrDataSize], 300);
  ArchiveEngine b(ss::BuildArchive({longField}, true));
  sample = b.Load("adpcm");
  ASSERT_NE(sample, nullptr);
  std::vector<int16_t> expected = reference;
  expected.resize(600, 0);
  EXPECT_EQ(Points(*sample), expected);

  // An index size below the header's 51 bytes: the stream runs to the end of
  // the data (here, of the file).
  std::vector<uint8_t> bytes = ss::BuildArchive({good}, true);
  ss::PutU32(&bytes[8 + 20], 10);
  ArchiveEngine c(bytes);
  sample = c.Load("adpcm");
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(Points(*sample), reference);
}

// Loop points the renderer could not survive are repaired: clamped into the
// data (a fraction past the last point may stay, the guard points cover it),
// and a loop left empty or reversed plays once through.
TEST(PatchLoader, LoopsOutsideTheDataAreRepaired) {
  const int32_t limit = (100 << 12) | 0xFFF;
  const struct {
    uint32_t start, end;  // points
    uint8_t endSixteenths;
    int32_t loopStart, loopEnd;
    bool loops;
  } cases[] = {
      {10, 80, 0, 10 << 12, 80 << 12, true},
      {10, 100, 8, 10 << 12, (100 << 12) + 0x800, true},  // fraction into the guard interval
      {10, 500, 0, 10 << 12, limit, true},
      {300, 500, 0, limit, limit, false},
      {60, 20, 0, 60 << 12, 20 << 12, false},
      {30, 30, 0, 30 << 12, 30 << 12, false},
  };
  for (const auto& c : cases) {
    ss::PatchDescription patch = TonePatch("loop", Ramp(100));
    patch.loopMode = ss::LoopMode::kPingPong;
    patch.loopStart = c.start;
    patch.loopEnd = c.end;
    patch.loopEndSixteenths = c.endSixteenths;
    ArchiveEngine archive({patch}, false);
    const PatchSample* sample = archive.Load("loop");
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->loopStart, c.loopStart) << c.start << ".." << c.end;
    EXPECT_EQ(sample->loopEnd, c.loopEnd) << c.start << ".." << c.end;
    EXPECT_EQ((sample->modes & (kModeLooping | kModePingPong)) != 0, c.loops);
    EXPECT_EQ(sample->dataLength, 100 << 12);
  }
}

// Patches whose data cannot be had fail to load cleanly (no leak, no read
// outside any buffer); odd or empty data and a zero rate still load.
TEST(PatchLoader, CorruptPatches) {
  const ss::EncodedPatch good = ss::EncodePatch(TonePatch("p", Ramp(100)), false);
  const struct {
    const char* what;
    uint32_t dataSizeField;
    size_t keepBytes;  // archive bytes kept (0: all)
    bool loads;
  } cases[] = {
      {"truncated data", 200, 8 + 24 + 4 + 51 + 150, false},
      {"truncated header", 200, 8 + 24 + 4 + 30, false},
      {"huge data size", 0xFFFFFFF0u, 0, false},
      {"data longer than Q12 positions", 2 * kMaxSamplePoints + 2, 0, false},
      {"odd byte count", 199, 0, true},
      {"empty data", 0, 0, true},
  };
  for (const auto& c : cases) {
    ss::EncodedPatch patch = good;
    ss::PutU32(&patch.header[ss::kHdrDataSize], c.dataSizeField);
    std::vector<uint8_t> bytes = ss::BuildArchive({patch}, false);
    if (c.keepBytes != 0) bytes.resize(c.keepBytes);
    ArchiveEngine archive(bytes);
    const PatchSample* sample = archive.Load("p");
    EXPECT_EQ(sample != nullptr, c.loads) << c.what;
    if (sample != nullptr) {
      EXPECT_EQ(sample->dataLength, static_cast<int32_t>(c.dataSizeField / 2) << 12) << c.what;
    }
  }
}

TEST(PatchLoader, ZeroSampleRateLoadsUnfiltered) {
  ss::PatchDescription patch = TonePatch("zero", Ramp(40, 700));
  patch.sampleRate = 0;
  ArchiveEngine archive({patch}, false, 8000);
  const PatchSample* sample = archive.Load("zero");
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(sample->sampleRate, 0);
  EXPECT_EQ(Points(*sample), patch.points);
}

TEST(PatchLoader, FindPatch) {
  ArchiveEngine archive({TonePatch("alpha", {1}), TonePatch("beta", {1, 2}), TonePatch("gamma", {3})},
                        false);
  ASSERT_EQ(archive.OpenForFirstNotes(), 0);
  SynthEngine& engine = archive.engine();
  EXPECT_EQ(FindPatch(engine, "beta"), 51u + 4u);
  EXPECT_EQ(FindPatch(engine, "gamma"), 51u + 2u);
  EXPECT_EQ(FindPatch(engine, "alpha"), 51u + 2u);
  EXPECT_EQ(FindPatch(engine, "delta"), 0u);
  EXPECT_EQ(FindPatch(engine, ""), 0u);
  EXPECT_EQ(FindPatch(engine, "alphaalphaalphaa"), 0u);  // 16 characters cannot be stored

  // A slot name filling all 16 bytes, without terminator, is refused.
  InstrumentSlot& slot = engine.toneSlots[5];
  std::memcpy(slot.name, "betabetabetabeta", 16);
  EXPECT_EQ(LoadPatch(engine, slot, -1, -1, -1, -1, -1, -1), nullptr);
}

TEST(PatchLoader, IndexEntriesPointingOutsideTheFile) {
  std::vector<uint8_t> bytes = ss::BuildArchive(
      {TonePatch("far", Ramp(10)), TonePatch("near", {1}), TonePatch("zzz", {1})}, false);
  ss::PutU32(&bytes[8 + 16], 0x7FFFFFF0u);       // "far": beyond the end of the file
  ss::PutU32(&bytes[8 + 24 + 16], 0xFFFFFFFEu);  // "near": beyond any seek
  std::memset(&bytes[8 + 48], 'z', 16);          // "zzz" loses its terminator
  ArchiveEngine archive(bytes);
  EXPECT_EQ(archive.Load("far"), nullptr);
  EXPECT_EQ(archive.Load("near"), nullptr);
  EXPECT_EQ(archive.Load("zzz"), nullptr);
  EXPECT_EQ(FindPatch(archive.engine(), "zzzzzzzzzzzzzzz"), 0u);  // 15 z: still smaller
}

}  // namespace
}  // namespace pocketmidi::test
