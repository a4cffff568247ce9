#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "instruments/patch_archive_fixture.h"
#include "io/byte_order.h"
#include "instruments/patch_conversions.h"
#include "instruments/patch_sample_data.h"
#include "soundset/ima_adpcm.h"

namespace pocketmidi::test::patches {
namespace {

// Ordinary header values are pinned by the golden render; these two it
// never reaches.
TEST(PatchConversions, EdgeValues) {
  EXPECT_EQ(ConvertTremoloSweep(0, 22050, 11), 0);  // no sweep: no division by zero
  // 26184 x 38 x 65536 needs 36 bits; a 32-bit product would give 17761.
  EXPECT_EQ(ConvertVibratoSweep(1, 26184, 44100), 1478634);
}

// Stored data come back as signed 16-bit points in playing order: 8-bit
// points go to the high byte, offset binary is flipped, a reversed patch is
// turned round with its loop mirrored. An LFO needs both rate and depth.
TEST(PatchLoader, EightBitReversedAndLfoGates) {
  ss::PatchDescription byte = TonePatch("byte", {-32768, 0, 32512, 32767});
  byte.bitsPerPoint = 8;
  byte.isUnsigned = true;
  ASSERT_EQ(ss::EncodePatch(byte, false).data, (std::vector<uint8_t>{0x00, 0x80, 0xFF, 0xFF}));
  ss::PatchDescription back = TonePatch("back", Ramp(100, 300));
  back.reversed = true;
  back.loopStart = 10;  // playing order; stored as bytes 40..180
  back.loopEnd = 80;
  back.tremoloRate = 50;   // depth 0
  back.vibratoDepth = 12;  // rate 0
  ASSERT_EQ(static_cast<int16_t>(LoadLe16(&ss::EncodePatch(back, false).data[0])),
            back.points[99]);  // stored backwards
  ArchiveEngine archive({byte, back}, false);

  const PatchSample* sample = archive.Load("byte");
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(sample->dataLength, 4 << 12);
  EXPECT_EQ(std::vector<int16_t>(sample->data, sample->data + 4 + kGuardPoints),
            (std::vector<int16_t>{-32768, 0, 32512, 32512, 32512, 32512}));  // guards repeat

  sample = archive.Load("back");
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(Points(*sample), back.points);
  EXPECT_EQ(sample->loopStart, 10 << 12);
  EXPECT_EQ(sample->loopEnd, 80 << 12);
  EXPECT_EQ(sample->modes & (kModeLooping | kModeReverse), kModeLooping);
  EXPECT_EQ(sample->tremPhaseStep, 0);
  EXPECT_EQ(sample->vibDepth, 0);
}

TEST(PatchLoader, VolumeLimits) {
  const struct { int32_t amp; std::vector<int16_t> points; uint64_t volume; } volumes[] = {
      {800, {5}, 2147483648u},          // exactly 2^31: the field is unsigned
      {-1, {-32768, 5}, 268443648u},    // -32768 counts as 32767
      {-1, {0, 0, 0}, 268435456u},      // silence keeps unity gain
      {-1, {2048, -100}, 1ull << 32},   // quiet samples keep every bit of 2^43 / peak
      {-1, {0, -1, 0}, 1ull << 43},
  };
  for (const auto& c : volumes) {
    ArchiveEngine archive({TonePatch("vol", c.points)}, false);
    const PatchSample* sample = archive.Load("vol", -1, c.amp);
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->volume, c.volume) << "amp " << c.amp;
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
      {"sixth offset 100", L::kForward, false, true, 10, 100, -1, -1, kLoop | kSus},
      {"reversed counts as loop", L::kOneShot, true, true, 10, 0, -1, -1, kLoop | kSus | kEnv},
      {"envelope stripped", L::kForward, false, false, 10, 0, -1, 1, kLoop | kSus},
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

// Sizes that disagree: the decoder never writes past the data, and missing
// bytes decode as silence. 1000 bytes cross the decoder's 500-byte pieces.
TEST(PatchLoader, CompressedSizesThatDisagree) {
  std::vector<int16_t> points(2000);
  for (size_t i = 0; i < points.size(); ++i) {
    points[i] = static_cast<int16_t>((i * 523) % 20000 - 10000);
  }
  const ss::EncodedPatch good = ss::EncodePatch(TonePatch("adpcm", points), true);
  ASSERT_EQ(good.data.size(), 1000u);
  const std::vector<int16_t> reference = ss::DecodeImaAdpcm(good.data);
  const struct { const char* what; uint32_t dataSize, entrySize; size_t points; } cases[] = {
      {"stream longer than the data size", 10, 1051, 20},
      {"stream shorter than the data size", 1200, 1051, 2400},
      {"entry smaller than its header: read to the end", 1000, 10, 2000},
  };
  for (const auto& c : cases) {
    ss::EncodedPatch patch = good;
    StoreLe32(&patch.header[kHdrDataSize], c.dataSize);
    std::vector<uint8_t> bytes = ss::BuildArchive({patch}, true);
    StoreLe32(&bytes[8 + 20], c.entrySize);
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
      {10, 100, 8, -1, 10 << 12, (100 << 12) + 0x800, 100 << 12, true},
      {10, 500, 0, -1, 10 << 12, limit, 100 << 12, true},
      {10, 500, 0, 1, 10 << 12, limit, limit, true},  // tail stripped at the clamped end
      {300, 500, 0, -1, limit, limit, 100 << 12, false},
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
    SCOPED_TRACE(testing::Message() << c.start << ".." << c.end);
    EXPECT_EQ(sample->loopStart, c.loopStart);
    EXPECT_EQ(sample->loopEnd, c.loopEnd);
    EXPECT_EQ(sample->dataLength, c.dataLength);
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
      {"too long for Q12 positions", 2 * kMaxSamplePoints + 2, 22050, 0, false},
      {"odd byte count", 199, 22050, 0, true},
      {"empty data", 0, 22050, 0, true},
      {"zero rate: unfiltered", 200, 0, 0, true},
  };
  for (const auto& c : cases) {
    ss::EncodedPatch patch = good;
    StoreLe32(&patch.header[kHdrDataSize], c.dataSize);
    StoreLe16(&patch.header[kHdrSampleRate], c.rate);
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
       TonePatch("near", {1}), TonePatch("zzz", {1})},
      false);
  StoreLe32(&bytes[8 + 2 * 24 + 16], 0x7FFFFFF0u);  // "far": beyond the end of the file
  StoreLe32(&bytes[8 + 3 * 24 + 16], 0xFFFFFFFEu);  // "near": beyond any seek
  std::memset(&bytes[8 + 4 * 24], 'z', 16);          // "zzz" loses its terminator
  ArchiveEngine archive(bytes);
  ASSERT_EQ(archive.OpenForFirstNotes(), 0);
  SynthEngine& engine = archive.engine();
  EXPECT_EQ(FindPatch(engine, "beta"), 51u + 4u);
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
