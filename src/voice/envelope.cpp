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
#include "voice/voice.h"
#include "voice/voice_tables.h"

namespace pocketmidi {
namespace {

constexpr int32_t kUnityQ28 = 268435456;
constexpr int64_t kMaxMixGain = 8191;  // just under 2.0 in Q12
constexpr int kStageCount = 6;
constexpr int kLastAttackStage = 2;

bool HasEnvelope(const Voice& voice) {
  return voice.sample != nullptr && (voice.sample->modes & kModeEnvelope) != 0;
}

int32_t AddWrapping(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t Negate(int32_t x) {
  return static_cast<int32_t>(0u - static_cast<uint32_t>(x));
}

// Envelope levels stay within 0..2^30; the clamp keeps a level of exactly
// 2^30 (index 128) at full gain instead of reading past the table.
int32_t EnvelopeGain(int32_t level) {
  int32_t index = level >> 23;
  if (index < 0) index = 0;
  if (index > 127) index = 127;
  return EnvGainTable[index];
}

int32_t MixGain(int64_t amp, const Voice& voice, bool envelope, int32_t envGain) {
  int64_t g = amp;
  if (voice.tremPhaseStep != 0) g = MulShiftWide(g, static_cast<uint32_t>(voice.tremGain), 28);
  if (envelope) g = MulShiftWide(g, static_cast<uint32_t>(envGain), 28);
  const int64_t gain = g >> 16;
  return static_cast<int32_t>(gain < kMaxMixGain ? gain : kMaxMixGain);
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
  voice.mixLeft = MixGain(voice.ampLeft, voice, envelope, envGain);
  if (voice.panMode == kPanSpread) {
    voice.mixRight = MixGain(voice.ampRight, voice, envelope, envGain);
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
  int32_t depth = voice.sample != nullptr ? voice.sample->tremDepth * 128 : 0;
  if (voice.tremSweepStep != 0) {
    voice.tremSweepPos = AddWrapping(voice.tremSweepPos, voice.tremSweepStep);
    if (voice.tremSweepPos >= 65536) {
      voice.tremSweepStep = 0;  // full depth from now on
    } else {
      depth = static_cast<int32_t>((static_cast<int64_t>(voice.tremSweepPos) * depth) >> 16);
    }
  }
  voice.tremPhase = AddWrapping(voice.tremPhase, voice.tremPhaseStep);
  // s in 0..2^29; gain = 1.0 - s * depth / 2^17 without a 64-bit product.
  // (64-bit only so that a corrupt sweep cannot overflow; for depths up to
  // 32640 every term fits 32 bits.)
  const int64_t s = Sine1024(voice.tremPhase >> 5) + kUnityQ28;
  const int64_t sH = s >> 16, sL = s & 0xFFFF;
  voice.tremGain = static_cast<int32_t>(kUnityQ28 - ((sH * depth + ((sL * depth) >> 16)) >> 1));
}

int32_t ControlTick(const SynthEngine& engine, Voice& voice) {
  if (voice.envStep != 0 && StepEnvelope(engine, voice) == 1) return 1;
  if (voice.tremPhaseStep != 0) StepTremolo(engine, voice);
  ApplyGains(engine, voice);
  return 0;
}

}  // namespace pocketmidi
