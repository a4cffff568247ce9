#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "instruments/instrument_bank.h"
#include "instruments/patch_archive_fixture.h"

namespace pocketmidi::test::patches {
namespace {

int32_t CountOf(const SynthEngine& engine, const Instrument* instrument) {
  for (const CacheNode* head : engine.instrumentCache) {
    for (const CacheNode* node = head; node != nullptr; node = node->next) {
      if (node->instrument == instrument) return node->refCount;
    }
  }
  return 0;  // not cached
}

// Three looping patches with a real envelope.
std::vector<ss::PatchDescription> Set() {
  std::vector<ss::PatchDescription> set;
  for (const char* name : {"organ", "piano", "snare"}) {
    ss::PatchDescription patch = TonePatch(name, Ramp(64));
    patch.loopMode = ss::LoopMode::kForward;
    patch.loopStart = 8;
    patch.loopEnd = 56;
    patch.envelope = patch.sustain = true;
    patch.envelopeRates.fill(20);
    set.push_back(patch);
  }
  return set;
}

TEST(InstrumentBank, PatchNameHash) {
  EXPECT_EQ(PatchNameHash(""), 0);
  EXPECT_EQ(PatchNameHash("ab"), 33);              // 3105 & 127
  EXPECT_EQ(PatchNameHash("piano_grand_xy"), 74);  // 7498 after the 16-bit wraps
  EXPECT_EQ(PatchNameHash("\xff"), 127);           // bytes count unsigned
}

TEST(InstrumentBank, LoadAllSharesOnePatchAndClosesTheArchive) {
  ArchiveEngine archive(Set(), false);
  SynthEngine& engine = archive.engine();
  archive.Configure(false, 0, "piano");
  archive.Configure(false, 1, "piano");
  archive.Configure(true, 38, "snare");
  archive.Configure(true, 40, "organ");
  engine.drumSlots[40].note = 45;
  engine.drumSlots[40].stripLoop = engine.drumSlots[40].stripEnvelope = 0;
  ASSERT_EQ(LoadInstruments(engine), 0);
  EXPECT_EQ(engine.toneSlots[1].instrument, engine.toneSlots[0].instrument);
  EXPECT_EQ(CountOf(engine, engine.toneSlots[0].instrument), 2);
  EXPECT_EQ(engine.toneSlots[2].instrument, nullptr);  // not needed, not loaded
  EXPECT_EQ(engine.patchArchive, nullptr);
  EXPECT_EQ(engine.patchIndex, nullptr);
  EXPECT_EQ(engine.patchIndexCount, 0);
  // Drum defaults: the slot's own note, loop and envelope stripped.
  const PatchSample& snare = engine.drumSlots[38].instrument->samples[0];
  EXPECT_EQ(snare.fixedNote, 38);
  EXPECT_EQ(snare.modes & (kModeLooping | kModeSustain | kModeEnvelope), 0);
  const PatchSample& organ = engine.drumSlots[40].instrument->samples[0];
  EXPECT_EQ(organ.fixedNote, 45);
  EXPECT_EQ(organ.modes & (kModeLooping | kModeEnvelope), kModeLooping | kModeEnvelope);
}

TEST(InstrumentBank, LoadAllResults) {
  const struct {
    const char* what;
    std::vector<ss::PatchDescription> patches;
    const char* program0;  // "" = nothing configured
    bool deleteArchive;
    int32_t expected;
  } cases[] = {
      {"no patch configured: silent, not an error", Set(), "", false, 0},
      {"name absent from the index", Set(), "violin", false, -2},
      {"no archive", Set(), "organ", true, -3},
  };
  for (const auto& c : cases) {
    ArchiveEngine archive(c.patches, false);
    SynthEngine& engine = archive.engine();
    if (c.deleteArchive) std::remove(archive.path().c_str());
    archive.Configure(false, 0, c.program0);
    archive.Configure(false, 1, "piano");
    EXPECT_EQ(LoadInstruments(engine), c.expected) << c.what;
    EXPECT_EQ(engine.patchArchive, nullptr) << c.what;
    if (c.expected == -2) {
      EXPECT_EQ(engine.toneSlots[0].instrument, nullptr) << c.what;
      EXPECT_EQ(engine.toneSlots[1].instrument, PendingInstrument()) << c.what;  // stopped at once
    }
  }
}

TEST(InstrumentBank, FirstNoteModeLoadsOneSlotAndKeepsTheArchiveOpen) {
  ArchiveEngine archive(Set(), false);
  SynthEngine& engine = archive.engine();
  ASSERT_EQ(archive.OpenForFirstNotes(), 0);
  EXPECT_EQ(engine.patchIndexCount, 3);
  archive.Configure(false, 3, "piano");
  archive.Configure(false, 7, "piano");
  archive.Configure(false, 5, "");
  archive.Configure(false, 6, "violin");
  EXPECT_EQ(LoadSlots(engine, false, 3), 0);
  EXPECT_EQ(engine.toneSlots[7].instrument, PendingInstrument());  // only the one slot
  EXPECT_EQ(LoadSlots(engine, false, 7), 0);                        // from the cache
  EXPECT_EQ(engine.toneSlots[7].instrument, engine.toneSlots[3].instrument);
  EXPECT_EQ(CountOf(engine, engine.toneSlots[3].instrument), 2);
  EXPECT_EQ(LoadSlots(engine, false, 4), 0);  // not marked: stays null
  EXPECT_EQ(engine.toneSlots[4].instrument, nullptr);
  EXPECT_EQ(LoadSlots(engine, false, 5), 1);
  EXPECT_EQ(LoadSlots(engine, false, 6), -2);
  EXPECT_EQ(engine.toneSlots[6].instrument, nullptr);
  EXPECT_EQ(LoadSlots(engine, true, 128), 1);
  EXPECT_NE(engine.patchArchive, nullptr);
  // Load-all mode walks the table and counts the marked slots without a patch.
  engine.loadAll = 1;
  archive.Configure(false, 5, "");
  archive.Configure(false, 9, "organ");
  EXPECT_EQ(LoadSlots(engine, false, 0), 1);
  EXPECT_NE(engine.toneSlots[9].instrument, nullptr);
}

// The index size field is never trusted beyond the file, and only whole
// entries actually read count.
TEST(InstrumentBank, ShortOrOversizedIndex) {
  const std::vector<uint8_t> full = ss::BuildArchive(Set(), false);
  const int32_t wholeFile = static_cast<int32_t>((full.size() - 8) / 24);
  const struct { const char* what; uint32_t sizeField; size_t keep; int32_t entries; } cases[] = {
      {"index cut inside entry 3", 72, 8 + 24 * 2 + 12, 2},
      {"size field near 2^32", 0xFFFFFFF0u, full.size(), wholeFile},
      {"remainder below one entry", 24 * 2 + 23, full.size(), 2},
      {"header only", 72, 8, 0},
      {"three bytes", 72, 3, 0},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = full;
    ss::PutU32(&bytes[4], c.sizeField);
    bytes.resize(c.keep);
    ArchiveEngine archive(bytes);
    ASSERT_EQ(archive.OpenForFirstNotes(), 0) << c.what;
    EXPECT_EQ(archive.engine().patchIndexCount, c.entries) << c.what;
    archive.Configure(false, 0, "organ");
    LoadSlots(archive.engine(), false, 0);  // loads or fails, never reads outside a buffer
  }
}

// Archives with a few bytes changed anywhere (header, index, patch headers,
// data) load or fail, never touching memory outside a buffer (run under the
// address sanitizer).
TEST(InstrumentBank, CorruptedArchivesLoadOrFailCleanly) {
  for (bool compressed : {false, true}) {
    const std::vector<uint8_t> good = ss::BuildArchive(Set(), compressed);
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    for (int round = 0; round < 150; ++round) {
      std::vector<uint8_t> bytes = good;
      for (uint32_t i = 0, changes = 1 + next() % 6; i < changes; ++i) {
        // Mostly the first 200 bytes, where the sizes and offsets are.
        const size_t at = next() % (next() % 4 == 0 ? bytes.size() : 200);
        bytes[at] = static_cast<uint8_t>(next() % 4 == 0 ? 0xFF : next());
      }
      if (next() % 8 == 0) bytes.resize(next() % bytes.size());
      ArchiveEngine archive(bytes, next() % 2 ? 8000 : 44100);
      archive.Configure(false, 0, "organ");
      archive.Configure(false, 1, "piano");
      archive.Configure(true, 38, "snare");
      const int32_t result = LoadInstruments(archive.engine());
      EXPECT_TRUE(result == 0 || result == -2) << round;
    }
  }
}

// Programs 0 and 1 share "piano"; release entries are recorded as NoteOff
// records them (slot, voice) and taken when that voice is free.
class ReleaseList : public ::testing::Test {
 protected:
  ReleaseList() : archive_(Set(), false), engine_(archive_.engine()) {
    archive_.OpenForFirstNotes();
    engine_.freeAtOnce = 1;
    archive_.Configure(false, 0, "piano");
    archive_.Configure(false, 1, "piano");
    LoadSlots(engine_, false, 0);
    LoadSlots(engine_, false, 1);
    piano_ = engine_.toneSlots[0].instrument;
  }
  void Release(int entry, int slot, int voice) {
    engine_.releaseSlot[entry] = slot;
    engine_.releaseVoice[entry] = voice;
    ReleaseFinishedInstruments(engine_);
  }
  ArchiveEngine archive_;
  SynthEngine& engine_;
  Instrument* piano_ = nullptr;
};

TEST_F(ReleaseList, FreedOnlyWhenNoSlotHoldsAndNoVoicePlaysIt) {
  ASSERT_EQ(CountOf(engine_, piano_), 2);
  Release(0, 0, 3);
  EXPECT_EQ(engine_.releaseSlot[0], -1);
  EXPECT_EQ(engine_.toneSlots[0].instrument, PendingInstrument());
  EXPECT_EQ(engine_.toneSlots[1].instrument, piano_);
  EXPECT_EQ(CountOf(engine_, piano_), 1);
  // Recorded again (after a seek) for the slot already released: the other
  // slot's count is not taken.
  Release(0, 0, 3);
  EXPECT_EQ(CountOf(engine_, piano_), 1);

  // The recorded voice has ended but another still plays the patch: the
  // entry waits and is retried.
  engine_.voices[5].state = kVoiceHeld;
  engine_.voices[5].sample = &piano_->samples[0];
  Release(0, 1, 3);
  EXPECT_EQ(engine_.releaseSlot[0], 1);
  EXPECT_EQ(engine_.toneSlots[1].instrument, piano_);
  EXPECT_EQ(CountOf(engine_, piano_), 1);
  engine_.voices[5].state = kVoiceFree;
  ReleaseFinishedInstruments(engine_);
  EXPECT_EQ(engine_.releaseSlot[0], -1);
  EXPECT_EQ(engine_.toneSlots[1].instrument, PendingInstrument());
  EXPECT_EQ(CountOf(engine_, piano_), 0);      // freed
  EXPECT_EQ(LoadSlots(engine_, false, 1), 0);  // a later note loads it again
  EXPECT_EQ(CountOf(engine_, engine_.toneSlots[1].instrument), 1);
}

TEST_F(ReleaseList, WaitsForTheRecordedVoiceAndStopsAtTheFirstEmptyEntry) {
  engine_.voices[3].state = kVoiceReleasing;
  engine_.releaseSlot[1] = 1;  // no voice was found: waits for ever
  engine_.releaseVoice[1] = -1;
  engine_.releaseSlot[3] = 1;  // behind an empty entry: not reached
  engine_.releaseVoice[3] = 4;
  Release(0, 0, 3);
  EXPECT_EQ(engine_.releaseSlot[0], 0);
  EXPECT_EQ(engine_.releaseSlot[1], 1);
  EXPECT_EQ(engine_.releaseSlot[3], 1);
  EXPECT_EQ(CountOf(engine_, piano_), 2);
  engine_.voices[3].state = kVoiceFree;
  ReleaseFinishedInstruments(engine_);
  EXPECT_EQ(engine_.releaseSlot[0], -1);
  EXPECT_EQ(CountOf(engine_, piano_), 1);
}

// An instrument whose cache node could not be allocated is still freed with
// the engine (the leak sanitizer checks it).
TEST(InstrumentBank, UncachedInstrumentIsFreedWithTheEngine) {
  ArchiveEngine archive(Set(), false);
  SynthEngine& engine = archive.engine();
  archive.Configure(false, 0, "organ");
  ASSERT_EQ(LoadInstruments(engine), 0);
  CacheNode*& head = engine.instrumentCache[PatchNameHash("organ")];
  CacheNode* node = head;
  ASSERT_NE(node, nullptr);
  head = node->next;
  std::free(node);
  ReleaseAllInstruments(engine);
  EXPECT_EQ(engine.toneSlots[0].instrument, nullptr);
  EXPECT_EQ(engine.toneSlots[0].name[0], '\0');
}

}  // namespace
}  // namespace pocketmidi::test::patches
