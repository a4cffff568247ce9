// MixVoice: slot layouts and gains, 32-bit wrap, the ramp of cut voices,
// control tick placement across blocks, and the render loop's invariant that
// a voice mixed in one call or in several shorter ones sounds the same.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "kernel_test_engine.h"
#include "voice/mix_kernels.h"

namespace pocketmidi {
namespace {

using kernel_test::KernelTestEngine;

constexpr int32_t P = 4096;
constexpr uint32_t kMono = kFormat16Bit | kFormatMono;
constexpr uint32_t kStereo = kFormat16Bit;

// Points straight from a rate-0 sample onto a buffer of `initial`s.
struct MixCase {
  const char* name;
  uint32_t format;
  uint8_t state;
  int16_t panMode;
  int32_t left, right, count;
  std::vector<int16_t> points;
  int32_t initial;
  std::vector<int32_t> expected;
  int32_t position = 0;
};

void PrintTo(const MixCase& c, std::ostream* os) { *os << c.name; }

class MixCaseTest : public ::testing::TestWithParam<MixCase> {};

TEST_P(MixCaseTest, WritesExactSlots) {
  const MixCase& c = GetParam();
  KernelTestEngine t(c.format);
  Voice& voice = t.StartVoice(t.AddSample(c.points, -1, 0, 0, 0, 0), 0);
  voice.state = c.state;
  voice.panMode = c.panMode;
  voice.mixLeft = c.left;
  voice.mixRight = c.right;
  voice.position = c.position;
  std::vector<int32_t> buffer(c.expected.size(), c.initial);
  MixVoice(t.engine(), buffer.data(), 0, c.count);
  EXPECT_EQ(buffer, c.expected);
  if (c.state == kVoiceDying) {
    EXPECT_EQ(voice.state, kVoiceFree);
  }
}

const uint8_t kPlay = kVoicePlaying;
const uint8_t kDie = kVoiceDying;
const std::vector<int16_t> kThree = {3, -2, 5, 0};
const std::vector<int16_t> kOnes(30, 1);

INSTANTIATE_TEST_SUITE_P(
    Kernels, MixCaseTest,
    ::testing::Values(
        MixCase{"Mono", kMono, kPlay, kPanCentre, 100, 7, 3, kThree, 1000, {1300, 800, 1500}},
        MixCase{"Spread", kStereo, kPlay, kPanSpread, 100, 7, 3, kThree, 1000,
                {1300, 1021, 800, 986, 1500, 1035}},
        MixCase{"Centre", kStereo, kPlay, kPanCentre, 100, 7, 3, kThree, 1000,
                {1300, 1300, 800, 800, 1500, 1500}},
        MixCase{"LeftOnly", kStereo, kPlay, kPanLeftOnly, 100, 7, 3, kThree, 1000,
                {1300, 1000, 800, 1000, 1500, 1000}},
        // The single gain of a right-side voice is mixLeft.
        MixCase{"RightOnly", kStereo, kPlay, kPanRightOnly, 100, 7, 3, kThree, 1000,
                {1000, 1300, 1000, 800, 1000, 1500}},
        // 2^31 - 11 + 16382 wraps as 32-bit two's complement.
        MixCase{"Wraps", kMono, kPlay, kPanCentre, 8191, 0, 2, {2, -32768, 0}, INT32_MAX - 10,
                {INT32_MIN + 16371, 1879080949}},
        // Dying voices: the gain falls by gain / count per point (at least 1).
        MixCase{"RampMono", kMono, kDie, kPanCentre, 100, 0, 4, kOnes, 0, {75, 50, 25, 0}},
        // Ramped over the points the sample still has: 2, so 50 then 0.
        MixCase{"RampOverPointsLeft", kMono, kDie, kPanCentre, 100, 0, 4, {7, 7, 7}, 0,
                {350, 0, 0, 0}, P},
        // At most 20 points; the ramp stops once the gain is below 0.
        MixCase{"RampSmallGainAtMost20", kMono, kDie, kPanCentre, 10, 0, 30, kOnes, 0,
                {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // A right gain below the count keeps a step of 0.
        MixCase{"RampSpreadSmallRight", kStereo, kDie, kPanSpread, 100, 3, 4, kOnes, 0,
                {75, 3, 50, 3, 25, 3, 0, 3}},
        MixCase{"RampSpreadHeldAtZero", kStereo, kDie, kPanSpread, 2, 8, 4, kOnes, 0,
                {1, 6, 0, 4, 0, 2, 0, 0}},
        MixCase{"RampCentreStops", kStereo, kDie, kPanCentre, 2, 0, 4, kOnes, 0,
                {1, 1, 0, 0, 0, 0, 0, 0}},
        MixCase{"RampLeftOnly", kStereo, kDie, kPanLeftOnly, 8, 0, 4, kOnes, 0,
                {6, 0, 4, 0, 2, 0, 0, 0}},
        MixCase{"RampRightOnly", kStereo, kDie, kPanRightOnly, 8, 99, 4, kOnes, 0,
                {0, 6, 0, 4, 0, 2, 0, 0}},
        // A sample with no point left: nothing to ramp, the voice is freed.
        MixCase{"RampNothingLeft", kMono, kDie, kPanCentre, 100, 0, 4, {7}, 0, {0, 0}, P}),
    [](const ::testing::TestParamInfo<MixCase>& info) { return info.param.name; });

struct TickCase {
  int16_t counterBefore;
  int32_t count;
  std::vector<int32_t> ticks;  // points at which new gains start
  int16_t counterAfter;
};

void PrintTo(const TickCase& c, std::ostream* os) {
  *os << "counter " << c.counterBefore << ", " << c.count << " points";
}

class KernelTickTest : public ::testing::TestWithParam<TickCase> {};

// Every tick moves the envelope one gain index up, so the output of a sample
// of ones steps up exactly at the ticks; the level counts them.
TEST_P(KernelTickTest, TicksEveryControlRatioSamples) {
  const TickCase& c = GetParam();
  KernelTestEngine t(kMono);
  Voice& voice = t.StartVoice(t.AddSample(kOnes, -1, kModeEnvelope, 0, 0, 0), 0);
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
  EXPECT_EQ(changes, c.ticks);
  EXPECT_EQ(voice.envLevel >> 23, static_cast<int32_t>(c.ticks.size()));
  EXPECT_EQ(voice.controlCounter, c.counterAfter);
}

INSTANTIATE_TEST_SUITE_P(Placement, KernelTickTest,
                         ::testing::Values(TickCase{0, 8, {0, 4}, 0},  // ends on a tick
                                           TickCase{0, 9, {0, 4, 8}, 3}, TickCase{3, 3, {}, 0},
                                           TickCase{3, 4, {3}, 3}, TickCase{1, 10, {1, 5, 9}, 3},
                                           TickCase{2, 1, {}, 1}));

TEST(KernelTickTest, FinishedVoiceLeavesRestOfBlockSilent) {
  KernelTestEngine t(kMono);
  Voice& voice = t.StartVoice(t.AddSample(kOnes, -1, kModeEnvelope, 0, 0, 0), 0);
  voice.state = kVoiceReleasing;
  voice.mixLeft = 50;
  voice.envLevel = 100;
  voice.envStep = -1000;  // reaches its target at the next tick
  voice.envStage = 6;     // with no stage left
  voice.controlCounter = 2;
  std::vector<int32_t> buffer(6, 0);
  MixVoice(t.engine(), buffer.data(), 0, 6);
  EXPECT_EQ(buffer, (std::vector<int32_t>{50, 50, 0, 0, 0, 0}));
  EXPECT_EQ(voice.state, kVoiceFree);
}

struct SplitCase {
  const char* name;
  uint8_t modes;
  bool vibrato, ticks;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class SplitInvarianceTest : public ::testing::TestWithParam<SplitCase> {};

// The render loop mixes a voice in runs between events: any split of a span
// must give the same samples and leave the voice in the same state.
TEST_P(SplitInvarianceTest, SeveralCallsEqualOneCall) {
  const SplitCase& c = GetParam();
  const std::vector<std::vector<int32_t>> splits = {
      {700}, {1, 699}, {4, 4, 4, 688}, {13, 100, 1, 1, 256, 329}, {333, 367}};
  std::vector<int32_t> reference;
  Voice first{};
  for (const std::vector<int32_t>& split : splits) {
    KernelTestEngine t;
    std::vector<int16_t> points;
    for (int32_t i = 0; i < 300; ++i) {
      points.push_back(static_cast<int16_t>(i * 7919 % 20001 - 10000));
    }
    PatchSample& sample =
        t.AddSample(points, -1, c.modes | (c.ticks ? kModeEnvelope : 0), 50 * P + 1000, 120 * P);
    sample.vibDepth = 200;
    sample.tremDepth = 150;
    Voice& voice = t.StartVoice(sample, 5321);
    voice.panMode = kPanSpread;
    voice.ampLeft = 200000000;
    voice.ampRight = 100000000;
    voice.mixLeft = 3000;
    voice.mixRight = 1500;
    voice.vibTicksPerStep = c.vibrato ? 5 : 0;
    voice.vibSweepStep = 3000;
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
      first = voice;
      // Looped voices sound to the end of the span; one-shots end inside it.
      EXPECT_EQ(voice.state == kVoiceFree, c.modes == 0);
      EXPECT_EQ(buffer[2 * 699] == 0, c.modes == 0);
      continue;
    }
    EXPECT_EQ(buffer, reference);
    EXPECT_EQ(voice.state, first.state);
    EXPECT_EQ(voice.position, first.position);
    EXPECT_EQ(voice.step, first.step);
    EXPECT_EQ(voice.vibTickCounter, first.vibTickCounter);
    EXPECT_EQ(voice.vibPhase, first.vibPhase);
    EXPECT_EQ(voice.controlCounter, first.controlCounter);
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
