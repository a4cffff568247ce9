// Resampling one voice's sample into the engine's ResampleBuffer.
//
// Every form copies the voice's state into locals, then works in runs: the
// run length towards the next boundary (data length, loop end or loop start)
// is computed once, cut to the points still wanted and, with vibrato, at the
// tick counter; InterpolateRun renders it; the boundary is handled (wrap,
// turn, end of sample, vibrato step) and the state is stored back at the end.
#include "voice/resamplers.h"

#include <cstdint>

#include "synth/synth_engine.h"
#include "voice/interpolation.h"
#include "voice/kernel_set.h"
#include "voice/mix_kernels.h"
#include "voice/pitch.h"
#include "voice/voice.h"

namespace pocketmidi {

namespace {

// A vibrato step is held to one loop length: a longer step would leave the
// loop in one point (see LoopIsPlayable), and on a ping-pong loop it could keep
// turning without producing points.
int32_t LimitToLoop(int32_t step, int64_t loopLength) {
  if (AbsSaturated(step) <= loopLength) return step;
  const int32_t limit = static_cast<int32_t>(loopLength);
  return step < 0 ? -limit : limit;
}

// The vibrato counter as the looped forms use it: a run is cut at the counter
// (and a vibrato step becomes due), otherwise the counter falls by the points
// of the run. Cutting to the wanted points first means the end of a block
// never brings a step early.
inline bool CutAtTick(int32_t& n, int32_t& counter) {
  if (n > counter) {
    n = counter;
    return true;
  }
  counter -= n;
  return false;
}

int32_t StoredCounter(const Voice& voice) {
  return voice.vibTickCounter < 0 ? 0 : voice.vibTickCounter;
}

}  // namespace

template <bool kVibrato>
int32_t ResampleOneShot(SynthEngine& engine, Voice& voice, int32_t count) {
  const PatchSample& sample = *voice.sample;
  const SampleWindow window = MakeSampleWindow(sample);
  const InterpolateFn interpolate = engine.kernels->interpolate;
  const int64_t end = sample.dataLength;
  int16_t* out = engine.ResampleBuffer;
  int64_t position = voice.position;
  int32_t step = AbsSaturated(voice.step);

  // Entered at or past the end (the sample ended exactly with the last block,
  // or a cut voice is ramped out after it): nothing left to mix.
  if (position >= end) {
    voice.state = kVoiceFree;
    return 0;
  }

  int32_t produced = 0;
  if constexpr (!kVibrato) {
    produced = RunLength(end, position, step, count);
    InterpolateRun(interpolate, window, position, step, out, produced);
  } else {
    // Per point the counter is tested first: at 0 it is reloaded and the step
    // changes, else it is decremented. A reload therefore covers the point it
    // happens on plus vibTicksPerStep more, hence the + 1.
    const int32_t ticks = voice.vibTicksPerStep;
    int32_t counter = StoredCounter(voice);
    while (produced < count && position < end) {
      if (counter == 0) {
        counter = ticks + 1;
        step = AbsSaturated(VibratoStep(engine, voice, false));
      }
      const int32_t wanted = count - produced;
      const int32_t n = RunLength(end, position, step, wanted < counter ? wanted : counter);
      counter -= n;
      InterpolateRun(interpolate, window, position, step, out + produced, n);
      produced += n;
    }
    voice.step = step;
    voice.vibTickCounter = static_cast<int16_t>(counter);
  }

  voice.position = static_cast<int32_t>(position);
  if (position >= end) {
    // The point after which the position reached the end is not mixed.
    voice.state = kVoiceFree;
    return produced > 0 ? produced - 1 : 0;
  }
  return produced;
}

// Repeated subtraction of the loop length until the position is below the
// loop end; one subtraction is the rule, the division only serves a position
// that is more than a loop length past the end.
inline int64_t WrapIntoLoop(int64_t position, int64_t loopEnd, int64_t loopLength) {
  position -= loopLength;
  if (position >= loopEnd) position -= loopLength * ((position - loopEnd) / loopLength + 1);
  return position;
}

template <bool kVibrato>
int32_t ResampleForward(SynthEngine& engine, Voice& voice, int32_t count) {
  const PatchSample& sample = *voice.sample;
  const SampleWindow window = MakeSampleWindow(sample);
  const InterpolateFn interpolate = engine.kernels->interpolate;
  const int64_t loopEnd = sample.loopEnd;
  const int64_t loopLength = loopEnd - sample.loopStart;
  int16_t* out = engine.ResampleBuffer;
  int64_t position = voice.position;
  int32_t step = voice.step;
  const int32_t ticks = voice.vibTicksPerStep;
  int32_t counter = StoredCounter(voice);

  int32_t produced = 0;
  while (produced < count) {
    if (position >= loopEnd) position = WrapIntoLoop(position, loopEnd, loopLength);
    const int32_t wanted = count - produced;
    // A forward loop cannot run on a step that does not move forward; such a
    // step only fills the rest in place (or drifts), so nothing loops for ever.
    int32_t n = step > 0 ? RunLength(loopEnd, position, step, wanted) : wanted;
    bool due = false;
    if constexpr (kVibrato) due = CutAtTick(n, counter);
    InterpolateRun(interpolate, window, position, step, out + produced, n);
    produced += n;
    if constexpr (kVibrato) {
      if (due) {
        counter = ticks;
        step = LimitToLoop(VibratoStep(engine, voice, false), loopLength);
      }
    }
  }

  voice.position = static_cast<int32_t>(position);
  voice.step = step;
  if constexpr (kVibrato) voice.vibTickCounter = static_cast<int16_t>(counter);
  return produced;
}

template <bool kVibrato>
int32_t ResamplePingPong(SynthEngine& engine, Voice& voice, int32_t count) {
  const PatchSample& sample = *voice.sample;
  const SampleWindow window = MakeSampleWindow(sample);
  const InterpolateFn interpolate = engine.kernels->interpolate;
  const int64_t loopStart = sample.loopStart;
  const int64_t loopEnd = sample.loopEnd;
  const int64_t loopLength = loopEnd - loopStart;
  int16_t* out = engine.ResampleBuffer;
  int64_t position = voice.position;
  int32_t step = voice.step;
  const int32_t ticks = voice.vibTicksPerStep;
  int32_t counter = StoredCounter(voice);
  int32_t produced = 0;

  // One run towards boundary; with vibrato, a step due after it comes from
  // VibratoStep in the run's direction, before the caller's turn test.
  auto run = [&](int64_t boundary) {
    int32_t n = RunLength(boundary, position, step, count - produced);
    bool due = false;
    if constexpr (kVibrato) due = CutAtTick(n, counter);
    InterpolateRun(interpolate, window, position, step, out + produced, n);
    produced += n;
    if constexpr (kVibrato) {
      if (due) {
        counter = ticks;
        step = LimitToLoop(VibratoStep(engine, voice, step < 0), loopLength);
      }
    }
  };

  // Lead-in from before the loop (a fresh voice whose loop starts later).
  if constexpr (kVibrato) {
    while (step >= 1 && position < loopStart && produced < count) run(loopStart);
  } else {
    if (step > 0 && position < loopStart) run(loopStart);
  }

  while (produced < count) {
    run(step > 0 ? loopEnd : loopStart);
    // An overshoot is reflected: 3 units past the end continues 3 units
    // before it, moving the other way. A run cut short only by the end of the
    // block normally leaves the position inside and the direction as it is;
    // the test is made after every run all the same, so a backward run cut
    // exactly where its next point would be loop start - 1 turns there.
    if (position >= loopEnd) {
      position = 2 * loopEnd - position;
      step = -step;
    } else if (position <= loopStart) {
      position = 2 * loopStart - position;
      step = -step;
    }
  }

  voice.position = static_cast<int32_t>(position);
  voice.step = step;
  if constexpr (kVibrato) voice.vibTickCounter = static_cast<int16_t>(counter);
  return produced;
}

template int32_t ResampleOneShot<false>(SynthEngine&, Voice&, int32_t);
template int32_t ResampleOneShot<true>(SynthEngine&, Voice&, int32_t);
template int32_t ResampleForward<false>(SynthEngine&, Voice&, int32_t);
template int32_t ResampleForward<true>(SynthEngine&, Voice&, int32_t);
template int32_t ResamplePingPong<false>(SynthEngine&, Voice&, int32_t);
template int32_t ResamplePingPong<true>(SynthEngine&, Voice&, int32_t);

}  // namespace pocketmidi
