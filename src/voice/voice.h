// One sounding note: a sample played from a Q12 position advancing by a Q12
// step per output sample, with its own envelope, tremolo, vibrato and pan.
#pragma once

#include <cstdint>

#include "voice/wide_math.h"

namespace pocketmidi {

struct PatchSample;

enum VoiceState : uint8_t {
  kVoiceFree = 0,
  kVoicePlaying = 1,
  kVoiceHeld = 2,       // key up, sustain pedal down
  kVoiceReleasing = 3,
  kVoiceDying = 4,      // being cut: ramped out within 20 output samples
};

enum PanMode : int16_t {
  kPanSpread = 0,     // own left and right gains
  kPanLeftOnly = 1,
  kPanRightOnly = 2,  // the single gain lives in mixLeft/ampLeft
  kPanCentre = 3,     // one gain for both sides; every voice of mono output
};

struct Voice {
  uint8_t state;     // VoiceState
  uint8_t channel;   // 0..15
  uint8_t note;
  uint8_t velocity;
  // Mixed at every event rather than waiting (the engine keeps it up to
  // date; see MixedAtEveryEvent).
  uint8_t mixEveryEvent;
  const PatchSample* sample;  // not owned
  int32_t baseFreq;  // milli-Hz, before pitch bend
  int32_t freq;      // milli-Hz, after pitch bend
  int32_t position;  // Q12 sample points
  int32_t step;      // signed Q12 points per output sample
  int32_t envLevel;  // 0..2^30
  int32_t envTarget;
  int32_t envStep;   // per control tick; 0 = frozen
  int32_t tremSweepStep;  // Q16 per control tick; 0 once complete
  int32_t tremSweepPos;   // Q16
  int32_t tremPhase;      // 1/32 units of the 1024-unit sine cycle, wraps
  int32_t tremPhaseStep;  // 0 = no tremolo
  int32_t vibSweepStep;   // Q16 per vibrato step; 0 once complete
  int32_t vibSweepPos;    // Q16
  int32_t mixLeft;   // Q12 final gain, 0..8191
  int32_t mixRight;  // Q12, Spread mode only
  // Q28 static amplitudes. 64-bit because a patch amplified to 800 % (and
  // beyond, for normalised quiet samples) exceeds 2^31 on one side, and
  // saturating it would be audible: the envelope tail (down to 1/64) brings
  // such an amplitude back under the 8191 mixing-gain clamp.
  int64_t ampLeft;
  int64_t ampRight;  // Spread mode only
  int32_t tremGain;  // Q28
  int32_t vibStepCache[32];  // 0 = not computed yet
  // The vibrato's unbent Q28 increment from freq and the rates; sign 0 = not
  // computed yet. Cleared with vibStepCache whenever freq may change.
  WideValue vibBase;
  int16_t vibPhase;          // 0..63
  int16_t vibTicksPerStep;   // 0 = no vibrato
  int16_t vibTickCounter;
  int16_t envStage;          // next stage, 0..6
  int16_t controlCounter;    // output samples to the next control tick
  int16_t pan;               // 0..127
  int16_t panMode;           // PanMode
  // Frames of the engine's current block mixed for this voice: a voice
  // nothing needs yet waits behind the engine (see MixWaitingVoices).
  int16_t mixedFrames;
};

}  // namespace pocketmidi
