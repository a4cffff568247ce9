// ResampleVoice and MixVoice. The golden render pins ordinary loops, pans,
// vibrato and ramps, mixed in runs split at its events; these are the edges
// a song does not reach: a zero step, a loop at point 0, loops the resampler
// cannot run, rate-0 samples, the 32-bit wrap of the mix and short ramps.
#include "voice/kernel_set.h"
#include "voice/mix_kernels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "voice_test_engine.h"

namespace pocketmidi {
namespace {

using testing_voice::Ramp;
using testing_voice::VoiceTestEngine;

constexpr int32_t P = 4096;  // one point, Q12
constexpr uint8_t kPing = kModeLooping | kModePingPong;
constexpr uint8_t kPlay = kVoicePlaying, kFree = kVoiceFree;
constexpr uint8_t kDie = kVoiceDying;
constexpr uint32_t kMono = kFormat16Bit | kFormatMono;
constexpr uint32_t kStereo = kFormat16Bit;

// Most samples are Ramp()s, on which an output point is its position >> 8.
TEST(ResampleVoiceTest, ExactPointsAtTheEdges) {
  struct Case {
    const char* name;
    std::vector<int16_t> points;
    int32_t guard, modes, loopStart, loopEnd, rate;  // guard -1: a copy of the last point
    int32_t state, step, position, count;
    std::vector<int16_t> expected;
    int32_t positionAfter, stepAfter, stateAfter;
  };
  const Case cases[] = {
      // One-shot: the point after which the end is reached is not reported.
      {"OneShotEndsOnePointEarly", Ramp(8), 1000, 0, 0, 0, 22050, kPlay, 6144, 0, 10,
       {0, 24, 48, 72, 96}, 36864, 6144, kFree},
      {"ZeroStepHoldsPosition", Ramp(8), -1, 0, 0, 0, 22050, kPlay, 0, 2 * P + 2048, 3,
       {40, 40, 40}, 2 * P + 2048, 0, kPlay},
      // A backward run over a loop at point 0 renders position -1, which reads
      // point 0.
      {"PingPongBelowPointZero", Ramp(8, 100), -1, kPing, 0, 4 * P, 22050, kPlay, -P, 4095, 5,
       {115, 100, 116, 132, 148}, 16383, -P, kPlay},
      // A loop shorter than the step cannot run: the voice plays as one-shot.
      {"LoopShorterThanStepPlaysOneShot", Ramp(8), -1, kPing, 4 * P, 4 * P + 2048, 22050, kPlay, P,
       5 * P, 10, {80, 96}, 8 * P, P, kFree},
      // Rate 0: the data is already at the output rate.
      {"RateZeroEndsWhenShort", {5, 6, 7, 8, 9, 10}, -1, 0, 0, 0, 0, kPlay, 0, 4 * P, 4, {9, 10},
       4 * P, 0, kFree},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VoiceTestEngine t;
    const PatchSample& sample =
        t.AddSample(c.points, c.guard, c.modes, c.loopStart, c.loopEnd, c.rate);
    Voice& voice = t.StartVoice(sample, c.step, c.position);
    voice.state = static_cast<uint8_t>(c.state);
    int32_t count = c.count;
    const int16_t* points = ResampleVoice(t.engine, 0, count);
    EXPECT_EQ(std::vector<int16_t>(points, points + count), c.expected);
    EXPECT_EQ(voice.position, c.positionAfter);
    EXPECT_EQ(voice.step, c.stepAfter);
    EXPECT_EQ(voice.state, c.stateAfter);
  }
}

// Points straight from a rate-0 sample onto a buffer of `initial`s.
TEST(MixVoiceTest, WrapAndRampsOfCutVoices) {
  const std::vector<int16_t> ones(30, 1);
  struct Case {
    const char* name;
    uint32_t format;
    int32_t state, panMode, left, right, count;
    std::vector<int16_t> points;
    int32_t initial;
    std::vector<int32_t> expected;
    int32_t position = 0;
  };
  const Case cases[] = {
      // 2^31 - 11 + 16382 wraps as 32-bit two's complement.
      {"Wraps", kMono, kPlay, kPanCentre, 8191, 0, 2, {2, -32768, 0}, INT32_MAX - 10,
       {INT32_MIN + 16371, 1879080949}},
      // Dying voices: the gain falls by gain / count per point (at least 1),
      // over the points the sample still has: 2, so 50 then 0.
      {"RampOverPointsLeft", kMono, kDie, kPanCentre, 100, 0, 4, {7, 7, 7}, 0, {350, 0, 0, 0}, P},
      // At most 20 points; the ramp stops once the gain is below 0.
      {"RampSmallGainAtMost20", kMono, kDie, kPanCentre, 10, 0, 30, ones, 0,
       {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // A right gain below the count keeps a step of 0.
      {"RampSpreadSmallRight", kStereo, kDie, kPanSpread, 100, 3, 4, ones, 0,
       {75, 3, 50, 3, 25, 3, 0, 3}},
      // The single gain of a right-side voice is mixLeft.
      {"RampRightOnly", kStereo, kDie, kPanRightOnly, 8, 99, 4, ones, 0, {0, 6, 0, 4, 0, 2, 0, 0}},
      // A sample with no point left: nothing to ramp, the voice is freed.
      {"RampNothingLeft", kMono, kDie, kPanCentre, 100, 0, 4, {7}, 0, {0, 0}, P},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VoiceTestEngine t(22050, c.format);
    Voice& voice = t.StartVoice(t.AddSample(c.points, -1, 0, 0, 0, 0), 0, c.position);
    voice.state = static_cast<uint8_t>(c.state);
    voice.panMode = static_cast<int16_t>(c.panMode);
    voice.mixLeft = c.left;
    voice.mixRight = c.right;
    // The kernels may rewrite, unchanged, the room kept after a block.
    std::vector<int32_t> buffer(c.expected.size() + kMixOvershoot, c.initial);
    MixVoice(t.engine, buffer.data(), 0, c.count);
    std::vector<int32_t> expected = c.expected;
    expected.resize(buffer.size(), c.initial);
    EXPECT_EQ(buffer, expected);
    EXPECT_EQ(voice.state, c.state == kDie ? kFree : c.state);
  }
}

// A voice whose sample ends before its first point still runs its kernel: a
// kernel with ticks ticks when its counter is 0, and a new note on the voice
// starts from the counter and tremolo state that tick leaves.
TEST(MixVoiceTest, VoiceEndingAtOnceStillTicks) {
  const struct {
    const char* name;
    int32_t tremPhaseStep, counterBefore;
    int32_t counterAfter, tremPhaseAfter, mixLeftAfter;
  } cases[] = {
      {"TickDue", 32, 0, 4, 32, 4096},  // the tick reloads the counter and the gains
      {"TickNotDue", 32, 3, 3, 0, 1},
      {"NoTicks", 0, 0, 0, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VoiceTestEngine t(22050, kMono);
    Voice& voice = t.StartVoice(t.AddSample(Ramp(8)), P, 8 * P);  // already at the end
    voice.tremPhaseStep = c.tremPhaseStep;
    voice.controlCounter = static_cast<int16_t>(c.counterBefore);
    voice.ampLeft = 268435456;
    std::vector<int32_t> buffer(8 + kMixOvershoot, 0);
    MixVoice(t.engine, buffer.data(), 0, 8);
    EXPECT_EQ(buffer, std::vector<int32_t>(8 + kMixOvershoot, 0));
    EXPECT_EQ(voice.state, kFree);
    EXPECT_EQ(voice.controlCounter, c.counterAfter);
    EXPECT_EQ(voice.tremPhase, c.tremPhaseAfter);
    EXPECT_EQ(voice.mixLeft, c.mixLeftAfter);
  }
}

}  // namespace
}  // namespace pocketmidi
