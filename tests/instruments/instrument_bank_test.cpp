#include <gtest/gtest.h>

#include <vector>

#include "instruments/instrument_bank.h"
#include "io/byte_order.h"
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
  // Drum defaults: the slot's own note, loop and envelope stripped.
  const PatchSample& snare = engine.drumSlots[38].instrument->samples[0];
  EXPECT_EQ(snare.fixedNote, 38);
  EXPECT_EQ(snare.modes & (kModeLooping | kModeSustain | kModeEnvelope), 0);
  const PatchSample& organ = engine.drumSlots[40].instrument->samples[0];
  EXPECT_EQ(organ.fixedNote, 45);
  EXPECT_EQ(organ.modes & (kModeLooping | kModeEnvelope), kModeLooping | kModeEnvelope);
}

TEST(InstrumentBank, FirstNoteModeLoadsOneSlotAndKeepsTheArchiveOpen) {
  ArchiveEngine archive(Set(), false);
  SynthEngine& engine = archive.engine();
  ASSERT_EQ(archive.OpenForFirstNotes(), 0);
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
  EXPECT_EQ(LoadSlots(engine, true, 128), 1);  // outside the table: nothing to play
  EXPECT_NE(engine.patchArchive, nullptr);
}

// The index size field is never trusted beyond the file, and only whole
// entries actually read count.
TEST(InstrumentBank, ShortOrOversizedIndex) {
  const std::vector<uint8_t> full = ss::BuildArchive(Set(), false);
  const int32_t wholeFile = static_cast<int32_t>((full.size() - 8) / 24);
  const struct { const char* what; uint32_t sizeField; size_t keep; int32_t entries; } cases[] = {
      {"index cut inside entry 3", 72, 8 + 24 * 2 + 12, 2},
      {"size field near 2^32", 0xFFFFFFF0u, full.size(), wholeFile},
      {"three bytes", 72, 3, 0},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = full;
    StoreLe32(&bytes[4], c.sizeField);
    bytes.resize(c.keep);
    ArchiveEngine archive(bytes);
    ASSERT_EQ(archive.OpenForFirstNotes(), 0) << c.what;
    EXPECT_EQ(archive.engine().patchIndexCount, c.entries) << c.what;
    archive.Configure(false, 0, "organ");
    LoadSlots(archive.engine(), false, 0);  // loads or fails, never reads outside a buffer
  }
}

// Programs 0 and 1 share "piano"; release entries are recorded as NoteOff
// records them (slot, voice) and taken when that voice is free, but the
// instrument is freed only when no slot holds it and no voice plays it.
TEST(InstrumentBank, ReleaseListFreesOnlyIdleInstruments) {
  ArchiveEngine archive(Set(), false);
  SynthEngine& engine = archive.engine();
  archive.OpenForFirstNotes();
  engine.freeAtOnce = 1;
  archive.Configure(false, 0, "piano");
  archive.Configure(false, 1, "piano");
  LoadSlots(engine, false, 0);
  LoadSlots(engine, false, 1);
  Instrument* piano = engine.toneSlots[0].instrument;
  ASSERT_EQ(CountOf(engine, piano), 2);
  auto release = [&engine](int entry, int slot, int voice) {
    engine.releaseSlot[entry] = slot;
    engine.releaseVoice[entry] = voice;
    ReleaseFinishedInstruments(engine);
  };

  // The recorded voice still sounds: the entry waits.
  engine.voices[3].state = kVoiceReleasing;
  release(0, 0, 3);
  EXPECT_EQ(engine.releaseSlot[0], 0);
  EXPECT_EQ(CountOf(engine, piano), 2);
  engine.voices[3].state = kVoiceFree;
  ReleaseFinishedInstruments(engine);
  EXPECT_EQ(engine.releaseSlot[0], -1);
  EXPECT_EQ(engine.toneSlots[0].instrument, PendingInstrument());
  EXPECT_EQ(CountOf(engine, piano), 1);
  // Recorded again (after a seek) for the slot already released: the other
  // slot's count is not taken.
  release(0, 0, 3);
  EXPECT_EQ(CountOf(engine, piano), 1);

  // The recorded voice has ended while another still plays the patch: the
  // last count goes at once and the node leaves the cache, so a program
  // naming the same patch at another level loads its own; only the memory
  // waits until no voice reads it.
  engine.voices[5].state = kVoiceHeld;
  engine.voices[5].sample = &piano->samples[0];
  release(0, 1, 3);
  EXPECT_EQ(engine.releaseSlot[0], -1);
  EXPECT_EQ(engine.toneSlots[1].instrument, PendingInstrument());
  EXPECT_EQ(CountOf(engine, piano), 0);
  archive.Configure(false, 2, "piano");
  engine.toneSlots[2].amp = 50;
  EXPECT_EQ(LoadSlots(engine, false, 2), 0);
  Instrument* quieter = engine.toneSlots[2].instrument;
  ASSERT_NE(quieter, piano);
  EXPECT_EQ(quieter->samples[0].volume, 134217728u);
  EXPECT_EQ(engine.voices[5].sample->data[0], 0);  // still readable
  ReleaseFinishedInstruments(engine);
  EXPECT_NE(engine.retiredInstruments, nullptr);
  engine.voices[5].state = kVoiceFree;
  ReleaseFinishedInstruments(engine);
  EXPECT_EQ(engine.retiredInstruments, nullptr);  // freed now
}

}  // namespace
}  // namespace pocketmidi::test::patches
