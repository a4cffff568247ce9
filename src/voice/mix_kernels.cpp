// MixVoice and the eight mix kernels: {mono, spread, centre, single side} x
// {constant gains, gains updated at control ticks}.
#include "voice/mix_kernels.h"

#include <cstdint>

#include "synth/synth_engine.h"
#include "voice/envelope.h"
#include "voice/kernel_set.h"
#include "voice/mix_kernel_forms.h"
#include "voice/voice.h"

namespace pocketmidi {

namespace {

constexpr int32_t kMaxRampPoints = 20;

template <MixLayout kLayout>
constexpr int32_t SlotsPerPoint() {
  return kLayout == MixLayout::kMono ? 1 : 2;
}

// The envelope's gain-table index of a level (before its clamp to 0..127).
inline int64_t EnvelopeIndex(int64_t level) { return level >> 23; }

// A control tick that cannot change the gains, taken without ControlTick:
// no tremolo, and the envelope either frozen or moving within one gain-table
// index without reaching its target. Only valid once ApplyGains has run in
// the same kernel call, so that the gains are known to be those of the
// voice's current amplitudes (nothing else touches the voice meanwhile).
inline bool QuietTick(Voice& voice) {
  if (voice.tremPhaseStep != 0) return false;
  if (voice.envStep == 0) return true;
  const int64_t level = static_cast<int64_t>(voice.envLevel) + voice.envStep;
  const bool reached = voice.envStep < 0 ? level <= voice.envTarget : level >= voice.envTarget;
  if (reached || EnvelopeIndex(level) != EnvelopeIndex(voice.envLevel)) return false;
  voice.envLevel = static_cast<int32_t>(level);
  return true;
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
  const MixRunFn mix = engine.kernels->mix[static_cast<int>(kLayout)];
  if constexpr (!kTicks) {
    mix(points, buffer, count, voice.mixLeft, voice.mixRight);
  } else {
    // A ratio below 1 would tick without mixing; the engine keeps it 1..255.
    const int32_t ratio = engine.controlRatio > 0 ? engine.controlRatio : 1;
    int32_t counter = voice.controlCounter;
    int32_t remaining = count;
    bool gainsFresh = false;
    if (counter <= 0) {
      counter = ratio;
      if (ControlTick(engine, voice) != 0) return;
      gainsFresh = true;
    }
    int32_t left = voice.mixLeft;
    int32_t right = voice.mixRight;
    // Points before the last tick still to be mixed at left/right: runs
    // between ticks that leave the gains as they were are mixed as one.
    int32_t pending = 0;
    while (counter < remaining) {
      pending += counter;
      remaining -= counter;
      counter = ratio;
      if (gainsFresh && QuietTick(voice)) continue;
      if (ControlTick(engine, voice) != 0) {
        // A finished voice leaves the rest of the block silent.
        mix(points, buffer, pending, left, right);
        return;
      }
      gainsFresh = true;
      const bool changed = voice.mixLeft != left ||
                           (kLayout == MixLayout::kSpread && voice.mixRight != right);
      if (!changed) continue;
      mix(points, buffer, pending, left, right);
      points += pending;
      buffer += pending * SlotsPerPoint<kLayout>();
      pending = 0;
      left = voice.mixLeft;
      right = voice.mixRight;
    }
    voice.controlCounter = static_cast<int16_t>(counter - remaining);
    mix(points, buffer, pending + remaining, left, right);
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

  const int16_t* points = ResampleVoice(engine, v, count);
  // A one-shot sample that was already at its end has nothing to mix.
  if (count <= 0) return;

  const bool mono = (engine.formatFlags & kFormatMono) != 0;
  // A single right-side voice writes the right slots: start one slot further.
  int32_t* slots = !mono && voice.panMode == kPanRightOnly ? buffer + 1 : buffer;
  const bool ticks = voice.envStep != 0 || voice.tremPhaseStep != 0;
  const KernelFn kernel = ticks ? ChooseKernel<true>(mono, voice.panMode)
                                : ChooseKernel<false>(mono, voice.panMode);
  kernel(engine, points, slots, v, count);
}

}  // namespace pocketmidi
