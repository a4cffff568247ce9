// Opening the patch archive and loading the instruments a song needs, all at
// once or each at its first note.
#include "instruments/instrument_bank.h"

#include <algorithm>
#include <cstdlib>

#include "instruments/instrument.h"
#include "instruments/patch_archive_format.h"
#include "instruments/patch_loader.h"
#include "io/file_stream.h"
#include "synth/engine_result.h"
#include "synth/synth_engine.h"

namespace pocketmidi {

namespace {

constexpr int32_t kSlotCount = 128;

// Reads the compression flag and the index. The index size comes from the
// file: it is never trusted beyond the file's own length (a corrupt size
// near 2^32 must not allocate gigabytes), and only whole entries that were
// actually read count. False only when the index memory cannot be had.
bool ReadArchiveIndex(SynthEngine& engine) {
  uint8_t bytes[kArchiveHeaderBytes] = {};
  const int32_t got = FileRead(engine.patchArchive, bytes, kArchiveHeaderBytes);
  const ArchiveHeader header = DecodeArchiveHeader(bytes);
  if (got >= 4) engine.archiveHeader = header.compression;
  uint64_t indexBytes = got >= 8 ? header.indexBytes : 0;
  const int32_t fileBytes = FileSize(engine.patchArchive);
  const uint64_t available =
      fileBytes > static_cast<int32_t>(kArchiveHeaderBytes) ? fileBytes - kArchiveHeaderBytes : 0;
  if (indexBytes > available) indexBytes = available;
  const uint32_t count = static_cast<uint32_t>(indexBytes / kIndexEntryBytes);

  // An empty index is valid (every patch is then missing); it still gets a
  // block so that "no index" and "no memory" stay apart.
  engine.patchIndex =
      static_cast<PatchIndexEntry*>(std::malloc((count > 0 ? count : 1) * sizeof(PatchIndexEntry)));
  if (engine.patchIndex == nullptr) return false;
  // Read in pieces and decoded entry by entry, in the file's byte order.
  constexpr uint32_t kEntriesPerRead = 32;
  uint8_t piece[kEntriesPerRead * kIndexEntryBytes];
  uint32_t decoded = 0;
  while (decoded < count) {
    const uint32_t want = std::min(count - decoded, kEntriesPerRead);
    const int32_t read =
        FileRead(engine.patchArchive, piece, static_cast<int32_t>(want * kIndexEntryBytes));
    const uint32_t whole = read > 0 ? static_cast<uint32_t>(read) / kIndexEntryBytes : 0;
    for (uint32_t i = 0; i < whole; ++i) {
      engine.patchIndex[decoded + i] = DecodeIndexEntry(piece + i * kIndexEntryBytes);
    }
    decoded += whole;
    if (whole < want) break;
  }
  engine.patchIndexCount = static_cast<int32_t>(decoded);
  return true;
}

// Notes which slot's patch failed and whether the archive lacks it or holds
// it in a form that cannot be loaded.
int32_t RecordPatchFailure(SynthEngine& engine, const InstrumentSlot& slot, bool drum,
                           int32_t index) {
  const OpenStage stage =
      FindPatch(engine, slot.name) == 0 ? OpenStage::kPatchMissing : OpenStage::kPatchLoad;
  RecordFailure(engine.openFailure, stage, kEngineLoadFailed, index);
  engine.openFailure.drum = drum;
  return kEngineLoadFailed;
}

// Loads one marked slot: 0 loaded, found in the cache or not marked; 1 no
// patch configured (the slot becomes silent); -2 the patch failed to load.
int32_t LoadSlot(SynthEngine& engine, bool drum, int32_t index) {
  InstrumentSlot& slot = drum ? engine.drumSlots[index] : engine.toneSlots[index];
  if (!IsPendingInstrument(slot.instrument)) return kEngineOk;
  if (slot.name[0] == '\0') {
    slot.instrument = nullptr;
    return kSlotNotConfigured;
  }
  if (Instrument* cached = FindCachedInstrument(engine, slot.name)) {
    slot.instrument = cached;
    return kEngineOk;
  }
  // Drum sounds default to their own note, without loop and envelope;
  // melodic programs default to the patch's own behaviour.
  int32_t note = slot.note;
  int32_t stripLoop = slot.stripLoop;
  int32_t stripEnvelope = slot.stripEnvelope;
  if (drum) {
    if (note == -1) note = index;
    if (stripLoop == -1) stripLoop = 1;
    if (stripEnvelope == -1) stripEnvelope = 1;
  }
  slot.instrument =
      LoadPatch(engine, slot, slot.pan, slot.amp, note, stripLoop, stripEnvelope, slot.stripTail);
  if (slot.instrument == nullptr) return RecordPatchFailure(engine, slot, drum, index);
  return kEngineOk;
}

}  // namespace

int32_t LoadInstruments(SynthEngine& engine) {
  ClosePatchArchive(engine);
  engine.patchArchive = FileOpenW(engine.directory, kOpenRead);
  if (engine.patchArchive == nullptr) {
    return RecordFailure(engine.openFailure, OpenStage::kArchiveOpen, kEngineMissingInput);
  }
  if (!ReadArchiveIndex(engine)) {
    ClosePatchArchive(engine);
    return RecordFailure(engine.openFailure, OpenStage::kArchiveIndex, kEngineLoadFailed);
  }
  if (engine.loadAll == 0) return kEngineOk;  // archive and index stay open for first notes

  int32_t result = LoadSlots(engine, false, 0);
  if (result != kEngineLoadFailed) result = LoadSlots(engine, true, 0);
  ClosePatchArchive(engine);
  return result == kEngineLoadFailed ? kEngineLoadFailed : kEngineOk;
}

int32_t LoadSlots(SynthEngine& engine, bool drum, int32_t index) {
  if (engine.loadAll != 0) {
    int32_t missing = 0;
    for (int32_t i = 0; i < kSlotCount; ++i) {
      const int32_t result = LoadSlot(engine, drum, i);
      if (result == kEngineLoadFailed) return kEngineLoadFailed;  // later slots stay marked
      missing += result;
    }
    return missing;
  }
  // A slot outside the table has nothing to play.
  if (index < 0 || index >= kSlotCount) return kSlotNotConfigured;
  return LoadSlot(engine, drum, index);
}

void ClosePatchArchive(SynthEngine& engine) {
  std::free(engine.patchIndex);
  engine.patchIndex = nullptr;
  engine.patchIndexCount = 0;
  if (engine.patchArchive != nullptr) FileClose(engine.patchArchive);
  engine.patchArchive = nullptr;
}

}  // namespace pocketmidi
