// Finding and loading one named patch of the archive into an Instrument.
#pragma once

#include <cstdint>

namespace pocketmidi {

class SynthEngine;
struct FileStream;
struct Instrument;
struct InstrumentSlot;

// Binary search of the index; on success positions the archive at the patch
// header and returns the entry's size, else 0.
uint32_t FindPatch(SynthEngine& engine, const char* name);

// Loads the patch named by slot.name with the resolved per-slot settings
// (-1 = from the patch). Enters it in the cache. Null on any failure.
Instrument* LoadPatch(SynthEngine& engine, InstrumentSlot& slot, int32_t pan, int32_t amp,
                      int32_t note, int32_t stripLoop, int32_t stripEnvelope, int32_t stripTail);

// Decodes compressedBytes of IMA ADPCM from the archive into destination
// (at most destinationPoints points are written).
void DecodeAdpcmStream(FileStream* archive, int16_t* destination, uint32_t destinationPoints,
                       uint32_t compressedBytes);

}  // namespace pocketmidi
