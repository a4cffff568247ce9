// Static voice amplitude, the six-stage envelope, tremolo and the Q12 mixing
// gains. Everything here runs at the control rate or on channel events:
// multiplies, shifts and table lookups only.
//
// Amplitudes are 64-bit: the sample volume is an unsigned Q28 value that
// reaches 2^31 at 800 % (and up to 2^43 for normalised quiet samples), so the
// 16-bit-halves products are taken without their 32-bit wraps. For every
// amplitude that fits 31 bits the result is the same as the 32-bit formula.
#include "voice/envelope.h"

#include "instruments/instrument.h"
#include "synth/synth_engine.h"
#include "voice/fixed_point.h"
#include "voice/gain_math.h"
#include "voice/voice.h"
#include "voice/voice_tables.h"

namespace pocketmidi {
namespace {

constexpr int kStageCount = 6;
constexpr int kLastAttackStage = 2;

int32_t Negate(int32_t x) {
  return static_cast<int32_t>(0u - static_cast<uint32_t>(x));
}

}  // namespace

void ComputeVoiceAmp(const SynthEngine& engine, Voice& voice) {
  const ChannelState& channel = engine.channels[voice.channel & (kChannelCount - 1)];
  // At most 127^3 = 2048383 from MIDI data bytes.
  int64_t t = static_cast<int64_t>(voice.velocity) * channel.expression * channel.volume;
  if (t < 0) t = 0;  // channel values are never negative: keep it that way
  const uint64_t volume = voice.sample != nullptr ? voice.sample->volume : 0u;
  const int32_t pan = voice.pan;

  if ((engine.formatFlags & kFormatMono) != 0 || (pan >= 61 && pan <= 67)) {
    voice.panMode = kPanCentre;
    voice.ampLeft = MulShiftWide(t, volume, 21);
  } else if (pan <= 4) {
    // Also any negative pan, which only a corrupt record could carry.
    voice.panMode = kPanLeftOnly;
    voice.ampLeft = MulShiftWide(t, volume, 20);
  } else if (pan >= 124) {
    voice.panMode = kPanRightOnly;  // the single gain still lives in ampLeft
    voice.ampLeft = MulShiftWide(t, volume, 20);
  } else {
    voice.panMode = kPanSpread;
    const int64_t a = MulShiftWide(t, volume, 27);
    voice.ampRight = a * pan;
    voice.ampLeft = a * (127 - pan);
  }
}

void ApplyGains(const SynthEngine& /*engine*/, Voice& voice) {
  const bool envelope = HasEnvelope(voice);
  const int32_t envGain = envelope ? EnvelopeGain(voice.envLevel) : kUnityQ28;
  if (voice.panMode == kPanSpread) {
    SpreadMixGains(voice, envelope, envGain);
  } else {
    voice.mixLeft = MixGain(voice.ampLeft, voice, envelope, envGain);
  }
}

int32_t NextEnvelopeStage(const SynthEngine& /*engine*/, Voice& voice) {
  const bool envelope = HasEnvelope(voice);
  for (;;) {
    const int32_t s = voice.envStage;
    // A stage index outside 0..5 (or no sample) means nothing left to run.
    if (s < 0 || s >= kStageCount || voice.sample == nullptr) {
      voice.state = kVoiceFree;
      return 1;
    }
    if (envelope && s > kLastAttackStage &&
        (voice.state == kVoicePlaying || voice.state == kVoiceHeld)) {
      voice.envStep = 0;  // hold at the sustain level until released
      return 0;
    }
    voice.envStage = static_cast<int16_t>(s + 1);
    const int32_t target = voice.sample->envOffset[s];
    if (voice.envLevel == target) continue;  // nothing to do in this stage
    voice.envTarget = target;
    const int32_t rate = voice.sample->envRate[s];
    voice.envStep = target < voice.envLevel ? Negate(rate) : rate;
    return 0;
  }
}

int32_t StepEnvelope(const SynthEngine& engine, Voice& voice) {
  // 64-bit so that a step overshooting past 2^31 still lands on the target.
  const int64_t level = static_cast<int64_t>(voice.envLevel) + voice.envStep;
  if ((voice.envStep < 0 && level <= voice.envTarget) ||
      (voice.envStep > 0 && level >= voice.envTarget)) {
    voice.envLevel = voice.envTarget;
    return NextEnvelopeStage(engine, voice);
  }
  voice.envLevel = static_cast<int32_t>(level);
  return 0;
}

void StepTremolo(const SynthEngine& /*engine*/, Voice& voice) {
  AdvanceTremolo(voice, FullTremoloDepth(voice));
}

int32_t ControlTick(const SynthEngine& engine, Voice& voice) {
  if (voice.envStep != 0 && StepEnvelope(engine, voice) == 1) return 1;
  if (voice.tremPhaseStep != 0) StepTremolo(engine, voice);
  ApplyGains(engine, voice);
  return 0;
}

// Stage by stage, as StepEnvelope moves the level, on a copy of the fields
// NextEnvelopeStage reads and writes. Every call of it enters a later stage
// or stops, so the stages run out.
int64_t TicksUntilEnvelopeRests(const SynthEngine& engine, const Voice& voice, bool* ends) {
  if (ends != nullptr) *ends = false;
  if (voice.envStep == 0) return 0;
  Voice v;
  v.state = voice.state;
  v.sample = voice.sample;
  v.envStage = voice.envStage;
  v.envLevel = voice.envLevel;
  v.envTarget = voice.envTarget;
  v.envStep = voice.envStep;
  int64_t ticks = 0;
  for (int stage = 0; stage <= kStageCount; ++stage) {
    ticks += TicksToTarget(v.envLevel, v.envTarget, v.envStep);
    v.envLevel = v.envTarget;
    if (NextEnvelopeStage(engine, v) != 0) {
      if (ends != nullptr) *ends = true;
      return ticks;
    }
    if (v.envStep == 0) return ticks;
  }
  return ticks;
}

}  // namespace pocketmidi
