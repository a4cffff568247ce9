// Exact source points of the resamplers for small samples in every loop mode.
// Most samples are Ramp()s, on which an output point is its position >> 8.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "kernel_test_engine.h"
#include "voice/mix_kernels.h"

namespace pocketmidi {
namespace {

using kernel_test::KernelTestEngine;
using kernel_test::Ramp;

constexpr int32_t P = 4096;  // one point, Q12
constexpr uint8_t kLoop = kModeLooping;
constexpr uint8_t kPing = kModeLooping | kModePingPong;

struct ResampleCase {
  const char* name;
  std::vector<int16_t> points;
  int32_t guard;  // -1: copy of the last point
  uint8_t modes;
  int32_t loopStart, loopEnd;
  int32_t rate;
  uint8_t state;
  int32_t step, position, count;
  std::vector<int16_t> expected;
  int32_t positionAfter, stepAfter;
  uint8_t stateAfter;
  int16_t vibTicks;  // > 0: vibrato with cached steps 4096 + 256 x slot
  int16_t counterAfter = 0, phaseAfter = 0;
};

void PrintTo(const ResampleCase& c, std::ostream* os) { *os << c.name; }

class ResampleTest : public ::testing::TestWithParam<ResampleCase> {};

TEST_P(ResampleTest, ProducesExactPoints) {
  const ResampleCase& c = GetParam();
  KernelTestEngine t;
  Voice& voice = t.StartVoice(
      t.AddSample(c.points, c.guard, c.modes, c.loopStart, c.loopEnd, c.rate), c.step, c.position);
  voice.state = c.state;
  voice.vibTicksPerStep = c.vibTicks;
  if (c.vibTicks > 0) {
    for (int32_t k = 0; k < 32; ++k) voice.vibStepCache[k] = 4096 + 256 * k;
  }
  int32_t count = c.count;
  const int16_t* points = ResampleVoice(t.engine(), 0, count);
  EXPECT_EQ(std::vector<int16_t>(points, points + count), c.expected);
  EXPECT_EQ(voice.position, c.positionAfter);
  EXPECT_EQ(voice.step, c.stepAfter);
  EXPECT_EQ(voice.state, c.stateAfter);
  if (c.vibTicks > 0) {
    EXPECT_EQ(voice.vibTickCounter, c.counterAfter);
    EXPECT_EQ(voice.vibPhase, c.phaseAfter);
  }
}

const uint8_t kPlay = kVoicePlaying;
const uint8_t kFree = kVoiceFree;
const uint8_t kRel = kVoiceReleasing;

INSTANTIATE_TEST_SUITE_P(
    LoopModes, ResampleTest,
    ::testing::Values(
        // One-shot: the point after which the end is reached is not reported.
        ResampleCase{"OneShotEndsOnePointEarly", Ramp(8), 1000, 0, 0, 0, 22050, kPlay, 6144, 0,
                     10, {0, 24, 48, 72, 96}, 36864, 6144, kFree, 0, 0},
        ResampleCase{"OneShotLastIntervalReadsGuard", Ramp(8), 1000, 0, 0, 0, 22050, kPlay,
                     1024, 7 * P, 8, {112, 334, 556}, 8 * P, 1024, kFree, 0, 0},
        ResampleCase{"OneShotEndingWithTheBlock", Ramp(8), -1, 0, 0, 0, 22050, kPlay, P, 0, 8,
                     {0, 16, 32, 48, 64, 80, 96}, 8 * P, P, kFree, 0, 0},
        ResampleCase{"OneShotEnteredAtEnd", Ramp(8), -1, 0, 0, 0, 22050, kPlay, P, 8 * P, 5, {},
                     8 * P, P, kFree, 0, 0},
        ResampleCase{"ZeroStepHoldsPosition", Ramp(8), -1, 0, 0, 0, 22050, kPlay, 0, 2 * P + 2048,
                     3, {40, 40, 40}, 2 * P + 2048, 0, kPlay, 0, 0},
        // A released backward ping-pong voice without envelope plays on
        // forward to the end; its step keeps its sign.
        ResampleCase{"ReleasedPingPongPlaysForward", Ramp(8), -1, kPing, 2 * P, 6 * P, 22050,
                     kRel, -P, 2 * P, 3, {32, 48, 64}, 5 * P, -P, kRel, 0, 0},
        // Forward loop: wrap by the loop length before each run.
        ResampleCase{"ForwardWraps", Ramp(8), -1, kLoop, 2 * P, 6 * P, 22050, kPlay, 6144, 0, 8,
                     {0, 24, 48, 72, 32, 56, 80, 40}, 4 * P, 6144, kPlay, 0, 0},
        ResampleCase{"ReleasedWithoutEnvelopeLeavesLoop", Ramp(8), -1, kLoop, 2 * P, 6 * P, 22050,
                     kRel, 6144, 4 * P, 8, {64, 88}, 34816, 6144, kFree, 0, 0},
        ResampleCase{"ReleasedWithEnvelopeKeepsLooping", Ramp(8), -1,
                     kLoop | kModeEnvelope, 2 * P, 6 * P, 22050, kRel, 6144, 4 * P, 4,
                     {64, 88, 48, 72}, 6 * P, 6144, kRel, 0, 0},
        // Ping-pong: 1024 past the end continues 1024 before it, backwards.
        ResampleCase{"PingPongReflects", Ramp(10), -1, kPing, 4 * P, 8 * P, 22050, kPlay, 5120,
                     7 * P, 6, {112, 124, 104, 84, 64, 84}, 26624, 5120, kPlay, 0, 0},
        ResampleCase{"PingPongLeadIn", Ramp(16), -1, kPing, 4 * P, 8 * P, 22050, kPlay, 6144, 0,
                     6, {0, 24, 48, 72, 96, 120}, 7 * P, -6144, kPlay, 0, 0},
        ResampleCase{"PingPongLeadInCutByBlock", Ramp(16), -1, kPing, 4 * P, 8 * P, 22050, kPlay,
                     6144, 0, 2, {0, 24}, 12288, 6144, kPlay, 0, 0},
        // Turning exactly on a loop end at the end of the data renders the
        // end position itself, which reads the guard (weight 0).
        ResampleCase{"PingPongTurnOnDataEnd", Ramp(8), 1000, kPing, 4 * P, 8 * P, 22050, kPlay, P,
                     7 * P, 3, {112, 1000, 112}, 6 * P, -P, kPlay, 0, 0},
        // A backward run over a loop at point 0 renders position -1, which
        // reads point 0.
        ResampleCase{"PingPongBelowPointZero", Ramp(8, 100), -1, kPing, 0, 4 * P, 22050, kPlay, -P,
                     4095, 5, {115, 100, 116, 132, 148}, 16383, -P, kPlay, 0, 0},
        // Loops the procedures cannot run play as one-shot.
        ResampleCase{"EmptyLoopPlaysOneShot", Ramp(8), -1, kLoop, 4 * P, 4 * P, 22050, kPlay, P, 0,
                     10, {0, 16, 32, 48, 64, 80, 96}, 8 * P, P, kFree, 0, 0},
        ResampleCase{"ReversedPingPongPlaysOneShot", Ramp(8), -1, kPing, 6 * P, 2 * P, 22050,
                     kPlay, P, 5 * P, 10, {80, 96}, 8 * P, P, kFree, 0, 0},
        ResampleCase{"LoopShorterThanStepPlaysOneShot", Ramp(8), -1, kPing, 4 * P, 4 * P + 2048,
                     22050, kPlay, P, 5 * P, 10, {80, 96}, 8 * P, P, kFree, 0, 0},
        // Rate 0: the data is already at the output rate.
        ResampleCase{"RateZeroStraightFromData", {5, 6, 7, 8, 9, 10}, -1, 0, 0, 0, 0, kPlay, 0, 0,
                     4, {5, 6, 7, 8}, 4 * P, 0, kPlay, 0, 0},
        ResampleCase{"RateZeroEndsWhenShort", {5, 6, 7, 8, 9, 10}, -1, 0, 0, 0, 0, kPlay, 0, 4 * P,
                     4, {9, 10}, 4 * P, 0, kFree, 0, 0},
        ResampleCase{"RateZeroEnteredAtEnd", {5, 6}, -1, 0, 0, 0, 0, kPlay, 0, 2 * P, 4, {}, 2 * P,
                     0, kFree, 0, 0},
        // Vibrato, every 2 ticks. One-shot tests the counter before each
        // point, so a reload covers 3 points.
        ResampleCase{"OneShotVibrato", Ramp(1024), -1, 0, 0, 0, 22050, kPlay, P, 0, 7,
                     {0, 30, 60, 90, 119, 148, 177}, 52480, 7168, kPlay, 2, 2, 3},
        // The looped forms cut runs at the counter: a step every 2 points.
        ResampleCase{"ForwardVibrato", Ramp(1024), -1, kLoop, 0, 1000 * P, 22050, kPlay, P, 0, 7,
                     {0, 30, 60, 89, 118, 146, 174}, 51456, 6912, kPlay, 2, 1, 4},
        ResampleCase{"PingPongVibrato", Ramp(1024), -1, kPing, 8 * P, 16 * P, 22050, kPlay, P, 0,
                     12, {0, 30, 60, 89, 118, 146, 174, 201, 228, 254, 232, 207}, 46592, -6400,
                     kPlay, 2, 0, 6},
        // The end of the block lands on the counter: the step waits for the
        // next block rather than coming early.
        ResampleCase{"ForwardVibratoBlockEndsAtTick", Ramp(1024), -1, kLoop, 0, 1000 * P, 22050,
                     kPlay, P, 0, 4, {0, 30, 60, 89}, 30208, 7424, kPlay, 2, 0, 2}),
    [](const ::testing::TestParamInfo<ResampleCase>& info) { return info.param.name; });

}  // namespace
}  // namespace pocketmidi
