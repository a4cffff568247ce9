// The AVX2 set, chosen at run time on x86-64 CPUs that have it. The
// interpolation fetches both neighbouring points of eight positions with one
// 32-bit gather (point index x 2 bytes) and weighs them with the 16-bit
// multiply-add of the SSE2 set: (a x (4096 - f) + b x f) >> 12 equals
// a + (((b - a) x f) >> 12).
#include "voice/kernel_set.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <cpuid.h>
#include <immintrin.h>


#include "voice/scalar_kernels.h"
#include "voice/tremolo_ticks.h"
#include "voice/voice_tables.h"

#define POCKETMIDI_AVX2 __attribute__((target("avx2")))

namespace pocketmidi {

namespace {

POCKETMIDI_AVX2 inline __m256i PairWeights(__m256i positions) {
  const __m256i f = _mm256_and_si256(positions, _mm256_set1_epi32(kPositionFractionMask));
  return _mm256_sub_epi32(
      _mm256_add_epi32(_mm256_slli_epi32(f, 16), _mm256_set1_epi32(kPositionOne)), f);
}

POCKETMIDI_AVX2 inline __m256i InterpolateEight(const int16_t* data, __m256i positions) {
  // Positions are below 2^31: the logical shift is the point index.
  const __m256i index = _mm256_srli_epi32(positions, kPositionFractionBits);
  const __m256i pairs = _mm256_i32gather_epi32(reinterpret_cast<const int*>(data), index, 2);
  return _mm256_srai_epi32(_mm256_madd_epi16(pairs, PairWeights(positions)),
                           kPositionFractionBits);
}

// The last 1..7 points of a run: the lanes past the run are masked off, so
// the gather reads nothing for them (their positions may be outside the
// data); all eight values are stored, into the output's overshoot room.
POCKETMIDI_AVX2 inline void InterpolateTail(const int16_t* data, __m256i positions,
                                            int16_t* out, int32_t n) {
  const __m256i mask =
      _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  const __m256i index = _mm256_and_si256(_mm256_srli_epi32(positions, kPositionFractionBits), mask);
  const __m256i pairs = _mm256_mask_i32gather_epi32(_mm256_setzero_si256(),
                                                    reinterpret_cast<const int*>(data), index,
                                                    mask, 2);
  const __m256i values = _mm256_srai_epi32(_mm256_madd_epi16(pairs, PairWeights(positions)),
                                           kPositionFractionBits);
  const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(values, values), 0xD8);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
}

POCKETMIDI_AVX2 void Interpolate(const int16_t* data, int32_t positionQ12, int32_t stepQ12,
                                 int16_t* out, int32_t n) {
  const uint32_t step = static_cast<uint32_t>(stepQ12);
  int32_t i = 0;
  if (n >= 4) {
    const __m256i ramp = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i lanes = _mm256_add_epi32(_mm256_set1_epi32(positionQ12),
                                     _mm256_mullo_epi32(ramp, _mm256_set1_epi32(stepQ12)));
    const __m256i step8 = _mm256_set1_epi32(static_cast<int32_t>(8 * step));
    for (; i + 16 <= n; i += 16) {
      const __m256i low = InterpolateEight(data, lanes);
      lanes = _mm256_add_epi32(lanes, step8);
      const __m256i high = InterpolateEight(data, lanes);
      lanes = _mm256_add_epi32(lanes, step8);
      // The pack works within 128-bit halves; the permute puts the sixteen
      // values back in order. No value saturates (each lies between two
      // 16-bit points).
      const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(low, high), 0xD8);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), packed);
    }
    if (i + 8 <= n) {
      const __m256i values = InterpolateEight(data, lanes);
      lanes = _mm256_add_epi32(lanes, step8);
      const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(values, values), 0xD8);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm256_castsi256_si128(packed));
      i += 8;
    }
    if (i < n) {
      InterpolateTail(data, lanes, out + i, n - i);
      return;
    }
  }
  const uint32_t rest = static_cast<uint32_t>(positionQ12) + static_cast<uint32_t>(i) * step;
  InterpolateRunScalar(data, static_cast<int32_t>(rest), stepQ12, out + i, n - i);
}

POCKETMIDI_AVX2 inline __m256i Load(const int32_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

POCKETMIDI_AVX2 inline void AddTo(int32_t* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_add_epi32(Load(p), v));
}

// Eight points sign-extended to 32-bit lanes: as 16-bit pairs (p, sign), so
// a multiply-add with (gain, 0) is p x gain.
POCKETMIDI_AVX2 inline __m256i Widen(const int16_t* points) {
  return _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(points)));
}

// The last 1..7 points of a run widened the same way, the lanes past the run
// zero, so that they add nothing. The masked load takes whole pairs of
// points: at most one point past the run, which is always readable.
POCKETMIDI_AVX2 inline __m256i WidenTail(const int16_t* points, int32_t r) {
  const __m128i pairs = _mm_cmpgt_epi32(_mm_set1_epi32((r + 1) / 2), _mm_setr_epi32(0, 1, 2, 3));
  const __m128i raw = _mm_maskload_epi32(reinterpret_cast<const int*>(points), pairs);
  const __m256i inRun =
      _mm256_cmpgt_epi32(_mm256_set1_epi32(r), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  return _mm256_and_si256(_mm256_cvtepi16_epi32(raw), inRun);
}

// Eight widened points into sixteen paired accumulators: each point against
// a (left, right) gain pair, the first four points' pairs in `first`, the
// last four's in `last`.
POCKETMIDI_AVX2 inline void AddPairs(int32_t* slots, __m256i p, __m256i first, __m256i last) {
  const __m256i firstFour = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
  const __m256i lastFour = _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7);
  AddTo(slots, _mm256_madd_epi16(_mm256_permutevar8x32_epi32(p, firstFour), first));
  AddTo(slots + 8, _mm256_madd_epi16(_mm256_permutevar8x32_epi32(p, lastFour), last));
}

// A run's last points go through the vector path too: the lanes past the
// run add 0 to accumulators the kernels may rewrite (kMixOvershoot).
POCKETMIDI_AVX2 void MixMono(const int16_t* points, int32_t* slots, int32_t n, int32_t left,
                             int32_t right) {
  if (!GainsFit16(left, right, false)) {
    MixRunScalar<MixLayout::kMono>(points, slots, n, left, right);
    return;
  }
  const __m256i gain = _mm256_set1_epi32(left);
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) AddTo(slots + i, _mm256_madd_epi16(Widen(points + i), gain));
  if (i < n) AddTo(slots + i, _mm256_madd_epi16(WidenTail(points + i, n - i), gain));
}

// As in the SSE2 set: the single side is the pair form with a right gain of
// 0 (which adds 0 to the other side's accumulator).
template <MixLayout kLayout>
POCKETMIDI_AVX2 void MixPairs(const int16_t* points, int32_t* slots, int32_t n, int32_t left,
                              int32_t right) {
  if (!GainsFit16(left, right, kLayout == MixLayout::kSpread)) {
    MixRunScalar<kLayout>(points, slots, n, left, right);
    return;
  }
  const int32_t gainRight =
      kLayout == MixLayout::kSpread ? right : (kLayout == MixLayout::kCentre ? left : 0);
  const __m256i gains =
      _mm256_setr_epi32(left, gainRight, left, gainRight, left, gainRight, left, gainRight);
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) AddPairs(slots + 2 * i, Widen(points + i), gains, gains);
  if (i < n) AddPairs(slots + 2 * i, WidenTail(points + i, n - i), gains, gains);
}

POCKETMIDI_AVX2 void MixGainsMono(const int16_t* points, int32_t* slots, int32_t n,
                                  const int32_t* gains) {
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) AddTo(slots + i, _mm256_madd_epi16(Widen(points + i), Load(gains + i)));
  if (i < n) AddTo(slots + i, _mm256_madd_epi16(WidenTail(points + i, n - i), Load(gains + i)));
}

POCKETMIDI_AVX2 void MixGainsPairs(const int16_t* points, int32_t* slots, int32_t n,
                                   const int32_t* gains) {
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    AddPairs(slots + 2 * i, Widen(points + i), Load(gains + 2 * i), Load(gains + 2 * i + 8));
  }
  if (i < n) {
    AddPairs(slots + 2 * i, WidenTail(points + i, n - i), Load(gains + 2 * i),
             Load(gains + 2 * i + 8));
  }
}

// One gain per point widened to (gain, 0) lane pairs.
POCKETMIDI_AVX2 inline __m256i GainPairs(const int32_t* gains) {
  return _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(gains)));
}

POCKETMIDI_AVX2 void MixGainsSingle(const int16_t* points, int32_t* slots, int32_t n,
                                    const int32_t* gains) {
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    AddPairs(slots + 2 * i, Widen(points + i), GainPairs(gains + i), GainPairs(gains + i + 4));
  }
  if (i < n) {
    AddPairs(slots + 2 * i, WidenTail(points + i, n - i), GainPairs(gains + i),
             GainPairs(gains + i + 4));
  }
}

POCKETMIDI_AVX2 void Convert16(uint8_t* data, uint32_t values) {
  uint32_t i = 0;
  for (; i + 16 <= values; i += 16) {
    const int32_t* in = reinterpret_cast<const int32_t*>(data + 4 * i);
    const __m256i a = _mm256_srai_epi32(Load(in), 13);
    const __m256i b = _mm256_srai_epi32(Load(in + 8), 13);
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(data + 2 * i), packed);
  }
  ConvertTo16Scalar(data, i, values);
}

POCKETMIDI_AVX2 void Convert8(uint8_t* data, uint32_t values) {
  uint32_t i = 0;
  for (; i + 32 <= values; i += 32) {
    const int32_t* in = reinterpret_cast<const int32_t*>(data + 4 * i);
    // Each pack interleaves 128-bit halves; after both, the 32 bytes come in
    // the order of 4-byte groups 0 4 1 5 2 6 3 7, which one permute undoes.
    const __m256i a = _mm256_packs_epi32(_mm256_srai_epi32(Load(in), 21),
                                         _mm256_srai_epi32(Load(in + 8), 21));
    const __m256i b = _mm256_packs_epi32(_mm256_srai_epi32(Load(in + 16), 21),
                                         _mm256_srai_epi32(Load(in + 24), 21));
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packs_epi16(a, b),
                                                      _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(data + i),
                        _mm256_xor_si256(bytes, _mm256_set1_epi8(-128)));
  }
  ConvertTo8Scalar(data, i, values);
}

// Sine1024 of eight arguments: the table read forwards or backwards by
// quarter, negated in the second half of the cycle.
POCKETMIDI_AVX2 inline __m256i Sine1024Eight(__m256i x) {
  const __m256i i = _mm256_and_si256(x, _mm256_set1_epi32(255));
  const __m256i quarter = _mm256_and_si256(_mm256_srai_epi32(x, 8), _mm256_set1_epi32(3));
  const __m256i backwards =
      _mm256_cmpeq_epi32(_mm256_and_si256(quarter, _mm256_set1_epi32(1)), _mm256_set1_epi32(1));
  const __m256i index = _mm256_blendv_epi8(i, _mm256_sub_epi32(_mm256_set1_epi32(256), i), backwards);
  const __m256i value = _mm256_i32gather_epi32(SineTable, index, 4);
  const __m256i negate = _mm256_sub_epi32(_mm256_setzero_si256(), _mm256_srli_epi32(quarter, 1));
  return _mm256_sub_epi32(_mm256_xor_si256(value, negate), negate);
}

// MulShift28Narrow of four pairs held in the low halves of 64-bit lanes.
POCKETMIDI_AVX2 inline __m256i MulShift28Four(__m256i a, __m256i b) {
  const __m256i low16 = _mm256_set1_epi64x(0xFFFF);
  const __m256i full = _mm256_mul_epu32(a, b);
  const __m256i lows = _mm256_mul_epu32(_mm256_and_si256(a, low16), _mm256_and_si256(b, low16));
  return _mm256_srli_epi64(_mm256_sub_epi64(full, lows), 28);
}

// The mixing gains of one amplitude at eight tremolo and envelope gains, the
// even ticks' in the low halves of t and env, the odd ones' in tOdd and
// envOdd. Each tremolo gain is at most 2^28, so the first product stays
// below 2^32 for the second one.
POCKETMIDI_AVX2 inline __m256i GainsEight(__m256i amp, __m256i t, __m256i env, __m256i tOdd,
                                          __m256i envOdd) {
  const __m256i gainEven = _mm256_srli_epi64(MulShift28Four(MulShift28Four(amp, t), env), 16);
  const __m256i gainOdd =
      _mm256_srli_epi64(MulShift28Four(MulShift28Four(amp, tOdd), envOdd), 16);
  const __m256i gains = _mm256_or_si256(gainEven, _mm256_slli_epi64(gainOdd, 32));
  return _mm256_min_epu32(gains, _mm256_set1_epi32(static_cast<int32_t>(kMaxMixGain)));
}

// start + tick x step in each lane, wrapping.
POCKETMIDI_AVX2 inline __m256i Along(__m256i tick, int32_t start, int32_t step) {
  return _mm256_add_epi32(_mm256_set1_epi32(start), _mm256_mullo_epi32(tick, _mm256_set1_epi32(step)));
}

// Lane j (0..7) holds the tick j + 1 after the last committed one. Every
// quantity fits a 32-bit lane for the inputs TremoloBatchable admits: levels
// stay within -2^30..2^31 - 8, sweep positions below 2^28, and in the lanes
// that are batched the sweep position is below 65536 and the depth at most
// 32640, so pos x depth and sL x depth stay below 2^31 and the tremolo gain
// lies in (0, 2^28].
POCKETMIDI_AVX2 int32_t TremoloGains(const TremoloTicks& ticks, int32_t* left, int32_t* right,
                                     int32_t* trem, uint32_t* changes) {
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i tick = _mm256_add_epi32(lane, _mm256_set1_epi32(1));

  // Which ticks are in the batch: in the block, short of the target, the
  // sweep still running.
  __m256i valid = _mm256_cmpgt_epi32(_mm256_set1_epi32(ticks.room),
                                     _mm256_mullo_epi32(lane, _mm256_set1_epi32(ticks.ratio)));
  const __m256i level = Along(tick, ticks.envLevel, ticks.envStep);
  const __m256i target = _mm256_set1_epi32(ticks.envTarget);
  if (ticks.envStep > 0) valid = _mm256_and_si256(valid, _mm256_cmpgt_epi32(target, level));
  if (ticks.envStep < 0) valid = _mm256_and_si256(valid, _mm256_cmpgt_epi32(level, target));
  __m256i depth = _mm256_set1_epi32(ticks.fullDepth);
  if (ticks.sweepStep != 0) {
    const __m256i pos = Along(tick, ticks.sweepPos, ticks.sweepStep);
    valid = _mm256_and_si256(valid, _mm256_cmpgt_epi32(_mm256_set1_epi32(65536), pos));
    depth = _mm256_srai_epi32(_mm256_mullo_epi32(pos, depth), 16);
  }
  const uint32_t validBits = static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(valid)));
  const int32_t n = static_cast<int32_t>(__builtin_ctz(~validBits));  // bit 8 up is clear

  const __m256i s = _mm256_add_epi32(
      Sine1024Eight(_mm256_srai_epi32(Along(tick, ticks.phase, ticks.phaseStep), 5)),
      _mm256_set1_epi32(kUnityQ28));
  const __m256i high = _mm256_mullo_epi32(_mm256_srli_epi32(s, 16), depth);
  const __m256i low = _mm256_srli_epi32(
      _mm256_mullo_epi32(_mm256_and_si256(s, _mm256_set1_epi32(0xFFFF)), depth), 16);
  const __m256i t = _mm256_sub_epi32(_mm256_set1_epi32(kUnityQ28),
                                     _mm256_srli_epi32(_mm256_add_epi32(high, low), 1));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(trem), t);

  // The envelope gain of each tick's level, the index held to the table.
  __m256i env = _mm256_set1_epi32(kUnityQ28);
  if (ticks.envelope) {
    const __m256i index = _mm256_min_epi32(
        _mm256_max_epi32(_mm256_srai_epi32(level, 23), _mm256_setzero_si256()), _mm256_set1_epi32(127));
    env = _mm256_i32gather_epi32(EnvGainTable, index, 4);
  }
  const __m256i tOdd = _mm256_srli_epi64(t, 32);
  const __m256i envOdd = _mm256_srli_epi64(env, 32);
  const __m256i lefts = GainsEight(_mm256_set1_epi64x(ticks.ampLeft), t, env, tOdd, envOdd);
  const __m256i rights = GainsEight(_mm256_set1_epi64x(ticks.ampRight), t, env, tOdd, envOdd);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(left), lefts);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(right), rights);

  // Each tick's gains against the ones before it.
  const __m256i back = _mm256_setr_epi32(0, 0, 1, 2, 3, 4, 5, 6);
  const __m256i previousLeft = _mm256_blend_epi32(_mm256_permutevar8x32_epi32(lefts, back),
                                                  _mm256_set1_epi32(ticks.left), 1);
  __m256i same = _mm256_cmpeq_epi32(lefts, previousLeft);
  if (ticks.spread) {
    const __m256i previousRight = _mm256_blend_epi32(_mm256_permutevar8x32_epi32(rights, back),
                                                     _mm256_set1_epi32(ticks.right), 1);
    same = _mm256_and_si256(same, _mm256_cmpeq_epi32(rights, previousRight));
  }
  const uint32_t sameBits = static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(same)));
  *changes = ~sameBits & ((1u << n) - 1u);
  return n;
}

constexpr KernelSet kAvx2 = {
    "avx2",
    Interpolate,
    {MixMono, MixPairs<MixLayout::kSpread>, MixPairs<MixLayout::kCentre>,
     MixPairs<MixLayout::kSingle>},
    {MixGainsMono, MixGainsPairs, MixGainsPairs, MixGainsSingle},
    Convert16,
    Convert8,
    TremoloGains,
    false,
};

// Whether the CPU has AVX2 and the system saves the 256-bit registers
// (OSXSAVE set, XMM and YMM state enabled in XCR0). Asked with cpuid itself:
// __builtin_cpu_supports brings in a start-up routine that surveys every
// feature of the CPU, code each process would map and run for this answer.
bool CpuHasAvx2() {
  unsigned int a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
  if ((c & bit_OSXSAVE) == 0 || (c & bit_AVX) == 0) return false;
  unsigned int xcrLow = 0, xcrHigh = 0;
  __asm__("xgetbv" : "=a"(xcrLow), "=d"(xcrHigh) : "c"(0));
  constexpr unsigned int kXmmAndYmmState = 6;
  if ((xcrLow & kXmmAndYmmState) != kXmmAndYmmState) return false;
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
  return (b & bit_AVX2) != 0;
}

}  // namespace

// A pure function of the CPU: the same answer on every call.
const KernelSet* Avx2Kernels() { return CpuHasAvx2() ? &kAvx2 : nullptr; }

}  // namespace pocketmidi

#else

namespace pocketmidi {
const KernelSet* Avx2Kernels() { return nullptr; }
}  // namespace pocketmidi

#endif
