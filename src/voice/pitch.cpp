// Pitch of a voice: frequency after the channel's bend, the Q12 step from the
// sample's root frequency and rate, and the vibrato increments. All wide
// products and quotients go through the sign-and-magnitude helpers, whose
// truncations are part of the rendered pitch (note 60 on a 261626 milli-Hz
// root plays at step 4095, not 4096).
#include "voice/pitch.h"

#include "instruments/instrument.h"
#include "synth/synth_engine.h"
#include "voice/fixed_point.h"
#include "voice/voice.h"
#include "voice/voice_tables.h"
#include "voice/wide_math.h"

namespace pocketmidi {
namespace {

constexpr int32_t kBendCentre = 8192;
constexpr int32_t kBendMax = 16383;

int32_t Negate(int32_t x) {
  return static_cast<int32_t>(0u - static_cast<uint32_t>(x));
}

// Q20 frequency ratio of a bend of |d| * range / 8192 semitones, in 1/256
// semitone steps (i >> 5) within whole semitones (i >> 13). Ranges above 127
// semitones (only from corrupt controller data) stop at the table's end.
int32_t BendFactor(int32_t d, int32_t range) {
  int64_t i = static_cast<int64_t>(d) * range;
  if (i < 0) i = -i;
  int64_t coarse = i >> 13;
  if (coarse > 127) coarse = 127;
  const WideValue product =
      WideMul(BendFineTable[(i >> 5) & 255], BendCoarseTable[coarse]);
  return static_cast<int32_t>(WideShr(product, 28).lo);
}

}  // namespace

void RecomputeStep(SynthEngine& engine, int32_t v) {
  if (v < 0 || v >= engine.voiceCount || engine.voices == nullptr) return;
  Voice& voice = engine.voices[v];
  const PatchSample* sample = voice.sample;
  // A rate-0 sample plays one point per output sample; its step is not ours.
  if (sample == nullptr || sample->sampleRate == 0) return;

  const bool backwards = voice.step < 0;
  voice.vibBase.sign = 0;
  if (voice.vibTicksPerStep != 0) {
    for (int32_t& cached : voice.vibStepCache) cached = 0;
  }

  // Channels beyond 15 cannot come from a song; the mask only keeps a
  // corrupt voice record inside the channel array.
  ChannelState& channel = engine.channels[voice.channel & (kChannelCount - 1)];
  const int32_t bend = channel.pitchBend;
  if (bend == kBendCentre || bend < 0 || bend > kBendMax) {
    voice.freq = voice.baseFreq;
  } else {
    const int32_t d = bend - kBendCentre;
    if (channel.bendFactor == 0) channel.bendFactor = BendFactor(d, channel.bendRange);
    const int32_t factor = channel.bendFactor;
    if (d > 0) {
      voice.freq = static_cast<int32_t>(WideShr(WideMul(factor, voice.baseFreq), 20).lo);
    } else {
      const WideValue base{1, 0u, static_cast<uint32_t>(voice.baseFreq)};
      voice.freq = static_cast<int32_t>(WideDiv(WideShl(base, 20), factor).lo);
    }
  }

  // rate * freq * 4096 / root / output rate, the root divided out first.
  const WideValue scaled = WideShl(WideMul(sample->sampleRate, voice.freq), 12);
  const WideValue perRoot = WideDiv(scaled, sample->rootFreq);
  const int32_t step = static_cast<int32_t>(
      WideDiv(perRoot, static_cast<int32_t>(engine.sampleRate)).lo);
  voice.step = backwards ? Negate(step) : step;
}

int32_t VibratoSlot(int32_t phase) {
  if (phase < 16) return 15 - phase;
  if (phase < 48) return phase - 16;
  return 79 - phase;
}

int32_t VibratoStep(const SynthEngine& engine, Voice& voice, bool backwards) {
  // A phase outside 0..63 (never produced here) restarts the cycle rather
  // than indexing past the cache.
  voice.vibPhase = (voice.vibPhase >= 63 || voice.vibPhase < 0)
                       ? int16_t{0}
                       : static_cast<int16_t>(voice.vibPhase + 1);
  const int32_t slot = VibratoSlot(voice.vibPhase);
  if (voice.vibStepCache[slot] != 0) {
    return backwards ? Negate(voice.vibStepCache[slot]) : voice.vibStepCache[slot];
  }

  const PatchSample* sample = voice.sample;
  if (sample == nullptr) return 0;
  int32_t depth = sample->vibDepth * 128;
  if (voice.vibSweepStep != 0) {
    voice.vibSweepPos = static_cast<int32_t>(static_cast<uint32_t>(voice.vibSweepPos) +
                                             static_cast<uint32_t>(voice.vibSweepStep));
    if (voice.vibSweepPos >= 65536) {
      voice.vibSweepStep = 0;
    } else {
      depth = static_cast<int32_t>((static_cast<int64_t>(depth) * voice.vibSweepPos) >> 16);
    }
  }

  // The plain increment with 16 more fraction bits (Q28), output rate first;
  // the same for every step until the pitch changes.
  if (voice.vibBase.sign == 0) {
    const int32_t rateQ12 =
        static_cast<int32_t>(static_cast<uint32_t>(sample->sampleRate) << 12);
    const WideValue scaled = WideShl(WideMul(rateQ12, voice.freq), 16);
    voice.vibBase = WideDiv(WideDiv(scaled, static_cast<int32_t>(engine.sampleRate)),
                            sample->rootFreq);
  }
  const WideValue base = voice.vibBase;

  // Bend in 1/512-semitone units (at most 2040 at full depth) and its ratio.
  const WideValue bend = WideMulHigh(Sine1024(voice.vibPhase * 16), depth);
  const uint32_t halfBend = bend.hi >> 1;
  const int32_t ratio =
      halfBend < kVibratoRatioCount
          ? VibratoRatioTable[halfBend]
          : static_cast<int32_t>(
                WideMulHigh(BendFineTable[halfBend & 255], BendCoarseTable[(bend.hi >> 9) & 127])
                    .hi);

  int32_t result;
  if (bend.sign > 0) {
    const WideValue r = WideMulBy(base, ratio);
    result = static_cast<int32_t>(r.hi + (r.lo >= 0x80000001u ? 1u : 0u));
  } else {
    result = static_cast<int32_t>(WideDiv(base, ratio).lo);
  }

  if (voice.vibSweepStep == 0) voice.vibStepCache[slot] = result;
  return backwards ? Negate(result) : result;
}

}  // namespace pocketmidi
