// The reference forms of the render path's inner loops, written as the
// arithmetic reads. Vector kernels use them for the points left over after
// their last whole vector, so a run of any length goes through one rule.
#pragma once

#include <cstdint>
#include <cstring>

#include "voice/fixed_point.h"
#include "voice/mix_kernel_forms.h"

namespace pocketmidi {

// Positions are stepped in unsigned 32-bit arithmetic: every position the
// run renders lies in [0, 2^31), and the one after the run may wrap unseen.
inline void InterpolateRunScalar(const int16_t* data, int32_t positionQ12, int32_t stepQ12,
                                 int16_t* out, int32_t n) {
  uint32_t pos = static_cast<uint32_t>(positionQ12);
  for (int32_t i = 0; i < n; ++i) {
    const int64_t index = PointIndex(pos);
    out[i] = InterpolateQ12(data[index], data[index + 1], PointWeight(pos));
    pos += static_cast<uint32_t>(stepQ12);
  }
}

template <MixLayout kLayout>
inline void MixRunScalar(const int16_t* points, int32_t* slots, int32_t n, int32_t left,
                         int32_t right) {
  const uint32_t gainLeft = static_cast<uint32_t>(left);
  const uint32_t gainRight = static_cast<uint32_t>(right);
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t point = PointBits(points[i]);
    if constexpr (kLayout == MixLayout::kMono) {
      AddScaled(slots[i], point, gainLeft);
    } else if constexpr (kLayout == MixLayout::kSpread) {
      AddScaled(slots[2 * i], point, gainLeft);
      AddScaled(slots[2 * i + 1], point, gainRight);
    } else if constexpr (kLayout == MixLayout::kCentre) {
      const uint32_t scaled = point * gainLeft;
      slots[2 * i] = static_cast<int32_t>(static_cast<uint32_t>(slots[2 * i]) + scaled);
      slots[2 * i + 1] = static_cast<int32_t>(static_cast<uint32_t>(slots[2 * i + 1]) + scaled);
    } else {
      AddScaled(slots[2 * i], point, gainLeft);
    }
  }
}

template <MixLayout kLayout>
inline void MixGainsScalar(const int16_t* points, int32_t* slots, int32_t n,
                           const int32_t* gains) {
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t point = PointBits(points[i]);
    if constexpr (kLayout == MixLayout::kMono) {
      AddScaled(slots[i], point, static_cast<uint32_t>(gains[i]));
    } else if constexpr (kLayout == MixLayout::kSingle) {
      AddScaled(slots[2 * i], point, static_cast<uint32_t>(gains[i]));
    } else {
      AddScaled(slots[2 * i], point, static_cast<uint32_t>(gains[2 * i]));
      AddScaled(slots[2 * i + 1], point, static_cast<uint32_t>(gains[2 * i + 1]));
    }
  }
}

// Accumulators are sums of 16-bit points times Q12 gains: one full-scale
// voice at gain 1.0 reaches 2^27, i.e. half of 16-bit full scale after >> 13,
// which leaves headroom for a few loud voices before the clamp.
inline int16_t AccumulatorTo16(int32_t s) {
  int32_t v = s >> 13;
  if (v > 32767) v = 32767;
  if (v < -32768) v = -32768;
  return static_cast<int16_t>(v);
}

inline uint8_t AccumulatorTo8(int32_t s) {
  int32_t v = s >> 21;
  if (v > 127) v = 127;
  if (v < -128) v = -128;
  return static_cast<uint8_t>(v ^ 128);  // unsigned 8-bit: 128 is silence
}

constexpr bool kLittleEndianHost = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// In place from value `first` on: output value i lands at or before
// accumulator i's own bytes, and each accumulator is read before anything
// overwrites it. Eight at a time through locals, so that the compiler need
// not fear each store changing a later accumulator: a chunk's output bytes
// lie within accumulators already read.
inline void ConvertTo16Scalar(uint8_t* data, uint32_t first, uint32_t values) {
  uint32_t i = first;
  for (; kLittleEndianHost && i + 8 <= values; i += 8) {
    int32_t chunk[8];
    int16_t pcm[8];
    std::memcpy(chunk, data + 4 * i, sizeof chunk);
    for (int k = 0; k < 8; ++k) pcm[k] = AccumulatorTo16(chunk[k]);
    std::memcpy(data + 2 * i, pcm, sizeof pcm);
  }
  for (; i < values; ++i) {
    int32_t s;
    std::memcpy(&s, data + 4 * i, sizeof s);
    const uint16_t bits = static_cast<uint16_t>(AccumulatorTo16(s));
    data[2 * i] = static_cast<uint8_t>(bits & 0xFF);
    data[2 * i + 1] = static_cast<uint8_t>(bits >> 8);
  }
}

inline void ConvertTo8Scalar(uint8_t* data, uint32_t first, uint32_t values) {
  uint32_t i = first;
  for (; i + 8 <= values; i += 8) {
    int32_t chunk[8];
    uint8_t pcm[8];
    std::memcpy(chunk, data + 4 * i, sizeof chunk);
    for (int k = 0; k < 8; ++k) pcm[k] = AccumulatorTo8(chunk[k]);
    std::memcpy(data + i, pcm, sizeof pcm);
  }
  for (; i < values; ++i) {
    int32_t s;
    std::memcpy(&s, data + 4 * i, sizeof s);
    data[i] = AccumulatorTo8(s);
  }
}

// Whether every gain a layout reads fits the 16-bit multiplies of the vector
// kernels (0..32767; the engine's gains are 0..8191). Others take the scalar
// loop.
inline bool GainsFit16(int32_t left, int32_t right, bool spread) {
  const uint32_t bits = static_cast<uint32_t>(left) | (spread ? static_cast<uint32_t>(right) : 0u);
  return bits <= 0x7FFFu;
}

}  // namespace pocketmidi
