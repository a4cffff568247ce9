// MixVoice: slot layouts and gains, 32-bit wrap, control tick placement across
// blocks, the ramp of cut voices, and the render loop's invariant that a voice
// mixed in one call or in several shorter ones gives the same samples.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kernel_test_engine.h"
#include "voice/mix_kernels.h"

namespace pocketmidi {
namespace {

using kernel_test::KernelTestEngine;

constexpr int32_t P = 4096;

// A voice reading points straight from a rate-0 sample.
Voice& StartDirect(KernelTestEngine& t, const std::vector<int16_t>& points) {
  const PatchSample& sample = t.AddSample(points, -1, 0, 0, 0, 0);
  return t.StartVoice(0, sample, 0);
}

struct LayoutCase {
  const char* name;
  bool mono;
  int16_t panMode;
  std::vector<int32_t> expected;  // buffer after mixing {3, -2, 5} onto 1000s
};

class MixLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(MixLayoutTest, WritesTheRightSlotsWithTheRightGains) {
  const LayoutCase& c = GetParam();
  KernelTestEngine t(1, c.mono ? kFormat16Bit | kFormatMono : kFormat16Bit);
  Voice& voice = StartDirect(t, {3, -2, 5, 0});
  voice.panMode = c.panMode;
  voice.mixLeft = 100;
  voice.mixRight = 7;
  std::vector<int32_t> buffer(c.expected.size(), 1000);
  MixVoice(t.engine(), buffer.data(), 0, 3);
  EXPECT_EQ(buffer, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Kernels, MixLayoutTest,
    ::testing::Values(
        LayoutCase{"Mono", true, kPanCentre, {1300, 800, 1500}},
        LayoutCase{"Spread", false, kPanSpread, {1300, 1021, 800, 986, 1500, 1035}},
        LayoutCase{"Centre", false, kPanCentre, {1300, 1300, 800, 800, 1500, 1500}},
        LayoutCase{"LeftOnly", false, kPanLeftOnly, {1300, 1000, 800, 1000, 1500, 1000}},
        // The single gain of a right-side voice is mixLeft.
        LayoutCase{"RightOnly", false, kPanRightOnly, {1000, 1300, 1000, 800, 1000, 1500}}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

TEST(MixKernelTest, AccumulatorsWrapAt32Bits) {
  KernelTestEngine t(1, kFormat16Bit | kFormatMono);
  Voice& voice = StartDirect(t, {2, -32768, 0});
  voice.mixLeft = 8191;
  std::vector<int32_t> buffer = {INT32_MAX - 10, INT32_MIN + 5};
  MixVoice(t.engine(), buffer.data(), 0, 2);
  EXPECT_EQ(buffer[0], INT32_MIN + 16371);      // 2^31 - 11 + 16382 wrapped
  EXPECT_EQ(buffer[1], INT32_MAX - 268402682);  // -2^31 + 5 - 268402688 wrapped
}

struct TickCase {
  int16_t counterBefore;
  int32_t count;
  std::vector<int32_t> tickIndices;  // points at which new gains start
  int16_t counterAfter;
};

class ControlTickTest : public ::testing::TestWithParam<TickCase> {};

// Envelope level rises one gain index per tick, so every tick raises the gain
// (and the output of a sample of ones); the level counts the ticks.
TEST_P(ControlTickTest, TicksEveryControlRatioSamples) {
  const TickCase& c = GetParam();
  KernelTestEngine t(1, kFormat16Bit | kFormatMono);
  PatchSample& sample = t.AddSample(std::vector<int16_t>(40, 1), -1, kModeEnvelope, 0, 0, 0);
  Voice& voice = t.StartVoice(0, sample, 0);
  voice.ampLeft = 268435456;
  voice.mixLeft = 0;
  voice.envStep = 1 << 23;
  voice.envTarget = 1 << 30;
  voice.controlCounter = c.counterBefore;
  std::vector<int32_t> buffer(c.count, 0);
  MixVoice(t.engine(), buffer.data(), 0, c.count);
  std::vector<int32_t> changes;
  for (int32_t i = 0; i < c.count; ++i) {
    if (buffer[i] != (i == 0 ? 0 : buffer[i - 1])) changes.push_back(i);
  }
  EXPECT_EQ(changes, c.tickIndices);
  EXPECT_EQ(voice.envLevel >> 23, static_cast<int32_t>(c.tickIndices.size()));
  EXPECT_EQ(voice.controlCounter, c.counterAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Placement, ControlTickTest,
    ::testing::Values(TickCase{0, 8, {0, 4}, 0},  // ends exactly at a tick: counter 0
                      TickCase{0, 9, {0, 4, 8}, 3}, TickCase{3, 3, {}, 0},
                      TickCase{3, 4, {3}, 3}, TickCase{1, 10, {1, 5, 9}, 3},
                      TickCase{2, 1, {}, 1}));

TEST(ControlTickTest, FinishedVoiceLeavesRestOfBlockSilent) {
  KernelTestEngine t(1, kFormat16Bit | kFormatMono);
  PatchSample& sample = t.AddSample(std::vector<int16_t>(20, 1), -1, kModeEnvelope, 0, 0, 0);
  Voice& voice = t.StartVoice(0, sample, 0);
  voice.state = kVoiceReleasing;
  voice.mixLeft = 50;
  voice.envLevel = 100;
  voice.envStep = -1000;  // reaches the target at the next tick
  voice.envStage = 6;     // and no stage is left
  voice.controlCounter = 2;
  std::vector<int32_t> buffer(8, 0);
  MixVoice(t.engine(), buffer.data(), 0, 8);
  EXPECT_EQ(buffer, (std::vector<int32_t>{50, 50, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(voice.state, kVoiceFree);
}

struct RampCase {
  const char* name;
  bool mono;
  int16_t panMode;
  int32_t left, right, count;
  std::vector<int32_t> expected;  // slots after ramping a sample of ones
  int32_t position = 0;
};

class RampOutTest : public ::testing::TestWithParam<RampCase> {};

TEST_P(RampOutTest, FadesAndFreesTheVoice) {
  const RampCase& c = GetParam();
  KernelTestEngine t(1, c.mono ? kFormat16Bit | kFormatMono : kFormat16Bit);
  Voice& voice = StartDirect(t, std::vector<int16_t>(30, 1));
  voice.state = kVoiceDying;
  voice.panMode = c.panMode;
  voice.mixLeft = c.left;
  voice.mixRight = c.right;
  voice.position = c.position;
  std::vector<int32_t> buffer(c.expected.size(), 0);
  MixVoice(t.engine(), buffer.data(), 0, c.count);
  EXPECT_EQ(buffer, c.expected);
  EXPECT_EQ(voice.state, kVoiceFree);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RampOutTest,
    ::testing::Values(
        RampCase{"Mono", true, kPanCentre, 100, 0, 4, {75, 50, 25, 0}},
        // Ramped over at most 20 points; a gain below the count falls by 1
        // per point and the ramp stops once it is below 0.
        RampCase{"MonoSmallGainAtMost20Points", true, kPanCentre, 10, 0, 30,
                 {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // The right gain below the count keeps a step of 0.
        RampCase{"SpreadSmallRightGainStays", false, kPanSpread, 100, 3, 4,
                 {75, 3, 50, 3, 25, 3, 0, 3}},
        RampCase{"SpreadHeldAtZero", false, kPanSpread, 2, 8, 4, {1, 6, 0, 4, 0, 2, 0, 0}},
        RampCase{"Centre", false, kPanCentre, 8, 0, 4, {6, 6, 4, 4, 2, 2, 0, 0}},
        RampCase{"CentreStopsBelowZero", false, kPanCentre, 2, 0, 4, {1, 1, 0, 0, 0, 0, 0, 0}},
        RampCase{"LeftOnly", false, kPanLeftOnly, 8, 0, 4, {6, 0, 4, 0, 2, 0, 0, 0}},
        RampCase{"RightOnlyUsesMixLeft", false, kPanRightOnly, 8, 99, 4, {0, 6, 0, 4, 0, 2, 0, 0}},
        // A sample already at its end gives no points: nothing is mixed.
        RampCase{"NothingLeftToRamp", true, kPanCentre, 100, 0, 4, {0, 0, 0, 0}, 30 * P}),
    [](const ::testing::TestParamInfo<RampCase>& info) { return info.param.name; });

struct SplitCase {
  const char* name;
  uint8_t modes;
  bool vibrato;
  bool ticks;
};

class SplitInvarianceTest : public ::testing::TestWithParam<SplitCase> {};

// The render loop mixes a voice in runs between events; a run split at any
// point must give the same samples and leave the voice in the same state.
TEST_P(SplitInvarianceTest, SeveralCallsEqualOneCall) {
  const SplitCase& c = GetParam();
  const std::vector<std::vector<int32_t>> splits = {
      {700}, {1, 699}, {4, 4, 4, 688}, {13, 100, 1, 1, 256, 329}, {333, 367}};
  std::vector<int32_t> reference;
  Voice referenceVoice{};
  for (const std::vector<int32_t>& split : splits) {
    KernelTestEngine t;
    std::vector<int16_t> points;
    for (int32_t i = 0; i < 300; ++i) points.push_back(static_cast<int16_t>((i * 7919) % 20001 - 10000));
    PatchSample& sample =
        t.AddSample(points, -1, c.modes | (c.ticks ? kModeEnvelope : 0), 50 * P + 1000, 120 * P);
    sample.vibDepth = 200;
    sample.tremDepth = 150;
    Voice& voice = t.StartVoice(0, sample, 5321);
    voice.panMode = kPanSpread;
    voice.ampLeft = 200000000;
    voice.ampRight = 100000000;
    voice.mixLeft = 3000;
    voice.mixRight = 1500;
    if (c.vibrato) {
      voice.vibTicksPerStep = 5;
      voice.vibSweepStep = 3000;
    }
    if (c.ticks) {
      voice.envStep = 1 << 21;
      voice.envTarget = 1 << 30;
      voice.tremPhaseStep = 20000;
      voice.tremGain = 268435456;
    }
    std::vector<int32_t> buffer(2 * 700, 0);
    int32_t done = 0;
    for (int32_t n : split) {
      if (voice.state != kVoiceFree) MixVoice(t.engine(), buffer.data() + 2 * done, 0, n);
      done += n;
    }
    if (reference.empty()) {
      reference = buffer;
      referenceVoice = voice;
      // Looped voices sound to the end of the span; one-shots end inside it.
      EXPECT_EQ(voice.state == kVoiceFree, c.modes == 0);
      EXPECT_EQ(buffer[2 * 699] == 0, c.modes == 0);
      continue;
    }
    EXPECT_EQ(buffer, reference);
    EXPECT_EQ(voice.state, referenceVoice.state);
    EXPECT_EQ(voice.position, referenceVoice.position);
    EXPECT_EQ(voice.step, referenceVoice.step);
    EXPECT_EQ(voice.vibTickCounter, referenceVoice.vibTickCounter);
    EXPECT_EQ(voice.vibPhase, referenceVoice.vibPhase);
    EXPECT_EQ(voice.controlCounter, referenceVoice.controlCounter);
    EXPECT_EQ(voice.envLevel, referenceVoice.envLevel);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SplitInvarianceTest,
    ::testing::Values(SplitCase{"OneShot", 0, false, true},
                      SplitCase{"OneShotVibrato", 0, true, false},
                      SplitCase{"Forward", kModeLooping, false, true},
                      SplitCase{"ForwardVibrato", kModeLooping, true, true},
                      SplitCase{"PingPong", kModeLooping | kModePingPong, false, false},
                      SplitCase{"PingPongVibrato", kModeLooping | kModePingPong, true, true}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

}  // namespace
}  // namespace pocketmidi
