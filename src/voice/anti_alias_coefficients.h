// Half filters of the load-time anti-alias low-pass, Q28 (268435456 = 1.0).
// A half filter c0..c9 stands for the symmetric 20 taps c9..c0, c0..c9. One
// set serves every pair of rates with the same ratio.
#pragma once

#include <cstdint>

namespace pocketmidi {

constexpr int kAntiAliasHalfTaps = 10;
constexpr int kAntiAliasTaps = 2 * kAntiAliasHalfTaps;

using AntiAliasHalfFilter = int32_t[kAntiAliasHalfTaps];

constexpr AntiAliasHalfFilter kAntiAliasS1 = {154495696, -14938189, -16621717, 18862780, -9215551,
                                              -231385,   3989766,   -3002369,  822836,   235170};
constexpr AntiAliasHalfFilter kAntiAliasS2 = {120240624, 38513096, -21311907, -13442323, 8802608,
                                              5742692,   -3629148, -2158511,  1156537,   506062};
constexpr AntiAliasHalfFilter kAntiAliasS3 = {91748400, 53941072, 8678405,  -14253580, -11383308,
                                              -115704,  4632029,  2345399,  -426135,   -705673};
constexpr AntiAliasHalfFilter kAntiAliasS4 = {47801796, 41093088, 29818768, 17328014, 6791237,
                                              57854,    -2738332, -2764290, -1621406, -546599};
constexpr AntiAliasHalfFilter kAntiAliasS5 = {150163408, -5737527, -23061831, 18283858, -3875923,
                                              -4980810,  5121127,  -1537098,  -710173,  708189};
constexpr AntiAliasHalfFilter kAntiAliasS6 = {65073756, 50319784, 27845350, 7274933,  -4763936,
                                              -7503188, -4741711, -1168178, 625914,   661202};

struct AntiAliasPair {
  uint32_t outputRate;
  uint32_t sampleRate;
  const int32_t* halfFilter;
};

// The rate pairs that are filtered; any other pair is left alone.
constexpr AntiAliasPair kAntiAliasPairs[] = {
    {8000, 11025, kAntiAliasS1},  {8000, 16000, kAntiAliasS2},  {8000, 22050, kAntiAliasS3},
    {8000, 44100, kAntiAliasS4},  {11025, 16000, kAntiAliasS5}, {11025, 22050, kAntiAliasS2},
    {11025, 44100, kAntiAliasS6}, {16000, 22050, kAntiAliasS1}, {16000, 44100, kAntiAliasS3},
    {22050, 44100, kAntiAliasS2},
};

// The half filter for a pair of rates, or null.
inline const int32_t* FindAntiAliasFilter(uint32_t outputRate, uint32_t sampleRate) {
  for (const AntiAliasPair& pair : kAntiAliasPairs) {
    if (pair.outputRate == outputRate && pair.sampleRate == sampleRate) return pair.halfFilter;
  }
  return nullptr;
}

// Expands a half filter to its 20 taps rounded to Q15.
inline void AntiAliasQ15Taps(const int32_t* halfFilter, int32_t taps[kAntiAliasTaps]) {
  for (int k = 0; k < kAntiAliasHalfTaps; ++k) {
    const int32_t q15 = (halfFilter[k] + 4096) >> 13;
    taps[kAntiAliasHalfTaps - 1 - k] = q15;
    taps[kAntiAliasHalfTaps + k] = q15;
  }
}

}  // namespace pocketmidi
