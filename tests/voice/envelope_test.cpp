#include "voice/envelope.h"

#include <gtest/gtest.h>

#include <vector>

#include "voice_test_engine.h"

namespace pocketmidi {
namespace {

using testing_voice::VoiceTestEngine;

constexpr uint32_t kUnity = 268435456u;

TEST(ComputeVoiceAmpTest, PanModesAndAmplitudesAtFullVelocity) {
  const struct {
    int pan;
    bool mono;
    uint32_t sampleVolume;
    int32_t channelVolume;
    int16_t mode;
    int64_t ampLeft, ampRight;  // ampRight -1: not written
    int32_t mixLeft, mixRight;  // mixRight -1: not written
  } cases[] = {
      // Centre from 61 to 67; left up to 4 (and any corrupt negative pan),
      // right from 124.
      {61, false, kUnity, 127, kPanCentre, 262193024, -1, 4000, -1},
      {67, false, kUnity, 127, kPanCentre, 262193024, -1, 4000, -1},
      {0, true, kUnity, 127, kPanCentre, 262193024, -1, 4000, -1},  // mono ignores pan
      {4, false, kUnity, 127, kPanLeftOnly, 524386048, -1, 8001, -1},
      {-5, false, kUnity, 127, kPanLeftOnly, 524386048, -1, 8001, -1},
      {124, false, kUnity, 127, kPanRightOnly, 524386048, -1, 8001, -1},
      // Spread: 4096766 per pan unit (pan 64 would give 262193024 right and
      // 258096258 left, but 61..67 play centred).
      {5, false, kUnity, 127, kPanSpread, 499805452, 20483830, 7626, 312},
      {60, false, kUnity, 127, kPanSpread, 274483322, 245805960, 4188, 3750},
      {64, false, kUnity, 90, kPanCentre, 185806080, -1, 2835, -1},  // reset volume
      // 800 % is exactly 2^31 and stays eight (one side: sixteen) times 1.0.
      {64, false, 0x80000000u, 127, kPanCentre, 8 * 262193024LL, -1, 8191, -1},
      {0, false, 0x80000000u, 127, kPanLeftOnly, 4195088384LL, -1, 8191, -1},
      {0, false, 0xFFFFFFFFu, 127, kPanLeftOnly, 8390175718LL, -1, 8191, -1},
  };
  for (const auto& c : cases) {
    VoiceTestEngine t;
    t.engine.formatFlags = c.mono ? kFormatMono | kFormat16Bit : kFormat16Bit;
    t.engine.channels[0].volume = c.channelVolume;
    t.sample.volume = c.sampleVolume;
    Voice& v = t.voice();
    v.velocity = 127;
    v.pan = static_cast<int16_t>(c.pan);
    v.ampRight = -1;
    v.mixRight = -1;
    ComputeVoiceAmp(t.engine, v);
    ApplyGains(t.engine, v);
    SCOPED_TRACE(::testing::Message() << "pan " << c.pan << " volume " << c.sampleVolume);
    EXPECT_EQ(v.panMode, c.mode);
    EXPECT_EQ(v.ampLeft, c.ampLeft);
    EXPECT_EQ(v.ampRight, c.ampRight);
    EXPECT_EQ(v.mixLeft, c.mixLeft);
    EXPECT_EQ(v.mixRight, c.mixRight);
  }
}

TEST(ApplyGainsTest, EnvelopeAndTremoloScaleTheStaticAmplitude) {
  VoiceTestEngine t;
  t.sample.modes = kModeEnvelope;
  Voice& v = t.voice();
  v.panMode = kPanCentre;
  v.ampLeft = 262193024;
  v.envLevel = 0;  // the envelope floor is 1/64, not silence
  ApplyGains(t.engine, v);
  EXPECT_EQ(v.mixLeft, 62);
  v.envLevel = 1 << 30;  // the top of the range plays at 1.0
  ApplyGains(t.engine, v);
  EXPECT_EQ(v.mixLeft, 4000);
  v.tremPhaseStep = 1;
  v.tremGain = 134742016;  // deepest tremolo
  ApplyGains(t.engine, v);
  EXPECT_EQ(v.mixLeft, 2008);
  // An 800 % single-side amplitude is not cut at 2^31: its envelope floor
  // is 1000, where a saturated amplitude would give 511.
  v.tremPhaseStep = 0;
  v.ampLeft = 4195088384LL;
  v.envLevel = 0;
  ApplyGains(t.engine, v);
  EXPECT_EQ(v.mixLeft, 1000);
}

// The level after each control tick; a tick that finishes the voice gives -1
// and ends the run.
std::vector<int32_t> RunTicks(VoiceTestEngine& t, int ticks) {
  std::vector<int32_t> levels;
  for (int i = 0; i < ticks; ++i) {
    const bool finished = ControlTick(t.engine, t.voice()) == 1;
    levels.push_back(finished ? -1 : t.voice().envLevel);
    if (finished) break;
  }
  return levels;
}

TEST(EnvelopeTest, StagesSkipHoldReleaseAndRunOut) {
  VoiceTestEngine t;
  const int32_t offsets[6] = {1000, 1000, 600, 0, 0, 0}, rates[6] = {400, 999, 300, 250, 7, 7};
  for (int s = 0; s < 6; ++s) {
    t.sample.envOffset[s] = offsets[s];
    t.sample.envRate[s] = rates[s];
  }
  t.sample.modes = kModeEnvelope;
  Voice& v = t.voice();
  v.state = kVoicePlaying;
  v.envStage = 0;
  v.envLevel = 0;
  EXPECT_EQ(NextEnvelopeStage(t.engine, v), 0);
  EXPECT_EQ(v.envStep, 400);

  // Attack to 1000, stage 1 (also 1000) skipped, decay to 600, then hold.
  EXPECT_EQ(RunTicks(t, 8), (std::vector<int32_t>{400, 800, 1000, 700, 600, 600, 600, 600}));
  EXPECT_EQ(v.envStep, 0);
  EXPECT_EQ(v.envStage, 3);
  v.state = kVoiceHeld;  // the pedal keeps it frozen too
  EXPECT_EQ(RunTicks(t, 2), (std::vector<int32_t>{600, 600}));

  // Release: down to 0, then stages 4 and 5 (also 0) skipped and the voice
  // is freed in the same tick.
  v.envStage = 3;
  v.state = kVoiceReleasing;
  EXPECT_EQ(NextEnvelopeStage(t.engine, v), 0);
  EXPECT_EQ(v.envStep, -250);
  EXPECT_EQ(RunTicks(t, 2), (std::vector<int32_t>{350, 100}));
  v.mixLeft = 1234;
  EXPECT_EQ(RunTicks(t, 5), std::vector<int32_t>{-1});
  EXPECT_EQ(v.state, kVoiceFree);
  EXPECT_EQ(v.mixLeft, 1234);  // a finished voice's gains are left alone
}

TEST(EnvelopeTest, ReleaseAtTheFinalLevelFreesAtOnce) {
  for (VoiceState state : {kVoiceReleasing, kVoiceDying}) {
    VoiceTestEngine t;
    t.sample.modes = kModeEnvelope;
    t.voice().state = state;
    t.voice().envStage = 3;
    t.voice().envLevel = 0;
    EXPECT_EQ(NextEnvelopeStage(t.engine, t.voice()), 1);
    EXPECT_EQ(t.voice().state, kVoiceFree);
  }
}

TEST(TremoloTest, GainOverThePhaseAndSweep) {
  const struct {
    int tremDepth;
    int32_t phaseBefore, phaseStep, sweepStep;
    int32_t expectedGain, expectedSweepStep;
  } cases[] = {
      {0, 8192 - 32, 32, 0, 268435456, 0},  // depth 0: exactly 1.0
      {0, 0, 12345, 0, 268435456, 0},
      {255, 8192 - 32, 32, 0, 134742016, 0},          // sine peak, deepest
      {255, 3 * 8192 - 32, 32, 0, 268435456, 0},      // trough: 1.0
      {255, -32, 32, 0, 201588736, 0},                // zero crossing
      {255, 8192 - 32, 32, 16384, 235012096, 16384},  // a quarter through the sweep
      {255, 8192 - 32, 32, 65536, 134742016, 0},      // sweep completes: full depth
      {255, INT32_MAX, 1, 0, 201588736, 0},           // phase wraps
  };
  for (const auto& c : cases) {
    VoiceTestEngine t;
    t.sample.tremDepth = static_cast<uint8_t>(c.tremDepth);
    Voice& v = t.voice();
    v.tremPhase = c.phaseBefore;
    v.tremPhaseStep = c.phaseStep;
    v.tremSweepStep = c.sweepStep;
    StepTremolo(t.engine, v);
    EXPECT_EQ(v.tremGain, c.expectedGain) << c.phaseBefore << " depth " << c.tremDepth;
    EXPECT_EQ(v.tremSweepStep, c.expectedSweepStep);
  }
  // A control tick steps the tremolo of a voice without envelope too, and
  // applies it to the mixing gain.
  VoiceTestEngine t;
  t.sample.tremDepth = 255;
  Voice& v = t.voice();
  v.panMode = kPanCentre;
  v.ampLeft = 262193024;
  v.tremPhase = 8192 - 32;
  v.tremPhaseStep = 32;
  EXPECT_EQ(ControlTick(t.engine, v), 0);
  EXPECT_EQ(v.mixLeft, 2008);
}

}  // namespace
}  // namespace pocketmidi
