// The melodic bank and drum set: opening the archive, loading the slots a
// song needs (all at once or at first note), the reference-counted cache,
// and releasing instruments.
#pragma once

#include <cstdint>

namespace pocketmidi {

class SynthEngine;
struct Instrument;

// Opens the archive named by the engine's directory and, when everything is
// loaded up front, loads every marked slot: kEngineOk, kEngineLoadFailed (a
// patch failed) or kEngineMissingInput (no archive). See engine_result.h.
int32_t LoadInstruments(SynthEngine& engine);
// All marked slots of one table (loadAll), or the single slot index: 0 when
// loaded, kSlotNotConfigured (also a count of them in loadAll mode) or
// kEngineLoadFailed.
int32_t LoadSlots(SynthEngine& engine, bool drum, int32_t index);
int32_t PatchNameHash(const char* name);                         // 0..127
Instrument* FindCachedInstrument(SynthEngine& engine, const char* name);
void CacheInstrument(SynthEngine& engine, Instrument* instrument, const char* name);
void FreeInstrument(Instrument* instrument);
void ReleaseFinishedInstruments(SynthEngine& engine);
void ReleaseAllInstruments(SynthEngine& engine);
// Frees the index and closes the archive, whatever of them is open.
void ClosePatchArchive(SynthEngine& engine);

}  // namespace pocketmidi
