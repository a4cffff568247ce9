// MixVoice and the eight mix kernels: {mono, spread, centre, single side} x
// {constant gains, gains updated at control ticks}.
#include "voice/mix_kernels.h"

#include <cstdint>

#include "synth/synth_engine.h"
#include "voice/envelope.h"
#include "voice/mix_kernel_forms.h"
#include "voice/voice.h"

namespace pocketmidi {

namespace {

constexpr int32_t kMaxRampPoints = 20;

template <MixLayout kLayout>
constexpr int32_t SlotsPerPoint() {
  return kLayout == MixLayout::kMono ? 1 : 2;
}

// n points at constant gains; the only loop in which mixing time is spent.
template <MixLayout kLayout>
inline void MixRun(const int16_t* points, int32_t* slots, int32_t n, int32_t left,
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

using KernelFn = void (*)(SynthEngine&, const int16_t*, int32_t*, int32_t, int32_t);

template <bool kTicks>
KernelFn ChooseKernel(bool mono, int16_t panMode) {
  if (mono) return MixKernel<MixLayout::kMono, kTicks>;
  switch (panMode) {
    case kPanSpread:
      return MixKernel<MixLayout::kSpread, kTicks>;
    case kPanLeftOnly:
    case kPanRightOnly:
      return MixKernel<MixLayout::kSingle, kTicks>;
    default:
      // Centre, and any pan mode no amplitude computation produces.
      return MixKernel<MixLayout::kCentre, kTicks>;
  }
}

}  // namespace

template <MixLayout kLayout, bool kTicks>
void MixKernel(SynthEngine& engine, const int16_t* points, int32_t* buffer, int32_t v,
               int32_t count) {
  Voice& voice = engine.voices[v];
  if constexpr (!kTicks) {
    MixRun<kLayout>(points, buffer, count, voice.mixLeft, voice.mixRight);
  } else {
    // A ratio below 1 would tick without mixing; the engine keeps it 1..255.
    const int32_t ratio = engine.controlRatio > 0 ? engine.controlRatio : 1;
    int32_t counter = voice.controlCounter;
    int32_t remaining = count;
    if (counter <= 0) {
      counter = ratio;
      if (ControlTick(engine, voice) != 0) return;
    }
    int32_t left = voice.mixLeft;
    int32_t right = voice.mixRight;
    while (counter < remaining) {
      MixRun<kLayout>(points, buffer, counter, left, right);
      points += counter;
      buffer += counter * SlotsPerPoint<kLayout>();
      remaining -= counter;
      counter = ratio;
      // A finished voice leaves the rest of the block silent.
      if (ControlTick(engine, voice) != 0) return;
      left = voice.mixLeft;
      right = voice.mixRight;
    }
    voice.controlCounter = static_cast<int16_t>(counter - remaining);
    MixRun<kLayout>(points, buffer, remaining, left, right);
  }
}

template void MixKernel<MixLayout::kMono, false>(SynthEngine&, const int16_t*, int32_t*, int32_t,
                                                 int32_t);
template void MixKernel<MixLayout::kMono, true>(SynthEngine&, const int16_t*, int32_t*, int32_t,
                                                int32_t);
template void MixKernel<MixLayout::kSpread, false>(SynthEngine&, const int16_t*, int32_t*, int32_t,
                                                   int32_t);
template void MixKernel<MixLayout::kSpread, true>(SynthEngine&, const int16_t*, int32_t*, int32_t,
                                                  int32_t);
template void MixKernel<MixLayout::kCentre, false>(SynthEngine&, const int16_t*, int32_t*, int32_t,
                                                   int32_t);
template void MixKernel<MixLayout::kCentre, true>(SynthEngine&, const int16_t*, int32_t*, int32_t,
                                                  int32_t);
template void MixKernel<MixLayout::kSingle, false>(SynthEngine&, const int16_t*, int32_t*, int32_t,
                                                   int32_t);
template void MixKernel<MixLayout::kSingle, true>(SynthEngine&, const int16_t*, int32_t*, int32_t,
                                                  int32_t);

void MixVoice(SynthEngine& engine, int32_t* buffer, int32_t v, int32_t count) {
  if (v < 0 || v >= engine.voiceCount || count <= 0) return;
  Voice& voice = engine.voices[v];
  if (voice.state == kVoiceFree) return;

  if (voice.state == kVoiceDying) {
    if (count > kMaxRampPoints) count = kMaxRampPoints;
    const int16_t* points = ResampleVoice(engine, v, count);
    RampOut(engine, points, buffer, v, count);
    voice.state = kVoiceFree;
    return;
  }

  // A sample that yields no point in this block (it ended at once) still
  // runs its kernel: a kernel with ticks ticks first when its counter is 0,
  // and a later note on this voice starts from the tick state it leaves.
  const int16_t* points = ResampleVoice(engine, v, count);

  const bool mono = (engine.formatFlags & kFormatMono) != 0;
  // A single right-side voice writes the right slots: start one slot further.
  int32_t* slots = !mono && voice.panMode == kPanRightOnly ? buffer + 1 : buffer;
  const bool ticks = voice.envStep != 0 || voice.tremPhaseStep != 0;
  const KernelFn kernel = ticks ? ChooseKernel<true>(mono, voice.panMode)
                                : ChooseKernel<false>(mono, voice.panMode);
  kernel(engine, points, slots, v, count);
}

}  // namespace pocketmidi
