// MixVoice and the eight mix kernels: {mono, spread, centre, single side} x
// {constant gains, gains updated at control ticks}.
#include "voice/mix_kernels.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "synth/synth_engine.h"
#include "voice/envelope.h"
#include "voice/gain_math.h"
#include "voice/inline_ticks.h"
#include "voice/kernel_set.h"
#include "voice/scalar_kernels.h"
#include "voice/mix_kernel_forms.h"
#include "voice/voice.h"

namespace pocketmidi {

namespace {

constexpr int32_t kMaxRampPoints = 20;

template <MixLayout kLayout>
constexpr int32_t SlotsPerPoint() {
  return kLayout == MixLayout::kMono ? 1 : 2;
}

// RunTicks for the voice's gains: a spread voice keeps both up to date,
// also in mono output, where only the left one is mixed.
template <MixLayout kLayout, bool kTremolo, typename Mix>
[[gnu::always_inline]] inline void RunTicksFor(Voice& voice, TickConstants& constants, Mix& mix,
                                               TickRun& run, TremoloGainsFn tremoloGains) {
  if constexpr (kLayout == MixLayout::kSpread) {
    RunTicks<true, kTremolo>(voice, constants, mix, run, tremoloGains);
  } else if (kLayout == MixLayout::kMono && voice.panMode == kPanSpread) {
    RunTicks<true, kTremolo>(voice, constants, mix, run, tremoloGains);
  } else {
    RunTicks<false, kTremolo>(voice, constants, mix, run, tremoloGains);
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

// The block of a kernel with ticks, mixed in as few calls as the gains
// allow. Runs between ticks whose gains did not change are merged; short
// runs at changing gains get their gains written out per accumulator and are
// mixed together by one call of the kernel set's MixGainsFn; long runs are
// mixed at constant gains. The order of the additions does not matter: each
// accumulator receives one product per voice.
template <MixLayout kLayout>
class TickedMix {
 public:
  TickedMix(const KernelSet& kernels, const int16_t* points, int32_t* slots)
      : kernels_(kernels), points_(points), slots_(slots) {}

  // n more points at gains left (and right).
  void Add(int32_t n, int32_t left, int32_t right) {
    if (n <= 0) return;
    if (n >= kLongRun) {
      Flush();
      kernels_.mix[kIndex](points_, slots_, n, left, right);
      Advance(n);
      return;
    }
    if (filled_ + n > kBlockFrames) Flush();  // cannot happen within one block
    const bool spread = kLayout == MixLayout::kSpread;
    if (!GainsFit16(left, right, spread)) wide_ = true;
    // Written eight gains at a time; the buffer has room for the overshoot,
    // which the next run overwrites or nothing reads.
    const int32_t second = kGainsPerPoint == 2 && spread ? right : left;
    int32_t* g = gains_ + filled_ * kGainsPerPoint;
    const int32_t end = n * kGainsPerPoint;
#if defined(__SSE2__)
    const __m128i pattern = _mm_setr_epi32(left, second, left, second);
    for (int32_t i = 0; i < end; i += 8) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(g + i), pattern);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(g + i + 4), pattern);
    }
#else
    const int32_t pattern[8] = {left, second, left, second, left, second, left, second};
    for (int32_t i = 0; i < end; i += 8) std::memcpy(g + i, pattern, sizeof pattern);
#endif
    filled_ += n;
  }

  // The block's last run: mixed at once when nothing waits (a block whose
  // gains did not change), else added to the pending runs and flushed.
  void Finish(int32_t n, int32_t left, int32_t right) {
    if (filled_ == 0) {
      if (n > 0) kernels_.mix[kIndex](points_, slots_, n, left, right);
      return;
    }
    Add(n, left, right);
    Flush();
  }

  void Flush() {
    if (filled_ == 0) return;
    const KernelSet& set = wide_ ? ScalarKernels() : kernels_;
    set.mixGains[kIndex](points_, slots_, filled_, gains_);
    Advance(filled_);
    filled_ = 0;
    wide_ = false;
  }

 private:
  static constexpr int kIndex = static_cast<int>(kLayout);
  static constexpr int32_t kGainsPerPoint =
      kLayout == MixLayout::kSpread || kLayout == MixLayout::kCentre ? 2 : 1;
  static constexpr int32_t kLongRun = 48;

  void Advance(int32_t n) {
    points_ += n;
    slots_ += n * SlotsPerPoint<kLayout>();
  }

  const KernelSet& kernels_;
  const int16_t* points_;
  int32_t* slots_;
  int32_t filled_ = 0;
  bool wide_ = false;
  int32_t gains_[2 * kBlockFrames + kMixOvershoot];
};

// The kernel with ticks as the procedure reads: ControlTick every ratio
// points, each run mixed at the gains it leaves. The reference for the one
// below.
template <MixLayout kLayout>
void MixWithLiteralTicks(SynthEngine& engine, const int16_t* points, int32_t* buffer,
                         Voice& voice, int32_t count, int32_t ratio) {
  const MixRunFn mix = engine.kernels->mix[static_cast<int>(kLayout)];
  int32_t counter = voice.controlCounter;
  int32_t remaining = count;
  if (counter <= 0) {
    counter = ratio;
    if (ControlTick(engine, voice) != 0) return;
  }
  while (counter < remaining) {
    mix(points, buffer, counter, voice.mixLeft, voice.mixRight);
    points += counter;
    buffer += counter * SlotsPerPoint<kLayout>();
    remaining -= counter;
    counter = ratio;
    if (ControlTick(engine, voice) != 0) return;
  }
  voice.controlCounter = static_cast<int16_t>(counter - remaining);
  mix(points, buffer, remaining, voice.mixLeft, voice.mixRight);
}

template <MixLayout kLayout, bool kTicks>
void MixKernel(SynthEngine& engine, const int16_t* points, int32_t* buffer, int32_t v,
               int32_t count) {
  Voice& voice = engine.voices[v];
  if constexpr (!kTicks) {
    engine.kernels->mix[static_cast<int>(kLayout)](points, buffer, count, voice.mixLeft,
                                                   voice.mixRight);
  } else {
    // A ratio below 1 would tick without mixing; the engine keeps it 1..255.
    const int32_t ratio = engine.controlRatio > 0 ? engine.controlRatio : 1;
    if (engine.kernels->literalTicks) {
      MixWithLiteralTicks<kLayout>(engine, points, buffer, voice, count, ratio);
      return;
    }
    // Positions count points from the start of the block: the next tick
    // comes after `tick` points.
    int32_t tick = voice.controlCounter;
    bool gainsFresh = false;
    TickConstants constants{};
    if (tick <= 0) {
      tick = ratio;
      if (ControlTick(engine, voice) != 0) return;
      gainsFresh = true;
      constants = ConstantsAfterTick(voice);
    } else {
      // Between kernel calls the engine changes a voice's gain inputs only
      // together with its gains (ApplyGains); when the gains agree with the
      // voice's state the in-place ticks can take over at once, since the
      // constants are functions of that state. A tremolo tick recomputes
      // the gains from the state anyway, as ControlTick would.
      constants = ConstantsAfterTick(voice);
      gainsFresh = voice.tremPhaseStep != 0 || GainsAgree(voice, constants);
    }
    TickedMix<kLayout> mix(*engine.kernels, points, buffer);
    TickRun run{tick, 0, voice.mixLeft, voice.mixRight, count, ratio};
    while (run.tick < count) {
      if (gainsFresh) {
        if (voice.tremPhaseStep == 0) {
          RunTicksFor<kLayout, false>(voice, constants, mix, run, engine.kernels->tremoloGains);
        } else {
          RunTicksFor<kLayout, true>(voice, constants, mix, run, engine.kernels->tremoloGains);
        }
        if (run.tick >= count) break;
      }
      if (!gainsFresh || !InlineTick(voice, constants)) {
        if (ControlTick(engine, voice) != 0) {
          // A finished voice leaves the rest of the block silent.
          mix.Add(run.tick - run.start, run.left, run.right);
          mix.Flush();
          return;
        }
        gainsFresh = true;
        constants = ConstantsAfterTick(voice);
      }
      const bool changed = voice.mixLeft != run.left ||
                           (kLayout == MixLayout::kSpread && voice.mixRight != run.right);
      if (changed) run.ChangeGains(mix, run.tick, voice.mixLeft, voice.mixRight);
      run.tick += ratio;
    }
    voice.controlCounter = static_cast<int16_t>(run.tick - count);
    mix.Finish(count - run.start, run.left, run.right);
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
