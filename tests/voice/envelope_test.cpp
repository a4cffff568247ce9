// Voice amplitude, envelope and tremolo. The golden render pins the ordinary
// values; these cases are the edges it never plays: the pan mode boundaries,
// volumes of 800 % and more, the top envelope level, skipped stages, a voice
// held by the pedal before its sustain, and the tremolo's wrap.
#include "voice/envelope.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "voice_test_engine.h"

namespace pocketmidi {
namespace {

using testing_voice::VoiceTestEngine;

constexpr uint32_t kUnity = 268435456u;

TEST(ComputeVoiceAmpTest, PanModeBoundariesAndHugeVolumes) {
  const struct {
    int pan;
    uint64_t sampleVolume;
    int16_t mode;
    int64_t ampLeft;
    int32_t mixLeft, mixRight;
  } cases[] = {
      // Centre from 61 to 67; left up to 4, right from 124; spread between.
      {61, kUnity, kPanCentre, 262193024, 4000, 0},
      {67, kUnity, kPanCentre, 262193024, 4000, 0},
      {60, kUnity, kPanSpread, 274483322, 4188, 3750},
      {4, kUnity, kPanLeftOnly, 524386048, 8001, 0},
      {124, kUnity, kPanRightOnly, 524386048, 8001, 0},
      // 800 % is exactly 2^31 and stays eight (one side: sixteen) times 1.0;
      // the mixing gain saturates.
      {64, 0x80000000u, kPanCentre, 8 * 262193024LL, 8191, 0},
      {0, 0xFFFFFFFFu, kPanLeftOnly, 8390175718LL, 8191, 0},
      // A quiet sample normalised to full scale (peak 1: 2^43) keeps its
      // whole volume instead of a 32-bit cap.
      {0, 1ull << 43, kPanLeftOnly, 17183082020864LL, 8191, 0},
      {60, 1ull << 43, kPanSpread, 8994269495296LL, 8191, 8191},
  };
  for (const auto& c : cases) {
    VoiceTestEngine t;
    t.engine.channels[0].volume = 127;
    t.sample.volume = c.sampleVolume;
    Voice& v = t.voice();
    v.velocity = 127;
    v.pan = static_cast<int16_t>(c.pan);
    ComputeVoiceAmp(t.engine, v);
    ApplyGains(t.engine, v);
    SCOPED_TRACE(::testing::Message() << "pan " << c.pan << " volume " << c.sampleVolume);
    EXPECT_EQ(v.panMode, c.mode);
    EXPECT_EQ(v.ampLeft, c.ampLeft);
    EXPECT_EQ(v.mixLeft, c.mixLeft);
    EXPECT_EQ(v.mixRight, c.mixRight);
  }
}

// A level of exactly 2^30 is one past the gain table.
TEST(ApplyGainsTest, TopLevelPlaysAtUnity) {
  VoiceTestEngine t;
  t.sample.modes = kModeEnvelope;
  Voice& v = t.voice();
  v.panMode = kPanCentre;
  v.ampLeft = 262193024;
  v.envLevel = 1 << 30;
  ApplyGains(t.engine, v);
  EXPECT_EQ(v.mixLeft, 4000);
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
  v.state = kVoiceHeld;  // released under the pedal: it holds like a playing voice
  v.envStage = 0;
  v.envLevel = 0;
  EXPECT_EQ(NextEnvelopeStage(t.engine, v), 0);

  // Attack to 1000, stage 1 (also 1000) skipped, decay to 600, then hold.
  EXPECT_EQ(RunTicks(t, 8), (std::vector<int32_t>{400, 800, 1000, 700, 600, 600, 600, 600}));
  EXPECT_EQ(v.envStage, 3);

  // Release: down to 0, then stages 4 and 5 (also 0) skipped and the voice
  // is freed in the same tick.
  v.envStage = 3;
  v.state = kVoiceReleasing;
  EXPECT_EQ(NextEnvelopeStage(t.engine, v), 0);
  EXPECT_EQ(RunTicks(t, 2), (std::vector<int32_t>{350, 100}));
  v.mixLeft = 1234;
  EXPECT_EQ(RunTicks(t, 5), std::vector<int32_t>{-1});
  EXPECT_EQ(v.state, kVoiceFree);
  EXPECT_EQ(v.mixLeft, 1234);  // a finished voice's gains are left alone
}

// A waiting voice's rest tick, predicted, against ticking the voice there:
// stages of one tick and of thousands, steps landing past their target,
// stages already at their level (skipped), held voices coming to their
// sustain level and releasing ones running out.
TEST(EnvelopeTest, RestTickPredictedAsTheTicksReachIt) {
  std::mt19937 rng(9);
  auto pick = [&rng](int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(rng);
  };
  const int32_t levels[] = {0, 1, 1 << 20, (1 << 30) - 1, 1 << 30};
  const VoiceState states[] = {kVoicePlaying, kVoiceHeld, kVoiceReleasing};
  int checked = 0;
  for (int round = 0; round < 600; ++round) {
    VoiceTestEngine t;
    for (int s = 0; s < 6; ++s) {
      t.sample.envOffset[s] = pick(0, 2) == 0 ? levels[pick(0, 4)] : pick(0, 1 << 30);
      t.sample.envRate[s] = pick(1, 255) << pick(14, 22);
    }
    t.sample.modes = kModeEnvelope;
    Voice& v = t.voice();
    v.state = states[pick(0, 2)];
    v.envStage = static_cast<int16_t>(pick(0, 5));
    v.envLevel = pick(0, 2) == 0 ? levels[pick(0, 4)] : pick(0, 1 << 30);
    if (NextEnvelopeStage(t.engine, v) != 0 || v.envStep == 0) continue;
    bool ends = false;
    const int64_t predicted = TicksUntilEnvelopeRests(t.engine, v, &ends);
    int64_t ticks = 0;
    bool ended = false;
    while (v.envStep != 0 && !ended && ticks <= predicted) {
      ended = ControlTick(t.engine, v) == 1;
      ++ticks;
    }
    SCOPED_TRACE(::testing::Message() << "round " << round);
    EXPECT_EQ(ticks, predicted);
    EXPECT_EQ(ended, ends);
    ++checked;
  }
  EXPECT_GT(checked, 300);
}

TEST(TremoloTest, PhaseWrapsAndVoicesWithoutEnvelopeTickToo) {
  VoiceTestEngine t;
  t.sample.tremDepth = 255;
  Voice& v = t.voice();
  v.tremPhase = INT32_MAX;
  v.tremPhaseStep = 1;
  StepTremolo(t.engine, v);
  EXPECT_EQ(v.tremGain, 201588736);  // wrapped onto a zero crossing: 0.75
  // A control tick of a voice without envelope steps the tremolo and
  // applies it: the deepest point, at the sine peak, about halves the gain.
  v.panMode = kPanCentre;
  v.ampLeft = 262193024;
  v.tremPhase = 8192 - 32;
  v.tremPhaseStep = 32;
  EXPECT_EQ(ControlTick(t.engine, v), 0);
  EXPECT_EQ(v.tremGain, 134742016);
  EXPECT_EQ(v.mixLeft, 2008);
}

}  // namespace
}  // namespace pocketmidi
