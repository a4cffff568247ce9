#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "instruments/instrument_bank.h"
#include "instruments/patch_archive_fixture.h"

namespace pocketmidi::test {
namespace {

const CacheNode* NodeOf(const SynthEngine& engine, const Instrument* instrument) {
  for (const CacheNode* head : engine.instrumentCache) {
    for (const CacheNode* node = head; node != nullptr; node = node->next) {
      if (node->instrument == instrument) return node;
    }
  }
  return nullptr;
}

ss::PatchDescription LoopingPatch(const std::string& name) {
  ss::PatchDescription patch = TonePatch(name, Ramp(64));
  patch.loopMode = ss::LoopMode::kForward;
  patch.loopStart = 8;
  patch.loopEnd = 56;
  patch.envelope = true;
  patch.sustain = true;
  patch.envelopeRates.fill(20);
  return patch;
}

std::vector<ss::PatchDescription> Set() {
  return {LoopingPatch("organ"), LoopingPatch("piano"), LoopingPatch("snare")};
}

TEST(PatchNameHash, Buckets) {
  EXPECT_EQ(PatchNameHash(""), 0);
  EXPECT_EQ(PatchNameHash("a"), 97);
  EXPECT_EQ(PatchNameHash("ab"), 33);               // 3105 & 127
  EXPECT_EQ(PatchNameHash("piano_grand_xy"), 74);  // 7498 after the 16-bit wraps
  EXPECT_EQ(PatchNameHash("\xff"), 127);           // bytes count unsigned
}

TEST(InstrumentBank, LoadAllSharesOnePatchAndClosesTheArchive) {
  ArchiveEngine archive(Set(), false);
  SynthEngine& engine = archive.engine();
  archive.Configure(false, 0, "piano");
  archive.Configure(false, 1, "piano");
  archive.Configure(false, 2, "organ");
  ASSERT_EQ(LoadInstruments(engine), 0);
  const Instrument* piano = engine.toneSlots[0].instrument;
  ASSERT_NE(piano, nullptr);
  EXPECT_EQ(engine.toneSlots[1].instrument, piano);
  ASSERT_NE(NodeOf(engine, piano), nullptr);
  EXPECT_EQ(NodeOf(engine, piano)->refCount, 2);
  EXPECT_EQ(NodeOf(engine, engine.toneSlots[2].instrument)->refCount, 1);
  EXPECT_EQ(engine.toneSlots[3].instrument, nullptr);  // not needed, not loaded
  EXPECT_EQ(engine.patchArchive, nullptr);
  EXPECT_EQ(engine.patchIndex, nullptr);
  EXPECT_EQ(engine.patchIndexCount, 0);
}

TEST(InstrumentBank, DrumDefaults) {
  ArchiveEngine archive(Set(), false);
  SynthEngine& engine = archive.engine();
  archive.Configure(true, 38, "snare");
  archive.Configure(true, 40, "organ");
  engine.drumSlots[40].note = 45;
  engine.drumSlots[40].stripLoop = 0;
  engine.drumSlots[40].stripEnvelope = 0;
  ASSERT_EQ(LoadInstruments(engine), 0);
  const PatchSample& snare = engine.drumSlots[38].instrument->samples[0];
  EXPECT_EQ(snare.fixedNote, 38);
  EXPECT_EQ(snare.modes & (kModeLooping | kModeSustain | kModeEnvelope), 0);
  const PatchSample& organ = engine.drumSlots[40].instrument->samples[0];
  EXPECT_EQ(organ.fixedNote, 45);
  EXPECT_EQ(organ.modes & (kModeLooping | kModeEnvelope), kModeLooping | kModeEnvelope);
}

struct LoadAllCase {
  const char* what;
  std::vector<ss::PatchDescription> patches;
  const char* programName;  // configured for program 0 ("" = none)
  int32_t expected;
};

TEST(InstrumentBank, LoadAllResults) {
  const LoadAllCase cases[] = {
      {"all present", Set(), "organ", 0},
      {"no patch configured: silent, not an error", Set(), "", 0},
      {"name absent from the index", Set(), "violin", -2},
      {"empty index", {}, "organ", -2},
  };
  for (const LoadAllCase& c : cases) {
    ArchiveEngine archive(c.patches, false);
    SynthEngine& engine = archive.engine();
    archive.Configure(false, 0, c.programName);
    archive.Configure(false, 1, "piano");
    EXPECT_EQ(LoadInstruments(engine), c.expected) << c.what;
    EXPECT_EQ(engine.patchArchive, nullptr) << c.what;
    if (c.expected == -2) {
      EXPECT_EQ(engine.toneSlots[0].instrument, nullptr) << c.what;
      EXPECT_EQ(engine.toneSlots[1].instrument, PendingInstrument()) << c.what;  // stopped at once
    }
  }
}

TEST(InstrumentBank, MissingArchive) {
  ArchiveEngine archive(Set(), false);
  std::remove(archive.path().c_str());
  EXPECT_EQ(LoadInstruments(archive.engine()), -3);
  EXPECT_EQ(archive.engine().patchArchive, nullptr);
}

TEST(InstrumentBank, LoadAllCountsSlotsWithoutPatch) {
  ArchiveEngine archive(Set(), false);
  SynthEngine& engine = archive.engine();
  ASSERT_EQ(archive.OpenForFirstNotes(), 0);
  engine.loadAll = 1;
  archive.Configure(false, 3, "");
  archive.Configure(false, 9, "organ");
  EXPECT_EQ(LoadSlots(engine, false, 0), 1);
  EXPECT_EQ(engine.toneSlots[3].instrument, nullptr);
  EXPECT_NE(engine.toneSlots[9].instrument, nullptr);
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
  archive.Configure(true, 36, "snare");

  EXPECT_EQ(LoadSlots(engine, false, 3), 0);
  EXPECT_NE(engine.toneSlots[3].instrument, PendingInstrument());
  EXPECT_EQ(engine.toneSlots[7].instrument, PendingInstrument());  // only the one slot
  EXPECT_EQ(LoadSlots(engine, false, 7), 0);                        // from the cache
  EXPECT_EQ(engine.toneSlots[7].instrument, engine.toneSlots[3].instrument);
  EXPECT_EQ(NodeOf(engine, engine.toneSlots[3].instrument)->refCount, 2);
  EXPECT_EQ(LoadSlots(engine, false, 4), 0);  // not marked
  EXPECT_EQ(engine.toneSlots[4].instrument, nullptr);
  EXPECT_EQ(LoadSlots(engine, false, 5), 1);
  EXPECT_EQ(engine.toneSlots[5].instrument, nullptr);
  EXPECT_EQ(LoadSlots(engine, false, 6), -2);
  EXPECT_EQ(engine.toneSlots[6].instrument, nullptr);
  EXPECT_EQ(LoadSlots(engine, true, 36), 0);
  EXPECT_EQ(LoadSlots(engine, true, 128), 1);
  EXPECT_NE(engine.patchArchive, nullptr);
}

// The index size field is never trusted beyond the file, and only whole
// entries actually read count.
TEST(InstrumentBank, ShortOrOversizedIndex) {
  const std::vector<uint8_t> full = ss::BuildArchive(Set(), false);
  const struct {
    const char* what;
    uint32_t indexSizeField;
    size_t keepBytes;
    int32_t entries;
  } cases[] = {
      {"index cut inside entry 3", 72, 8 + 24 * 2 + 12, 2},
      {"size field near 2^32", 0xFFFFFFF0u, 0, 0},  // entries = file bytes / 24, all kept
      {"remainder below one entry", 24 * 2 + 23, 0, 2},
      {"header only", 72, 8, 0},
      {"three bytes", 72, 3, 0},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = full;
    ss::PutU32(&bytes[4], c.indexSizeField);
    if (c.keepBytes != 0) bytes.resize(c.keepBytes);
    ArchiveEngine archive(bytes);
    SynthEngine& engine = archive.engine();
    ASSERT_EQ(archive.OpenForFirstNotes(), 0) << c.what;
    const int32_t expected =
        c.entries != 0 || c.keepBytes != 0 ? c.entries : static_cast<int32_t>((bytes.size() - 8) / 24);
    EXPECT_EQ(engine.patchIndexCount, expected) << c.what;
    archive.Configure(false, 0, "organ");
    LoadSlots(engine, false, 0);  // loads or fails, never reads outside a buffer
  }
}

class ReleaseList : public ::testing::Test {
 protected:
  ReleaseList() : archive_(Set(), false), engine_(archive_.engine()) {
    archive_.OpenForFirstNotes();
    engine_.freeAtOnce = 1;
    archive_.Configure(false, 0, "piano");
    archive_.Configure(false, 1, "piano");
    EXPECT_EQ(LoadSlots(engine_, false, 0), 0);
    EXPECT_EQ(LoadSlots(engine_, false, 1), 0);
    piano_ = engine_.toneSlots[0].instrument;
  }
  void Record(int entry, int slot, int voice) {
    engine_.releaseIsDrum[entry] = 0;
    engine_.releaseSlot[entry] = slot;
    engine_.releaseVoice[entry] = voice;
  }
  ArchiveEngine archive_;
  SynthEngine& engine_;
  Instrument* piano_ = nullptr;
};

TEST_F(ReleaseList, FreedOnlyAfterBothProgramsFinished) {
  Record(0, 0, 3);
  ReleaseFinishedInstruments(engine_);
  EXPECT_EQ(engine_.releaseSlot[0], -1);
  EXPECT_EQ(engine_.toneSlots[0].instrument, PendingInstrument());
  EXPECT_EQ(engine_.toneSlots[1].instrument, piano_);
  EXPECT_EQ(NodeOf(engine_, piano_)->refCount, 1);

  Record(0, 1, 3);
  ReleaseFinishedInstruments(engine_);
  EXPECT_EQ(engine_.toneSlots[1].instrument, PendingInstrument());
  EXPECT_EQ(NodeOf(engine_, piano_), nullptr);

  EXPECT_EQ(LoadSlots(engine_, false, 1), 0);  // a later note loads it again
  EXPECT_EQ(NodeOf(engine_, engine_.toneSlots[1].instrument)->refCount, 1);
}

TEST_F(ReleaseList, WaitsForTheRecordedVoiceAndStopsAtTheFirstEmptyEntry) {
  engine_.voices[3].state = kVoiceReleasing;
  Record(0, 0, 3);
  Record(1, 1, -1);  // no voice was found: waits for ever
  Record(3, 1, 4);   // behind an empty entry: not reached
  ReleaseFinishedInstruments(engine_);
  EXPECT_EQ(engine_.releaseSlot[0], 0);
  EXPECT_EQ(engine_.releaseSlot[1], 1);
  EXPECT_EQ(engine_.releaseSlot[3], 1);
  EXPECT_EQ(NodeOf(engine_, piano_)->refCount, 2);
  engine_.voices[3].state = kVoiceFree;
  ReleaseFinishedInstruments(engine_);
  EXPECT_EQ(engine_.releaseSlot[0], -1);
  EXPECT_EQ(NodeOf(engine_, piano_)->refCount, 1);
}

// The recorded voice has ended, but another voice still plays the patch: the
// instrument is not freed under it. The entry waits and is retried.
TEST_F(ReleaseList, InstrumentStillSoundingIsKept) {
  Record(0, 0, 3);
  ReleaseFinishedInstruments(engine_);  // count 2 -> 1
  engine_.voices[5].state = kVoiceHeld;
  engine_.voices[5].sample = &piano_->samples[0];
  Record(0, 1, 3);
  ReleaseFinishedInstruments(engine_);
  EXPECT_EQ(engine_.releaseSlot[0], 1);
  EXPECT_EQ(engine_.toneSlots[1].instrument, piano_);
  ASSERT_NE(NodeOf(engine_, piano_), nullptr);

  engine_.voices[5].state = kVoiceFree;
  ReleaseFinishedInstruments(engine_);
  EXPECT_EQ(engine_.releaseSlot[0], -1);
  EXPECT_EQ(engine_.toneSlots[1].instrument, PendingInstrument());
  EXPECT_EQ(NodeOf(engine_, piano_), nullptr);
}

// An entry recorded twice for a slot that already gave its instrument back
// must not take the other slot's count.
TEST_F(ReleaseList, SlotAlreadyReleasedKeepsOthersCount) {
  Record(0, 0, 3);
  ReleaseFinishedInstruments(engine_);
  Record(0, 0, 3);
  ReleaseFinishedInstruments(engine_);
  EXPECT_EQ(engine_.releaseSlot[0], -1);
  EXPECT_EQ(engine_.toneSlots[0].instrument, PendingInstrument());
  ASSERT_NE(NodeOf(engine_, piano_), nullptr);
  EXPECT_EQ(NodeOf(engine_, piano_)->refCount, 1);
}

// An instrument whose cache node could not be allocated is still freed with
// the engine (checked by the leak sanitizer).
TEST(InstrumentBank, UncachedInstrumentIsFreedWithTheEngine) {
  ArchiveEngine archive(Set(), false);
  SynthEngine& engine = archive.engine();
  archive.Configure(false, 0, "organ");
  ASSERT_EQ(LoadInstruments(engine), 0);
  const int32_t bucket = PatchNameHash("organ");
  CacheNode* node = engine.instrumentCache[bucket];
  ASSERT_NE(node, nullptr);
  engine.instrumentCache[bucket] = node->next;
  std::free(node);
  ReleaseAllInstruments(engine);
  EXPECT_EQ(engine.toneSlots[0].instrument, nullptr);
  EXPECT_EQ(engine.toneSlots[0].name[0], '\0');
}

}  // namespace
}  // namespace pocketmidi::test
