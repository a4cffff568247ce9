#include "voice/anti_alias.h"

#include <cstring>

#include "instruments/instrument.h"
#include "voice/anti_alias_coefficients.h"

namespace pocketmidi {

namespace {

constexpr uint32_t kWorkPoints = 1024;
// When the window's first point reaches this index it covers the buffer's
// last kAntiAliasTaps points; they move to the front and the rest refills.
constexpr uint32_t kSlidePoints = kWorkPoints - kAntiAliasTaps;
constexpr uint32_t kFilterBatch = 8;

// The Q15 taps of every set sum in magnitude to less than 65536, so twenty
// products of 16-bit points stay inside 32 bits.
int16_t FilterPoint(int32_t acc) {
  if (acc > 1073741823) acc = 1073741823;
  if (acc < -1073741824) acc = -1073741824;
  return static_cast<int16_t>(acc >> 15);
}

// Filters count points in place. Every output is computed from unfiltered
// points: a sliding copy of the input is kept in a work buffer, and a point
// is only overwritten after it has been copied there. Points outside the
// data count as zero, so samples shorter than the filter are filtered the
// same way.
//
// The work buffer is a fixed 2 KB local array rather than a heap block: the
// loader may run on the rendering thread, and this way the filter has no
// allocation that could fail.
void FilterInPlace(int16_t* data, uint32_t count, const int32_t taps[kAntiAliasTaps]) {
  int16_t work[kWorkPoints];
  uint32_t base = 0;  // data index of work[0]
  uint32_t copied = count < kWorkPoints ? count : kWorkPoints;
  std::memcpy(work, data, copied * sizeof(int16_t));
  constexpr uint32_t kLead = kAntiAliasHalfTaps;  // window starts 10 points before its output

  // The taps as 16-bit values (each is below 2^15 in magnitude), so that the
  // products are 16 x 16-bit multiplies the compiler can do eight at a time.
  int16_t taps16[kAntiAliasTaps];
  for (int k = 0; k < kAntiAliasTaps; ++k) taps16[k] = static_cast<int16_t>(taps[k]);

  for (uint32_t n = 0; n < count; ++n) {
    // Eight interior points at once, all inside the work buffer's current
    // fill: the same sums, one per output.
    while (n >= kLead && n + kFilterBatch - 1 + kLead <= count &&
           n + kFilterBatch - 1 - kLead - base < kSlidePoints) {
      const int16_t* window = work + (n - kLead - base);
      int32_t acc[kFilterBatch] = {};
      for (int k = 0; k < kAntiAliasTaps; ++k) {
        for (uint32_t i = 0; i < kFilterBatch; ++i) acc[i] += taps16[k] * window[k + i];
      }
      for (uint32_t i = 0; i < kFilterBatch; ++i) data[n + i] = FilterPoint(acc[i]);
      n += kFilterBatch;
    }
    if (n >= count) break;
    if (n >= kLead && n - kLead - base == kSlidePoints && copied < count) {
      std::memmove(work, work + kSlidePoints, kAntiAliasTaps * sizeof(int16_t));
      base += kSlidePoints;
      const uint32_t left = count - copied;
      const uint32_t more = left < kSlidePoints ? left : kSlidePoints;
      std::memcpy(work + kAntiAliasTaps, data + copied, more * sizeof(int16_t));
      copied += more;
    }
    int32_t acc = 0;
    if (n >= kLead && n + kLead <= count) {
      const int16_t* window = work + (n - kLead - base);
      for (int k = 0; k < kAntiAliasTaps; ++k) acc += taps[k] * window[k];
    } else {
      for (int k = 0; k < kAntiAliasTaps; ++k) {
        const int64_t j = static_cast<int64_t>(n) - kLead + k;
        if (j < 0 || j >= static_cast<int64_t>(count)) continue;
        acc += taps[k] * work[j - base];
      }
    }
    data[n] = FilterPoint(acc);
  }
}

}  // namespace

void AntiAliasSample(const SynthEngine& /*engine*/, PatchSample& sample, uint32_t outputRate) {
  if (sample.data == nullptr || sample.sampleRate <= 0 || sample.dataLength <= 0) return;
  const uint32_t sampleRate = static_cast<uint32_t>(sample.sampleRate);
  if (outputRate >= sampleRate) return;
  const int32_t* halfFilter = FindAntiAliasFilter(outputRate, sampleRate);
  if (halfFilter == nullptr) return;
  int32_t taps[kAntiAliasTaps];
  AntiAliasQ15Taps(halfFilter, taps);
  FilterInPlace(sample.data, static_cast<uint32_t>(sample.dataLength) / 2, taps);
}

}  // namespace pocketmidi
