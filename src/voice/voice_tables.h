// Constant lookup tables of the voice renderer. Every entry is the rule in
// the comment rounded to the nearest integer; tests/voice/voice_tables_test
// recomputes them all.
#pragma once

#include <array>
#include <cstdint>

namespace pocketmidi {

// 440000 * 2^((n - 69) / 12): frequency of MIDI note n in milli-Hz.
extern const int32_t NoteFreqTable[128];
// 2^28 * 2^(i / 3072): 1/256-semitone steps within one semitone, Q28.
extern const int32_t BendFineTable[256];
// 2^20 * 2^(i / 12): whole semitones, Q20.
extern const int32_t BendCoarseTable[128];
// WideMulHigh(BendFineTable[i & 255], BendCoarseTable[i >> 8]).hi: the Q20
// ratio of a vibrato bend of 2i or 2i + 1 units of 1/512 semitone. A bend at
// full depth is at most 2040 units, so 1024 entries hold every one.
constexpr int32_t kVibratoRatioCount = 1024;
extern const std::array<int32_t, kVibratoRatioCount> VibratoRatioTable;
// 2^28 * sin(pi * i / 512), i = 0..256: a quarter sine wave, Q28.
extern const int32_t SineTable[257];
// 2^(22 + 6i / 127): envelope gain for level >> 23, from 1/64 to 1.0, Q28.
extern const int32_t EnvGainTable[128];

}  // namespace pocketmidi
