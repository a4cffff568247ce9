// ResampleVoice and MixVoice: exact source points in every loop mode, slot
// layouts and gains, 32-bit wrap, the ramp of cut voices, control tick
// placement, and the render loop's invariant that a voice mixed in one call
// or in several shorter ones sounds the same.
#include "voice/mix_kernels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "voice_test_engine.h"

namespace pocketmidi {
namespace {

using testing_voice::Ramp;
using testing_voice::VoiceTestEngine;

constexpr int32_t P = 4096;  // one point, Q12
constexpr uint8_t kLoop = kModeLooping;
constexpr uint8_t kPing = kModeLooping | kModePingPong;
constexpr uint8_t kPlay = kVoicePlaying, kFree = kVoiceFree, kRel = kVoiceReleasing;
constexpr uint8_t kDie = kVoiceDying;
constexpr uint32_t kMono = kFormat16Bit | kFormatMono;
constexpr uint32_t kStereo = kFormat16Bit;

// Most samples are Ramp()s, on which an output point is its position >> 8.
TEST(ResampleVoiceTest, ExactPointsInEveryLoopMode) {
  struct Case {
    const char* name;
    std::vector<int16_t> points;
    int32_t guard, modes, loopStart, loopEnd, rate;  // guard -1: a copy of the last point
    int32_t state, step, position, count;
    std::vector<int16_t> expected;
    int32_t positionAfter, stepAfter, stateAfter;
    int32_t vibTicks = 0;  // > 0: vibrato with cached steps 4096 + 256 x slot
    int32_t counterAfter = 0, phaseAfter = 0;
  };
  const Case cases[] = {
      // One-shot: the point after which the end is reached is not reported.
      {"OneShotEndsOnePointEarly", Ramp(8), 1000, 0, 0, 0, 22050, kPlay, 6144, 0, 10,
       {0, 24, 48, 72, 96}, 36864, 6144, kFree},
      {"OneShotLastIntervalReadsGuard", Ramp(8), 1000, 0, 0, 0, 22050, kPlay, 1024, 7 * P, 8,
       {112, 334, 556}, 8 * P, 1024, kFree},
      {"OneShotEndingWithTheBlock", Ramp(8), -1, 0, 0, 0, 22050, kPlay, P, 0, 8,
       {0, 16, 32, 48, 64, 80, 96}, 8 * P, P, kFree},
      {"OneShotEnteredAtEnd", Ramp(8), -1, 0, 0, 0, 22050, kPlay, P, 8 * P, 5, {}, 8 * P, P, kFree},
      {"ZeroStepHoldsPosition", Ramp(8), -1, 0, 0, 0, 22050, kPlay, 0, 2 * P + 2048, 3,
       {40, 40, 40}, 2 * P + 2048, 0, kPlay},
      // A released backward ping-pong voice without envelope plays on forward
      // to the end; its step keeps its sign.
      {"ReleasedPingPongPlaysForward", Ramp(8), -1, kPing, 2 * P, 6 * P, 22050, kRel, -P, 2 * P, 3,
       {32, 48, 64}, 5 * P, -P, kRel},
      // Forward loop: wrap by the loop length before each run.
      {"ForwardWraps", Ramp(8), -1, kLoop, 2 * P, 6 * P, 22050, kPlay, 6144, 0, 8,
       {0, 24, 48, 72, 32, 56, 80, 40}, 4 * P, 6144, kPlay},
      {"ReleasedWithoutEnvelopeLeavesLoop", Ramp(8), -1, kLoop, 2 * P, 6 * P, 22050, kRel, 6144,
       4 * P, 8, {64, 88}, 34816, 6144, kFree},
      {"ReleasedWithEnvelopeKeepsLooping", Ramp(8), -1, kLoop | kModeEnvelope, 2 * P, 6 * P, 22050,
       kRel, 6144, 4 * P, 4, {64, 88, 48, 72}, 6 * P, 6144, kRel},
      // Ping-pong: 1024 past the end continues 1024 before it, backwards.
      {"PingPongReflects", Ramp(10), -1, kPing, 4 * P, 8 * P, 22050, kPlay, 5120, 7 * P, 6,
       {112, 124, 104, 84, 64, 84}, 26624, 5120, kPlay},
      {"PingPongLeadIn", Ramp(16), -1, kPing, 4 * P, 8 * P, 22050, kPlay, 6144, 0, 6,
       {0, 24, 48, 72, 96, 120}, 7 * P, -6144, kPlay},
      {"PingPongLeadInCutByBlock", Ramp(16), -1, kPing, 4 * P, 8 * P, 22050, kPlay, 6144, 0, 2,
       {0, 24}, 12288, 6144, kPlay},
      // Turning exactly on a loop end at the end of the data renders the end
      // position itself, which reads the guard (weight 0).
      {"PingPongTurnOnDataEnd", Ramp(8), 1000, kPing, 4 * P, 8 * P, 22050, kPlay, P, 7 * P, 3,
       {112, 1000, 112}, 6 * P, -P, kPlay},
      // A backward run over a loop at point 0 renders position -1, which reads
      // point 0.
      {"PingPongBelowPointZero", Ramp(8, 100), -1, kPing, 0, 4 * P, 22050, kPlay, -P, 4095, 5,
       {115, 100, 116, 132, 148}, 16383, -P, kPlay},
      // Loops the procedures cannot run play as one-shot.
      {"EmptyLoopPlaysOneShot", Ramp(8), -1, kLoop, 4 * P, 4 * P, 22050, kPlay, P, 0, 10,
       {0, 16, 32, 48, 64, 80, 96}, 8 * P, P, kFree},
      {"ReversedPingPongPlaysOneShot", Ramp(8), -1, kPing, 6 * P, 2 * P, 22050, kPlay, P, 5 * P,
       10, {80, 96}, 8 * P, P, kFree},
      {"LoopShorterThanStepPlaysOneShot", Ramp(8), -1, kPing, 4 * P, 4 * P + 2048, 22050, kPlay, P,
       5 * P, 10, {80, 96}, 8 * P, P, kFree},
      // Rate 0: the data is already at the output rate.
      {"RateZeroStraightFromData", {5, 6, 7, 8, 9, 10}, -1, 0, 0, 0, 0, kPlay, 0, 0, 4,
       {5, 6, 7, 8}, 4 * P, 0, kPlay},
      {"RateZeroEndsWhenShort", {5, 6, 7, 8, 9, 10}, -1, 0, 0, 0, 0, kPlay, 0, 4 * P, 4, {9, 10},
       4 * P, 0, kFree},
      {"RateZeroEnteredAtEnd", {5, 6}, -1, 0, 0, 0, 0, kPlay, 0, 2 * P, 4, {}, 2 * P, 0, kFree},
      // Vibrato, every 2 ticks. One-shot tests the counter before each point,
      // so a reload covers 3 points.
      {"OneShotVibrato", Ramp(1024), -1, 0, 0, 0, 22050, kPlay, P, 0, 7,
       {0, 30, 60, 90, 119, 148, 177}, 52480, 7168, kPlay, 2, 2, 3},
      // The looped forms cut runs at the counter: a step every 2 points.
      {"ForwardVibrato", Ramp(1024), -1, kLoop, 0, 1000 * P, 22050, kPlay, P, 0, 7,
       {0, 30, 60, 89, 118, 146, 174}, 51456, 6912, kPlay, 2, 1, 4},
      {"PingPongVibrato", Ramp(1024), -1, kPing, 8 * P, 16 * P, 22050, kPlay, P, 0, 12,
       {0, 30, 60, 89, 118, 146, 174, 201, 228, 254, 232, 207}, 46592, -6400, kPlay, 2, 0, 6},
      // The end of the block lands on the counter: the step waits for the
      // next block rather than coming early.
      {"ForwardVibratoBlockEndsAtTick", Ramp(1024), -1, kLoop, 0, 1000 * P, 22050, kPlay, P, 0, 4,
       {0, 30, 60, 89}, 30208, 7424, kPlay, 2, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VoiceTestEngine t;
    const PatchSample& sample =
        t.AddSample(c.points, c.guard, c.modes, c.loopStart, c.loopEnd, c.rate);
    Voice& voice = t.StartVoice(sample, c.step, c.position);
    voice.state = static_cast<uint8_t>(c.state);
    voice.vibTicksPerStep = static_cast<int16_t>(c.vibTicks);
    for (int32_t k = 0; k < 32 && c.vibTicks > 0; ++k) voice.vibStepCache[k] = 4096 + 256 * k;
    int32_t count = c.count;
    const int16_t* points = ResampleVoice(t.engine, 0, count);
    EXPECT_EQ(std::vector<int16_t>(points, points + count), c.expected);
    EXPECT_EQ(voice.position, c.positionAfter);
    EXPECT_EQ(voice.step, c.stepAfter);
    EXPECT_EQ(voice.state, c.stateAfter);
    EXPECT_EQ(voice.vibTickCounter, c.counterAfter);
    EXPECT_EQ(voice.vibPhase, c.phaseAfter);
  }
}

// Points straight from a rate-0 sample onto a buffer of `initial`s.
TEST(MixVoiceTest, WritesExactSlots) {
  const std::vector<int16_t> three = {3, -2, 5, 0}, ones(30, 1);
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
      {"Mono", kMono, kPlay, kPanCentre, 100, 7, 3, three, 1000, {1300, 800, 1500}},
      {"Spread", kStereo, kPlay, kPanSpread, 100, 7, 3, three, 1000,
       {1300, 1021, 800, 986, 1500, 1035}},
      {"Centre", kStereo, kPlay, kPanCentre, 100, 7, 3, three, 1000,
       {1300, 1300, 800, 800, 1500, 1500}},
      {"LeftOnly", kStereo, kPlay, kPanLeftOnly, 100, 7, 3, three, 1000,
       {1300, 1000, 800, 1000, 1500, 1000}},
      // The single gain of a right-side voice is mixLeft.
      {"RightOnly", kStereo, kPlay, kPanRightOnly, 100, 7, 3, three, 1000,
       {1000, 1300, 1000, 800, 1000, 1500}},
      // 2^31 - 11 + 16382 wraps as 32-bit two's complement.
      {"Wraps", kMono, kPlay, kPanCentre, 8191, 0, 2, {2, -32768, 0}, INT32_MAX - 10,
       {INT32_MIN + 16371, 1879080949}},
      // Dying voices: the gain falls by gain / count per point (at least 1).
      {"RampMono", kMono, kDie, kPanCentre, 100, 0, 4, ones, 0, {75, 50, 25, 0}},
      // Ramped over the points the sample still has: 2, so 50 then 0.
      {"RampOverPointsLeft", kMono, kDie, kPanCentre, 100, 0, 4, {7, 7, 7}, 0, {350, 0, 0, 0}, P},
      // At most 20 points; the ramp stops once the gain is below 0.
      {"RampSmallGainAtMost20", kMono, kDie, kPanCentre, 10, 0, 30, ones, 0,
       {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // A right gain below the count keeps a step of 0.
      {"RampSpreadSmallRight", kStereo, kDie, kPanSpread, 100, 3, 4, ones, 0,
       {75, 3, 50, 3, 25, 3, 0, 3}},
      {"RampSpreadHeldAtZero", kStereo, kDie, kPanSpread, 2, 8, 4, ones, 0,
       {1, 6, 0, 4, 0, 2, 0, 0}},
      {"RampCentreStops", kStereo, kDie, kPanCentre, 2, 0, 4, ones, 0, {1, 1, 0, 0, 0, 0, 0, 0}},
      {"RampLeftOnly", kStereo, kDie, kPanLeftOnly, 8, 0, 4, ones, 0, {6, 0, 4, 0, 2, 0, 0, 0}},
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
    std::vector<int32_t> buffer(c.expected.size(), c.initial);
    MixVoice(t.engine, buffer.data(), 0, c.count);
    EXPECT_EQ(buffer, c.expected);
    EXPECT_EQ(voice.state, c.state == kDie ? kFree : c.state);
  }
}

// Every tick moves the envelope one gain index up, so the output of a sample
// of ones steps up exactly at the ticks; the level counts them.
TEST(MixVoiceTest, TicksEveryControlRatioSamples) {
  const std::vector<int16_t> ones(30, 1);
  const struct {
    int16_t counterBefore;
    int32_t count;
    std::vector<int32_t> ticks;  // points at which new gains start
    int16_t counterAfter;
  } cases[] = {{0, 8, {0, 4}, 0},  // ends on a tick
               {0, 9, {0, 4, 8}, 3}, {3, 3, {}, 0}, {3, 4, {3}, 3}, {1, 10, {1, 5, 9}, 3},
               {2, 1, {}, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "counter " << c.counterBefore << ", " << c.count);
    VoiceTestEngine t(22050, kMono);
    Voice& voice = t.StartVoice(t.AddSample(ones, -1, kModeEnvelope, 0, 0, 0), 0);
    voice.ampLeft = 268435456;
    voice.mixLeft = 0;
    voice.envStep = 1 << 23;
    voice.envTarget = 1 << 30;
    voice.controlCounter = c.counterBefore;
    std::vector<int32_t> buffer(c.count, 0);
    MixVoice(t.engine, buffer.data(), 0, c.count);
    std::vector<int32_t> changes;
    for (int32_t i = 0; i < c.count; ++i) {
      if (buffer[i] != (i == 0 ? 0 : buffer[i - 1])) changes.push_back(i);
    }
    EXPECT_EQ(changes, c.ticks);
    EXPECT_EQ(voice.envLevel >> 23, static_cast<int32_t>(c.ticks.size()));
    EXPECT_EQ(voice.controlCounter, c.counterAfter);
  }
  // A voice finishing at a tick leaves the rest of the block silent.
  VoiceTestEngine t(22050, kMono);
  Voice& voice = t.StartVoice(t.AddSample(ones, -1, kModeEnvelope, 0, 0, 0), 0);
  voice.state = kVoiceReleasing;
  voice.mixLeft = 50;
  voice.envLevel = 100;
  voice.envStep = -1000;  // reaches its target at the next tick
  voice.envStage = 6;     // with no stage left
  voice.controlCounter = 2;
  std::vector<int32_t> buffer(6, 0);
  MixVoice(t.engine, buffer.data(), 0, 6);
  EXPECT_EQ(buffer, (std::vector<int32_t>{50, 50, 0, 0, 0, 0}));
  EXPECT_EQ(voice.state, kVoiceFree);
}

// The render loop mixes a voice in runs between events: any split of a span
// must give the same samples and leave the voice in the same state.
TEST(MixVoiceTest, SeveralCallsEqualOneCallInEveryForm) {
  const struct { const char* name; uint8_t modes; bool vibrato, ticks; } forms[] = {
      {"OneShot", 0, false, true},     {"OneShotVibrato", 0, true, false},
      {"Forward", kLoop, false, true}, {"ForwardVibrato", kLoop, true, true},
      {"PingPong", kPing, false, false}, {"PingPongVibrato", kPing, true, true}};
  const std::vector<std::vector<int32_t>> splits = {
      {700}, {1, 699}, {4, 4, 4, 688}, {13, 100, 1, 1, 256, 329}, {333, 367}};
  std::vector<int16_t> points;
  for (int32_t i = 0; i < 300; ++i) {
    points.push_back(static_cast<int16_t>(i * 7919 % 20001 - 10000));
  }
  for (const auto& f : forms) {
    SCOPED_TRACE(f.name);
    std::vector<int32_t> reference;
    Voice first{};
    for (const std::vector<int32_t>& split : splits) {
      VoiceTestEngine t;
      PatchSample& sample = t.AddSample(points, -1, f.modes | (f.ticks ? kModeEnvelope : 0),
                                        50 * P + 1000, 120 * P);
      sample.vibDepth = 200;
      sample.tremDepth = 150;
      Voice& voice = t.StartVoice(sample, 5321);
      voice.panMode = kPanSpread;
      voice.ampLeft = 200000000;
      voice.ampRight = 100000000;
      voice.mixLeft = 3000;
      voice.mixRight = 1500;
      voice.vibTicksPerStep = f.vibrato ? 5 : 0;
      voice.vibSweepStep = 3000;
      if (f.ticks) {
        voice.envStep = 1 << 21;
        voice.envTarget = 1 << 30;
        voice.tremPhaseStep = 20000;
        voice.tremGain = 268435456;
      }
      std::vector<int32_t> buffer(2 * 700, 0);
      int32_t done = 0;
      for (int32_t n : split) {
        if (voice.state != kVoiceFree) MixVoice(t.engine, buffer.data() + 2 * done, 0, n);
        done += n;
      }
      if (reference.empty()) {
        reference = buffer;
        first = voice;
        // Looped voices sound to the end of the span; one-shots end inside it.
        EXPECT_EQ(voice.state == kVoiceFree, f.modes == 0);
        EXPECT_EQ(buffer[2 * 699] == 0, f.modes == 0);
        continue;
      }
      EXPECT_EQ(buffer, reference);
      EXPECT_EQ(std::tuple(voice.state, voice.position, voice.step, voice.vibTickCounter,
                           voice.vibPhase, voice.controlCounter),
                std::tuple(first.state, first.position, first.step, first.vibTickCounter,
                           first.vibPhase, first.controlCounter));
    }
  }
}

}  // namespace
}  // namespace pocketmidi
