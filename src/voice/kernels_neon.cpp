// The NEON set, on AArch64 and on ARMv7 built with NEON. Without a gather the
// two neighbouring points of each position come as one 32-bit lane load; the
// interpolation is the widening multiply-accumulate form of
// a + (((b - a) x f) >> 12), namely (a x (4096 - f) + b x f) >> 12, the same
// number. Mixing is a widening multiply-accumulate per side, which wraps like
// the 32-bit accumulators; the PCM conversion is a saturating narrowing shift.
#include "voice/kernel_set.h"

#if defined(__ARM_NEON) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__

#include <arm_neon.h>

#include <cstring>

#include "voice/scalar_kernels.h"

namespace pocketmidi {

namespace {

inline uint32x4_t LoadPairs(const int16_t* data, uint32_t pos, uint32_t step) {
  uint32_t pairs[4];
  for (int k = 0; k < 4; ++k) {
    std::memcpy(&pairs[k], data + PointIndex(pos), sizeof pairs[k]);
    pos += step;
  }
  return vld1q_u32(pairs);
}

void Interpolate(const int16_t* data, int32_t positionQ12, int32_t stepQ12, int16_t* out,
                 int32_t n) {
  uint32_t pos = static_cast<uint32_t>(positionQ12);
  const uint32_t step = static_cast<uint32_t>(stepQ12);
  int32_t i = 0;
  if (n >= 4) {
    const uint32_t ramp[4] = {0, step, 2 * step, 3 * step};
    uint32x4_t lanes = vaddq_u32(vdupq_n_u32(pos), vld1q_u32(ramp));
    const uint32x4_t step4 = vdupq_n_u32(4 * step);
    const int16x4_t one = vdup_n_s16(static_cast<int16_t>(kPositionOne));
    for (; i + 4 <= n; i += 4) {
      const uint32x4_t pairs = LoadPairs(data, pos, step);
      pos += 4 * step;
      const int16x4_t a = vreinterpret_s16_u16(vmovn_u32(pairs));
      const int16x4_t b = vreinterpret_s16_u16(vshrn_n_u32(pairs, 16));
      const int16x4_t f = vreinterpret_s16_u16(
          vmovn_u32(vandq_u32(lanes, vdupq_n_u32(kPositionFractionMask))));
      int32x4_t sum = vmull_s16(a, vsub_s16(one, f));
      sum = vmlal_s16(sum, b, f);
      // Each value lies between its two 16-bit points: narrowing keeps it.
      vst1_s16(out + i, vshrn_n_s32(sum, kPositionFractionBits));
      lanes = vaddq_u32(lanes, step4);
    }
  }
  InterpolateRunScalar(data, static_cast<int32_t>(pos), stepQ12, out + i, n - i);
}

void MixMono(const int16_t* points, int32_t* slots, int32_t n, int32_t left, int32_t right) {
  int32_t i = 0;
  if (GainsFit16(left, right, false)) {
    const int16x4_t gain = vdup_n_s16(static_cast<int16_t>(left));
    for (; i + 4 <= n; i += 4) {
      vst1q_s32(slots + i, vmlal_s16(vld1q_s32(slots + i), vld1_s16(points + i), gain));
    }
  }
  MixRunScalar<MixLayout::kMono>(points + i, slots + i, n - i, left, right);
}

// Interleaved slots split into their left and right lanes. The single side
// touches only the left lanes but stores both back, so it stops one point
// early and never reaches the accumulator after its last one.
template <MixLayout kLayout>
void MixPairs(const int16_t* points, int32_t* slots, int32_t n, int32_t left, int32_t right) {
  int32_t i = 0;
  const int32_t gainRight = kLayout == MixLayout::kSpread ? right : left;
  const int32_t vectorEnd = kLayout == MixLayout::kSingle ? n - 1 : n;
  if (GainsFit16(left, right, kLayout == MixLayout::kSpread)) {
    const int16x4_t gainL = vdup_n_s16(static_cast<int16_t>(left));
    const int16x4_t gainR = vdup_n_s16(static_cast<int16_t>(gainRight));
    for (; i + 4 <= vectorEnd; i += 4) {
      const int16x4_t p = vld1_s16(points + i);
      int32x4x2_t s = vld2q_s32(slots + 2 * i);
      s.val[0] = vmlal_s16(s.val[0], p, gainL);
      if constexpr (kLayout != MixLayout::kSingle) s.val[1] = vmlal_s16(s.val[1], p, gainR);
      vst2q_s32(slots + 2 * i, s);
    }
  }
  MixRunScalar<kLayout>(points + i, slots + 2 * i, n - i, left, right);
}

void MixGainsMono(const int16_t* points, int32_t* slots, int32_t n, const int32_t* gains) {
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const int16x4_t g = vmovn_s32(vld1q_s32(gains + i));
    vst1q_s32(slots + i, vmlal_s16(vld1q_s32(slots + i), vld1_s16(points + i), g));
  }
  MixGainsScalar<MixLayout::kMono>(points + i, slots + i, n - i, gains + i);
}

void MixGainsPairs(const int16_t* points, int32_t* slots, int32_t n, const int32_t* gains) {
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const int16x4_t p = vld1_s16(points + i);
    const int32x4x2_t g = vld2q_s32(gains + 2 * i);
    int32x4x2_t s = vld2q_s32(slots + 2 * i);
    s.val[0] = vmlal_s16(s.val[0], p, vmovn_s32(g.val[0]));
    s.val[1] = vmlal_s16(s.val[1], p, vmovn_s32(g.val[1]));
    vst2q_s32(slots + 2 * i, s);
  }
  MixGainsScalar<MixLayout::kSpread>(points + i, slots + 2 * i, n - i, gains + 2 * i);
}

void MixGainsSingle(const int16_t* points, int32_t* slots, int32_t n, const int32_t* gains) {
  int32_t i = 0;
  for (; i + 4 <= n - 1; i += 4) {
    int32x4x2_t s = vld2q_s32(slots + 2 * i);
    s.val[0] = vmlal_s16(s.val[0], vld1_s16(points + i), vmovn_s32(vld1q_s32(gains + i)));
    vst2q_s32(slots + 2 * i, s);
  }
  MixGainsScalar<MixLayout::kSingle>(points + i, slots + 2 * i, n - i, gains + i);
}

void Convert16(uint8_t* data, uint32_t values) {
  uint32_t i = 0;
  for (; i + 8 <= values; i += 8) {
    int32_t in[8];
    std::memcpy(in, data + 4 * i, sizeof in);
    const int16x8_t pcm = vcombine_s16(vqshrn_n_s32(vld1q_s32(in), 13), vqshrn_n_s32(vld1q_s32(in + 4), 13));
    vst1q_s16(reinterpret_cast<int16_t*>(data + 2 * i), pcm);
  }
  ConvertTo16Scalar(data, i, values);
}

// s >> 16 always fits 16 bits; shifting it by 5 more with saturation to 8
// bits is s >> 21 clamped to -128..127.
void Convert8(uint8_t* data, uint32_t values) {
  uint32_t i = 0;
  for (; i + 8 <= values; i += 8) {
    int32_t in[8];
    std::memcpy(in, data + 4 * i, sizeof in);
    const int16x8_t high = vcombine_s16(vshrn_n_s32(vld1q_s32(in), 16), vshrn_n_s32(vld1q_s32(in + 4), 16));
    const uint8x8_t pcm = veor_u8(vreinterpret_u8_s8(vqshrn_n_s16(high, 5)), vdup_n_u8(128));
    vst1_u8(data + i, pcm);
  }
  ConvertTo8Scalar(data, i, values);
}

constexpr KernelSet kNeon = {
    "neon",
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

const KernelSet* NeonKernels() { return &kNeon; }

}  // namespace pocketmidi

#else

namespace pocketmidi {
const KernelSet* NeonKernels() { return nullptr; }
}  // namespace pocketmidi

#endif
