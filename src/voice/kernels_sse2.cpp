// The SSE2 set, the x86-64 baseline. No gather: the two neighbouring points
// of each position are fetched as one 32-bit load, and the interpolation
// a + (((b - a) x f) >> 12) is taken as (a x (4096 - f) + b x f) >> 12, which
// is the same number (4096 x a is a multiple of 4096, so the floor of the
// shifted sum is a plus the floor of the shifted difference) and one 16-bit
// multiply-add (pmaddwd): a, b, f and 4096 - f all fit 16 bits.
#include "voice/kernel_set.h"

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))

#include <emmintrin.h>

#include <cstring>

#include "voice/scalar_kernels.h"

namespace pocketmidi {

namespace {

inline int32_t LoadPair(const int16_t* data, uint32_t positionQ12) {
  int32_t pair;
  std::memcpy(&pair, data + PointIndex(positionQ12), sizeof pair);
  return pair;
}

inline __m128i PairOf(const int16_t* data, uint32_t positionQ12) {
  return _mm_cvtsi32_si128(LoadPair(data, positionQ12));
}

inline int16_t Low16(uint32_t x) { return static_cast<int16_t>(static_cast<uint16_t>(x)); }

void Interpolate(const int16_t* data, int32_t positionQ12, int32_t stepQ12, int16_t* out,
                 int32_t n) {
  uint32_t pos = static_cast<uint32_t>(positionQ12);
  const uint32_t step = static_cast<uint32_t>(stepQ12);
  int32_t i = 0;
  if (n >= 8) {
    // The weights of eight positions from 16-bit lanes: a position's low 12
    // bits depend only on its low 16, which 16-bit additions keep exactly.
    // Interleaved as (4096 - f, f) they pair with the loaded points (a, b).
    __m128i frac = _mm_setr_epi16(Low16(pos), Low16(pos + step), Low16(pos + 2 * step),
                                  Low16(pos + 3 * step), Low16(pos + 4 * step),
                                  Low16(pos + 5 * step), Low16(pos + 6 * step),
                                  Low16(pos + 7 * step));
    const __m128i step8 = _mm_set1_epi16(Low16(8 * step));
    const __m128i mask = _mm_set1_epi16(kPositionFractionMask);
    const __m128i one = _mm_set1_epi16(kPositionOne);
    for (; i + 8 <= n; i += 8) {
      const __m128i p0 = PairOf(data, pos), p1 = PairOf(data, pos + step);
      const __m128i p2 = PairOf(data, pos + 2 * step), p3 = PairOf(data, pos + 3 * step);
      const __m128i p4 = PairOf(data, pos + 4 * step), p5 = PairOf(data, pos + 5 * step);
      const __m128i p6 = PairOf(data, pos + 6 * step), p7 = PairOf(data, pos + 7 * step);
      pos += 8 * step;
      const __m128i pairsLow =
          _mm_unpacklo_epi64(_mm_unpacklo_epi32(p0, p1), _mm_unpacklo_epi32(p2, p3));
      const __m128i pairsHigh =
          _mm_unpacklo_epi64(_mm_unpacklo_epi32(p4, p5), _mm_unpacklo_epi32(p6, p7));
      const __m128i f = _mm_and_si128(frac, mask);
      const __m128i w = _mm_sub_epi16(one, f);
      frac = _mm_add_epi16(frac, step8);
      const __m128i low = _mm_srai_epi32(_mm_madd_epi16(pairsLow, _mm_unpacklo_epi16(w, f)),
                                         kPositionFractionBits);
      const __m128i high = _mm_srai_epi32(_mm_madd_epi16(pairsHigh, _mm_unpackhi_epi16(w, f)),
                                          kPositionFractionBits);
      // Each value lies between its two 16-bit points: the saturating pack
      // never saturates.
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(low, high));
    }
  }
  InterpolateRunScalar(data, static_cast<int32_t>(pos), stepQ12, out + i, n - i);
}

inline __m128i Load(const int32_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void AddTo(int32_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_add_epi32(Load(p), v));
}

void MixMono(const int16_t* points, int32_t* slots, int32_t n, int32_t left, int32_t right) {
  int32_t i = 0;
  if (GainsFit16(left, right, false)) {
    // Lanes (p, p) . (gain, 0) = p x gain.
    const __m128i gain = _mm_set1_epi32(left);
    for (; i + 8 <= n; i += 8) {
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(points + i));
      AddTo(slots + i, _mm_madd_epi16(_mm_unpacklo_epi16(p, p), gain));
      AddTo(slots + i + 4, _mm_madd_epi16(_mm_unpackhi_epi16(p, p), gain));
    }
  }
  MixRunScalar<MixLayout::kMono>(points + i, slots + i, n - i, left, right);
}

// Interleaved slots: left += p x gainLeft, right += p x gainRight. The single
// side is the same with a right gain of 0, which leaves the other side's
// accumulators as they are; it stops one point early so that it never
// touches the accumulator after its last one.
template <MixLayout kLayout>
void MixPairs(const int16_t* points, int32_t* slots, int32_t n, int32_t left, int32_t right) {
  int32_t i = 0;
  const int32_t gainRight =
      kLayout == MixLayout::kSpread ? right : (kLayout == MixLayout::kCentre ? left : 0);
  const int32_t vectorEnd = kLayout == MixLayout::kSingle ? n - 1 : n;
  if (GainsFit16(left, right, kLayout == MixLayout::kSpread)) {
    const __m128i gains = _mm_setr_epi32(left, gainRight, left, gainRight);
    for (; i + 8 <= vectorEnd; i += 8) {
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(points + i));
      const __m128i low = _mm_unpacklo_epi16(p, p);   // (p0,p0) (p1,p1) (p2,p2) (p3,p3)
      const __m128i high = _mm_unpackhi_epi16(p, p);
      int32_t* s = slots + 2 * i;
      AddTo(s, _mm_madd_epi16(_mm_unpacklo_epi32(low, low), gains));
      AddTo(s + 4, _mm_madd_epi16(_mm_unpackhi_epi32(low, low), gains));
      AddTo(s + 8, _mm_madd_epi16(_mm_unpacklo_epi32(high, high), gains));
      AddTo(s + 12, _mm_madd_epi16(_mm_unpackhi_epi32(high, high), gains));
    }
  }
  MixRunScalar<kLayout>(points + i, slots + 2 * i, n - i, left, right);
}

void MixGainsMono(const int16_t* points, int32_t* slots, int32_t n, const int32_t* gains) {
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(points + i));
    AddTo(slots + i, _mm_madd_epi16(_mm_unpacklo_epi16(p, p), Load(gains + i)));
    AddTo(slots + i + 4, _mm_madd_epi16(_mm_unpackhi_epi16(p, p), Load(gains + i + 4)));
  }
  MixGainsScalar<MixLayout::kMono>(points + i, slots + i, n - i, gains + i);
}

void MixGainsPairs(const int16_t* points, int32_t* slots, int32_t n, const int32_t* gains) {
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(points + i));
    const __m128i low = _mm_unpacklo_epi16(p, p);
    const __m128i high = _mm_unpackhi_epi16(p, p);
    int32_t* s = slots + 2 * i;
    const int32_t* g = gains + 2 * i;
    AddTo(s, _mm_madd_epi16(_mm_unpacklo_epi32(low, low), Load(g)));
    AddTo(s + 4, _mm_madd_epi16(_mm_unpackhi_epi32(low, low), Load(g + 4)));
    AddTo(s + 8, _mm_madd_epi16(_mm_unpacklo_epi32(high, high), Load(g + 8)));
    AddTo(s + 12, _mm_madd_epi16(_mm_unpackhi_epi32(high, high), Load(g + 12)));
  }
  MixGainsScalar<MixLayout::kSpread>(points + i, slots + 2 * i, n - i, gains + 2 * i);
}

// One gain per point on every other accumulator: lanes (gain, 0) leave the
// other side as it is; stops one point early as MixPairs does.
void MixGainsSingle(const int16_t* points, int32_t* slots, int32_t n, const int32_t* gains) {
  int32_t i = 0;
  const __m128i zero = _mm_setzero_si128();
  for (; i + 8 <= n - 1; i += 8) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(points + i));
    const __m128i low = _mm_unpacklo_epi16(p, p);
    const __m128i high = _mm_unpackhi_epi16(p, p);
    const __m128i g0 = Load(gains + i), g1 = Load(gains + i + 4);
    int32_t* s = slots + 2 * i;
    AddTo(s, _mm_madd_epi16(_mm_unpacklo_epi32(low, low), _mm_unpacklo_epi32(g0, zero)));
    AddTo(s + 4, _mm_madd_epi16(_mm_unpackhi_epi32(low, low), _mm_unpackhi_epi32(g0, zero)));
    AddTo(s + 8, _mm_madd_epi16(_mm_unpacklo_epi32(high, high), _mm_unpacklo_epi32(g1, zero)));
    AddTo(s + 12, _mm_madd_epi16(_mm_unpackhi_epi32(high, high), _mm_unpackhi_epi32(g1, zero)));
  }
  MixGainsScalar<MixLayout::kSingle>(points + i, slots + 2 * i, n - i, gains + i);
}

// A saturating pack after the arithmetic shift is exactly the clamp.
void Convert16(uint8_t* data, uint32_t values) {
  uint32_t i = 0;
  for (; i + 8 <= values; i += 8) {
    const __m128i a = _mm_srai_epi32(Load(reinterpret_cast<const int32_t*>(data + 4 * i)), 13);
    const __m128i b = _mm_srai_epi32(Load(reinterpret_cast<const int32_t*>(data + 4 * i + 16)), 13);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data + 2 * i), _mm_packs_epi32(a, b));
  }
  ConvertTo16Scalar(data, i, values);
}

// Clamping to 16 bits and then to 8 is clamping to 8.
void Convert8(uint8_t* data, uint32_t values) {
  uint32_t i = 0;
  for (; i + 16 <= values; i += 16) {
    const int32_t* in = reinterpret_cast<const int32_t*>(data + 4 * i);
    const __m128i a = _mm_packs_epi32(_mm_srai_epi32(Load(in), 21), _mm_srai_epi32(Load(in + 4), 21));
    const __m128i b =
        _mm_packs_epi32(_mm_srai_epi32(Load(in + 8), 21), _mm_srai_epi32(Load(in + 12), 21));
    const __m128i bytes = _mm_xor_si128(_mm_packs_epi16(a, b), _mm_set1_epi8(-128));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data + i), bytes);
  }
  ConvertTo8Scalar(data, i, values);
}

constexpr KernelSet kSse2 = {
    "sse2",
    Interpolate,
    {MixMono, MixPairs<MixLayout::kSpread>, MixPairs<MixLayout::kCentre>,
     MixPairs<MixLayout::kSingle>},
    {MixGainsMono, MixGainsPairs, MixGainsPairs, MixGainsSingle},
    Convert16,
    Convert8,
    nullptr,  // tremolo ticks one by one
    false,
};

}  // namespace

const KernelSet* Sse2Kernels() { return &kSse2; }

}  // namespace pocketmidi

#else

namespace pocketmidi {
const KernelSet* Sse2Kernels() { return nullptr; }
}  // namespace pocketmidi

#endif
