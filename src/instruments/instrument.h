// Loaded instruments: one or more 16-bit samples with every parameter already
// converted to the units the voice renderer uses (per control tick, Q12, Q28).
// Instruments are read-only once loaded; voices only hold pointers into them.
#pragma once

#include <cstdint>

namespace pocketmidi {

// Mode flags of a patch (header byte 46) and of a loaded PatchSample.
enum PatchMode : uint8_t {
  kMode16Bit = 1,      // stored points are 16-bit (loader only)
  kModeUnsigned = 2,   // stored points are unsigned (loader only)
  kModeLooping = 4,    // loops between loopStart and loopEnd
  kModePingPong = 8,   // the loop runs forwards and backwards
  kModeReverse = 16,   // stored backwards (loader only)
  kModeSustain = 32,   // sustaining sample (load adjustments only)
  kModeEnvelope = 64,  // the six-stage volume envelope applies
};

struct PatchSample {
  int32_t loopStart;   // Q12 points (bytes while loading)
  int32_t loopEnd;     // Q12 points (bytes while loading)
  int32_t dataLength;  // Q12 points (bytes while loading)
  int32_t sampleRate;  // Hz; 0 = already at the output rate
  int32_t lowFreq;     // milli-Hz
  int32_t highFreq;    // milli-Hz
  int32_t rootFreq;    // milli-Hz
  int32_t envRate[6];  // level change per control tick
  int32_t envOffset[6];  // target level per stage, 0..2^30
  // Q28 (268435456 = 1.0). 64-bit: amp 800 is exactly 2^31, and a quiet
  // sample normalised to full scale needs up to 2^43 (peak 1).
  uint64_t volume;
  // Signed 16-bit points, followed by one guard point (a copy of the last
  // point) so interpolation in the last interval never reads past the data.
  int16_t* data;
  int32_t tremSweepStep;
  int32_t tremPhaseStep;
  int32_t vibSweepStep;
  int32_t vibControlRatio;  // output samples per vibrato step; 0 = none
  uint8_t tremDepth;
  uint8_t vibDepth;
  uint8_t modes;       // PatchMode flags after the load adjustments
  uint8_t pan;         // 0 (left) .. 127 (right)
  int8_t fixedNote;    // 0 = none, else the note always played
};

struct Instrument {
  int32_t sampleCount;
  PatchSample* samples;  // owned, with their data
};

// One entry of the archive's sorted index, decoded (patch_archive_format.h
// has the 24 bytes it is stored in).
struct PatchIndexEntry {
  char name[16];    // NUL-terminated, at most 15 characters
  uint32_t offset;  // patch position; its header starts 4 bytes further on
  uint32_t size;    // 51 header bytes plus the stored data
};

// A node of the reference-counted instrument cache.
struct CacheNode {
  const char* name;  // the name field of the slot that loaded it (not a copy)
  Instrument* instrument;
  CacheNode* next;
  int32_t refCount;  // an 8-bit signed count kept in a 32-bit field
};

// The slot marker "needed by the song, not loaded yet".
inline Instrument* PendingInstrument() {
  return reinterpret_cast<Instrument*>(~static_cast<uintptr_t>(0));
}
inline bool IsPendingInstrument(const Instrument* instrument) {
  return instrument == PendingInstrument();
}

}  // namespace pocketmidi
