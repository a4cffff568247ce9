#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "instruments/patch_archive_fixture.h"
#include "instruments/patch_conversions.h"
#include "instruments/patch_sample_data.h"
#include "soundset/ima_adpcm.h"

namespace pocketmidi::test::patches {
namespace {

// The writer keeps the high byte offset binary; the loader turns it back.
TEST(PatchLoader, EightBitUnsignedBecomesSigned16) {
  ss::PatchDescription patch = TonePatch("byte", {-32768, 0, 32512, 32767});
  patch.bitsPerPoint = 8;
  patch.isUnsigned = true;
  ss::EncodedPatch encoded = ss::EncodePatch(patch, false);
  ASSERT_EQ(encoded.data, (std::vector<uint8_t>{0x00, 0x80, 0xFF, 0xFF}));
  ASSERT_EQ(encoded.header[ss::kHdrModes], kModeUnsigned);
  ArchiveEngine archive(ss::BuildArchive({encoded}, false));
  const PatchSample* sample = archive.Load("byte");
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(Points(*sample), (std::vector<int16_t>{-32768, 0, 32512, 32512}));
  EXPECT_EQ(sample->dataLength, 4 << 12);
  EXPECT_EQ(sample->data[4], 32512);  // guard points repeat the last point
  EXPECT_EQ(sample->data[5], 32512);
}

TEST(PatchLoader, ReversedPatchIsTurnedRoundWithMirroredLoop) {
  ss::PatchDescription patch = TonePatch("back", Ramp(100, 300));
  patch.reversed = true;
  patch.loopStart = 10;  // playing order; stored as bytes 40..180
  patch.loopEnd = 80;
  ss::EncodedPatch encoded = ss::EncodePatch(patch, false);
  ASSERT_EQ(ss::GetU32(&encoded.header[ss::kHdrLoopStart]), 40u);
  ASSERT_EQ(ss::GetU32(&encoded.header[ss::kHdrLoopEnd]), 180u);
  ASSERT_NE(encoded.header[ss::kHdrModes] & kModeReverse, 0);
  ASSERT_EQ(static_cast<int16_t>(ss::GetU16(&encoded.data[0])), patch.points[99]);  // stored backwards
  ArchiveEngine archive(ss::BuildArchive({encoded}, false));
  const PatchSample* sample = archive.Load("back");
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(Points(*sample), patch.points);
  EXPECT_EQ(sample->loopStart, 40960);
  EXPECT_EQ(sample->loopEnd, 327680);
  EXPECT_EQ(sample->modes & (kModeLooping | kModeReverse), kModeLooping);
}

TEST(PatchLoader, FractionsConversionsAndNote) {
  ss::PatchDescription patch = TonePatch("frac", Ramp(64));
  patch.loopMode = ss::LoopMode::kForward;
  patch.loopStart = 8;
  patch.loopEnd = 40;
  patch.loopStartSixteenths = 4;  // fractions byte 0x84
  patch.loopEndSixteenths = 8;
  patch.envelopeRates.fill(0x3F);
  patch.tremoloRate = 50;  // depth 0: no tremolo
  patch.vibratoSweep = 3;
  patch.vibratoRate = 5;
  patch.vibratoDepth = 12;
  ArchiveEngine archive({patch}, false);
  const PatchSample* sample = archive.Load("frac", -1, -1, 61);
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(sample->loopStart, (8 << 12) + 0x400);
  EXPECT_EQ(sample->loopEnd, (40 << 12) + 0x800);
  EXPECT_EQ(sample->envRate[5], 726663168);  // 22050 Hz, control ratio 11
  EXPECT_EQ(sample->tremPhaseStep, 0);
  EXPECT_EQ(sample->vibControlRatio, ConvertVibratoRate(5, 22050));
  EXPECT_EQ(sample->vibSweepStep, ConvertVibratoSweep(3, sample->vibControlRatio, 22050));
  EXPECT_EQ(sample->vibDepth, 12);
  EXPECT_EQ(sample->fixedNote, 61);
}

TEST(PatchLoader, VolumeAndPan) {
  const struct { int32_t amp; std::vector<int16_t> points; uint32_t volume; } volumes[] = {
      {50, {1000, -20}, 134217728u},
      {100, {5}, 268435456u},
      {800, {5}, 2147483648u},  // exactly 2^31: the field is unsigned
      {-1, {100, -16384, 16000}, 536870912u},  // peak 16384 brought to full scale
      {-1, {-32768, 5}, 268443648u},          // -32768 counts as 32767
      {-1, {0, 0, 0}, 268435456u},            // silence keeps unity gain
      {-1, {2048, -100}, 0xFFFFFFFFu},        // 2^32 does not fit: the largest that does
  };
  for (const auto& c : volumes) {
    ArchiveEngine archive({TonePatch("vol", c.points)}, false);
    const PatchSample* sample = archive.Load("vol", -1, c.amp);
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->volume, c.volume) << "amp " << c.amp;
  }
  const struct { int8_t balance; int32_t pan; uint8_t expected; } pans[] = {
      {7, -1, 60}, {15, -1, 124}, {0, -1, 4}, {-1, -1, 124}, {7, 100, 100}, {7, 200, 72},
  };
  for (const auto& c : pans) {
    ss::PatchDescription patch = TonePatch("pan", {1, 2});
    patch.balance = c.balance;
    ArchiveEngine archive({patch}, false);
    const PatchSample* sample = archive.Load("pan", c.pan);
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->pan, c.expected) << int(c.balance) << " " << c.pan;
  }
}

TEST(PatchLoader, StripRules) {
  using L = ss::LoopMode;
  constexpr uint8_t kLoop = kModeLooping, kSus = kModeSustain, kEnv = kModeEnvelope;
  const struct {
    const char* what;
    L loop;
    bool reversed, sustain;
    uint8_t rate, offset5;  // all six envelope rates; the sixth offset
    int32_t stripLoop, stripEnvelope;
    uint8_t expected;  // modes without kMode16Bit
  } cases[] = {
      {"loop stripped", L::kPingPong, false, true, 10, 0, 1, 0, kEnv},
      {"reverse stripped too", L::kOneShot, true, false, 10, 0, 1, 0, kEnv},
      {"looping gains sustain", L::kForward, false, false, 10, 0, -1, 0, kLoop | kSus | kEnv},
      {"one-shot, automatic", L::kOneShot, false, true, 10, 0, -1, -1, 0},
      {"rates ??????", L::kForward, false, false, 0x3F, 0, -1, -1, kLoop | kSus},
      {"sixth offset 99", L::kForward, false, true, 10, 99, -1, -1, kLoop | kSus | kEnv},
      {"sixth offset 100", L::kForward, false, true, 10, 100, -1, -1, kLoop | kSus},
      {"reversed counts as loop", L::kOneShot, true, true, 10, 0, -1, -1, kLoop | kSus | kEnv},
      {"envelope stripped", L::kForward, false, false, 10, 0, -1, 1, kLoop | kSus},
      {"one-shot, kept", L::kOneShot, false, true, 10, 0, -1, 0, kSus | kEnv},
  };
  for (const auto& c : cases) {
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
  }
}

TEST(PatchLoader, CompressedPatches) {
  std::vector<int16_t> points(2000);
  for (size_t i = 0; i < points.size(); ++i) points[i] = static_cast<int16_t>((i * 523) % 20000 - 10000);
  const ss::EncodedPatch good = ss::EncodePatch(TonePatch("adpcm", points), true);
  ASSERT_EQ(good.data.size(), 1000u);
  const std::vector<int16_t> reference = ss::DecodeImaAdpcm(good.data);
  // Sizes that disagree: the decoder never writes past the data, and
  // missing bytes decode as silence.
  const struct { const char* what; uint32_t dataSize, entrySize; size_t points; } cases[] = {
      {"1000 bytes give 2000 points", 1000, 1051, 2000},
      {"stream longer than the data size", 10, 1051, 20},
      {"stream shorter than the data size", 1200, 1051, 2400},
      {"entry smaller than its header: read to the end", 1000, 10, 2000},
  };
  for (const auto& c : cases) {
    ss::EncodedPatch patch = good;
    ss::PutU32(&patch.header[ss::kHdrDataSize], c.dataSize);
    std::vector<uint8_t> bytes = ss::BuildArchive({patch}, true);
    ss::PutU32(&bytes[8 + 20], c.entrySize);
    ArchiveEngine archive(bytes);
    const PatchSample* sample = archive.Load("adpcm");
    ASSERT_NE(sample, nullptr) << c.what;
    std::vector<int16_t> expected = reference;
    expected.resize(c.points, 0);
    EXPECT_EQ(Points(*sample), expected) << c.what;
  }
}

// Loops the renderer could not survive are repaired: clamped into the data
// (a fraction past the last point may stay, the guard points cover it), and
// a loop left empty or reversed plays once through.
TEST(PatchLoader, LoopsOutsideTheDataAreRepaired) {
  const int32_t limit = (100 << 12) | 0xFFF;
  const struct {
    uint32_t start, end;  // points
    uint8_t endSixteenths;
    int32_t stripTail, loopStart, loopEnd, dataLength;
    bool loops;
  } cases[] = {
      {10, 80, 0, -1, 10 << 12, 80 << 12, 100 << 12, true},
      {10, 100, 8, -1, 10 << 12, (100 << 12) + 0x800, 100 << 12, true},
      {10, 30, 2, 1, 10 << 12, (30 << 12) + 0x200, (30 << 12) + 0x200, true},  // tail stripped
      {10, 500, 0, -1, 10 << 12, limit, 100 << 12, true},
      {10, 500, 0, 1, 10 << 12, limit, limit, true},
      {300, 500, 0, -1, limit, limit, 100 << 12, false},
      {60, 20, 0, -1, 60 << 12, 20 << 12, 100 << 12, false},
      {30, 30, 0, -1, 30 << 12, 30 << 12, 100 << 12, false},
  };
  for (const auto& c : cases) {
    ss::PatchDescription patch = TonePatch("loop", Ramp(100));
    patch.loopMode = ss::LoopMode::kPingPong;
    patch.loopStart = c.start;
    patch.loopEnd = c.end;
    patch.loopEndSixteenths = c.endSixteenths;
    ArchiveEngine archive({patch}, false);
    const PatchSample* sample = archive.Load("loop", -1, -1, -1, -1, 0, c.stripTail);
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->loopStart, c.loopStart) << c.start << ".." << c.end;
    EXPECT_EQ(sample->loopEnd, c.loopEnd) << c.start << ".." << c.end;
    EXPECT_EQ(sample->dataLength, c.dataLength) << c.start << ".." << c.end;
    EXPECT_EQ((sample->modes & (kModeLooping | kModePingPong)) != 0, c.loops);
  }
}

// Data that cannot be had fails the load cleanly (no leak, no access outside
// a buffer); odd or empty data and a zero rate still load.
TEST(PatchLoader, CorruptPatches) {
  const ss::EncodedPatch good = ss::EncodePatch(TonePatch("p", Ramp(100, 700)), false);
  const struct {
    const char* what;
    uint32_t dataSize;
    uint16_t rate;
    size_t keepBytes;  // archive bytes kept (0: all)
    bool loads;
  } cases[] = {
      {"truncated data", 200, 22050, 8 + 24 + 4 + 51 + 150, false},
      {"truncated header", 200, 22050, 8 + 24 + 4 + 30, false},
      {"huge data size", 0xFFFFFFF0u, 22050, 0, false},
      {"too long for Q12 positions", 2 * kMaxSamplePoints + 2, 22050, 0, false},
      {"odd byte count", 199, 22050, 0, true},
      {"empty data", 0, 22050, 0, true},
      {"zero rate: unfiltered", 200, 0, 0, true},
  };
  for (const auto& c : cases) {
    ss::EncodedPatch patch = good;
    ss::PutU32(&patch.header[ss::kHdrDataSize], c.dataSize);
    ss::PutU16(&patch.header[ss::kHdrSampleRate], c.rate);
    std::vector<uint8_t> bytes = ss::BuildArchive({patch}, false);
    if (c.keepBytes != 0) bytes.resize(c.keepBytes);
    ArchiveEngine archive(bytes, 8000);
    const PatchSample* sample = archive.Load("p");
    ASSERT_EQ(sample != nullptr, c.loads) << c.what;
    if (sample == nullptr) continue;
    EXPECT_EQ(sample->dataLength, static_cast<int32_t>(c.dataSize / 2) << 12) << c.what;
    if (c.rate == 0) {
      EXPECT_EQ(Points(*sample), Ramp(100, 700));
    }
  }
}

TEST(PatchLoader, FindPatchAndHostileIndexEntries) {
  std::vector<uint8_t> bytes = ss::BuildArchive(
      {TonePatch("alpha", {1}), TonePatch("beta", {1, 2}), TonePatch("far", {1}),
       TonePatch("near", {1}), TonePatch("zzz", {1})}, false);
  ss::PutU32(&bytes[8 + 2 * 24 + 16], 0x7FFFFFF0u);  // "far": beyond the end of the file
  ss::PutU32(&bytes[8 + 3 * 24 + 16], 0xFFFFFFFEu);  // "near": beyond any seek
  std::memset(&bytes[8 + 4 * 24], 'z', 16);          // "zzz" loses its terminator
  ArchiveEngine archive(bytes);
  ASSERT_EQ(archive.OpenForFirstNotes(), 0);
  SynthEngine& engine = archive.engine();
  EXPECT_EQ(FindPatch(engine, "beta"), 51u + 4u);
  EXPECT_EQ(FindPatch(engine, "alpha"), 51u + 2u);
  EXPECT_EQ(FindPatch(engine, "delta"), 0u);
  EXPECT_EQ(FindPatch(engine, ""), 0u);
  EXPECT_EQ(FindPatch(engine, "alphaalphaalphaa"), 0u);  // 16 characters cannot be stored
  EXPECT_EQ(FindPatch(engine, "near"), 0u);
  EXPECT_EQ(FindPatch(engine, "zzz"), 0u);
  EXPECT_EQ(archive.Load("far"), nullptr);
  InstrumentSlot& slot = engine.toneSlots[100];
  std::memcpy(slot.name, "betabetabetabeta", 16);  // no terminator: refused
  EXPECT_EQ(LoadPatch(engine, slot, -1, -1, -1, -1, -1, -1), nullptr);
}

}  // namespace
}  // namespace pocketmidi::test::patches
