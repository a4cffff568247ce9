// The melodic bank and drum set: opening the archive, loading the slots a
// song needs (all at once or at first note), the reference-counted cache,
// and releasing instruments.
#pragma once

#include <cstdint>

namespace pocketmidi {

class SynthEngine;
struct Instrument;

int32_t LoadInstruments(SynthEngine& engine);                    // 0, -2, -3
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
