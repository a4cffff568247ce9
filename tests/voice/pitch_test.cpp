#include "voice/pitch.h"

#include <gtest/gtest.h>

#include "voice/voice_tables.h"
#include "voice_test_engine.h"

namespace pocketmidi {
namespace {

using testing_voice::VoiceTestEngine;

TEST(RecomputeStepTest, BendFrequencyAndStepWithTruncatingDivisions) {
  const struct {
    int32_t sampleRate, rootFreq, baseFreq;
    uint32_t outputRate;
    int32_t pitchBend, bendRange;
    int32_t factor;  // bendFactor afterwards; 0: no bend, nothing cached
    int32_t freq, step;
  } cases[] = {
      {22050, 261626, 261626, 22050, 8192, 2, 0, 261626, 4095},  // the root: not 4096
      {44100, 440000, 440000, 22050, 8192, 2, 0, 440000, 8191},
      {44100, 440000, 493883, 44100, 8192, 2, 0, 493883, 4597},
      {8000, 440000, 8176, 44100, 8192, 2, 0, 8176, 13},
      {44100, 8176, 12543854, 8000, 8192, 2, 0, 12543854, 34641656},
      // Up falls a little short of two semitones, down is exactly two.
      {22050, 261626, 440000, 22050, 16383, 2, 1176721, 493771, 7730},
      {22050, 261626, 440000, 22050, 0, 2, 1176987, 391993, 6137},
      {22050, 261626, 440000, 44100, -1, 2, 0, 440000, 3444},  // out of range: none
      {22050, 261626, 440000, 44100, 16384, 2, 0, 440000, 3444},
      {22050, 261626, 440000, 44100, 0, 12, 2097152, 219989, 1722},  // octave via WideDiv
      {22050, 261626, 440000, 22050, 16383, 0, 1048576, 440000, 6888},
      {22050, 261626, 440000, 22050, 12288, 1, 1079301, 452892, 7090},
      {22050, 261626, 440000, 22050, 16383, 24, 4193357, 1759602, 27548},
      // Ranges beyond the table (corrupt data) stop at 127 semitones.
      {22050, 261626, 440000, 22050, 16383, 200, 1701768943, 714090666, 11179757},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.baseFreq << " bend " << c.pitchBend << "/"
                                      << c.bendRange);
    VoiceTestEngine t(c.outputRate);
    t.sample.sampleRate = c.sampleRate;
    t.sample.rootFreq = c.rootFreq;
    t.engine.channels[2].pitchBend = c.pitchBend;
    t.engine.channels[2].bendRange = c.bendRange;
    t.voice(1).channel = 2;
    t.voice(1).baseFreq = c.baseFreq;
    RecomputeStep(t.engine, 1);
    EXPECT_EQ(t.engine.channels[2].bendFactor, c.factor);
    EXPECT_EQ(t.voice(1).freq, c.freq);
    EXPECT_EQ(t.voice(1).step, c.step);
  }
}

TEST(RecomputeStepTest, CachedFactorDirectionRateZeroAndVibratoCache) {
  VoiceTestEngine t;
  Voice& v = t.voice();
  v.baseFreq = 440000;
  v.step = -1;  // backwards in a ping-pong loop
  v.vibStepCache[5] = 99;
  t.engine.channels[0].pitchBend = 16383;
  t.engine.channels[0].bendFactor = 2 * 1048576;  // a cached factor is used as it stands
  RecomputeStep(t.engine, 0);
  EXPECT_EQ(v.freq, 880000);
  EXPECT_EQ(v.step, -13777);
  EXPECT_EQ(v.vibStepCache[5], 99);  // no vibrato: the cache is not touched
  v.vibTicksPerStep = 10;
  t.engine.channels[0].pitchBend = 8192;
  RecomputeStep(t.engine, 0);
  EXPECT_EQ(v.step, -6888);
  EXPECT_EQ(v.vibStepCache[5], 0);
  // A rate-0 sample, or an index outside the pool, changes nothing.
  t.engine.channels[0].pitchBend = 0;
  t.sample.sampleRate = 0;
  RecomputeStep(t.engine, 0);
  t.sample.sampleRate = 22050;
  RecomputeStep(t.engine, -1);
  RecomputeStep(t.engine, t.engine.voiceCount);
  EXPECT_EQ(v.freq, 440000);
  EXPECT_EQ(v.step, -6888);
  EXPECT_EQ(t.engine.channels[0].bendFactor, 2 * 1048576);
}

// Slots run down over the first quarter cycle, then up over the middle half
// and down again, so each slot serves two mirrored phases.
TEST(VibratoStepTest, SlotsOfMirroredPhases) {
  const int32_t cases[][2] = {{0, 15}, {7, 8},   {15, 0},  {16, 0},  {31, 15},
                              {32, 16}, {47, 31}, {48, 31}, {56, 23}, {63, 16}};
  for (const auto& c : cases) EXPECT_EQ(VibratoSlot(c[0]), c[1]) << c[0];
}

// A 44.1 kHz sample with root 440 Hz playing 493883 milli-Hz at 22050 Hz
// (plain step 9195), vibrato depth 200.
struct VibratoEngine : VoiceTestEngine {
  explicit VibratoEngine(uint8_t depth = 200) {
    sample.sampleRate = 44100;
    sample.rootFreq = 440000;
    sample.vibDepth = depth;
    voice().freq = 493883;
    voice().vibTicksPerStep = 40;
  }
};

TEST(VibratoStepTest, StepOfEachPhase) {
  const struct { int16_t phase; uint8_t depth; int32_t expected; } cases[] = {
      {1, 200, 9358},   {8, 200, 10445}, {15, 200, 11004}, {16, 200, 11014}, {24, 200, 10445},
      {32, 200, 9195},  {40, 200, 8094}, {47, 200, 7683},  {48, 200, 7676},  {56, 200, 8094},
      {63, 200, 9034},  {0, 200, 9195},
      {16, 0, 9195},    {48, 0, 9195}};  // no depth: the plain step both ways
  for (const auto& c : cases) {
    VibratoEngine t(c.depth);
    t.voice().vibPhase = static_cast<int16_t>(c.phase == 0 ? 63 : c.phase - 1);
    EXPECT_EQ(VibratoStep(t.engine, t.voice(), false), c.expected) << c.phase;
    EXPECT_EQ(t.voice().vibPhase, c.phase);
    EXPECT_EQ(t.voice().vibStepCache[VibratoSlot(c.phase)], c.expected);
  }
}

TEST(VibratoStepTest, CachedSlotServesItsMirrorAndBackwardsKeepsSign) {
  VibratoEngine t;
  t.voice().vibPhase = 14;
  EXPECT_EQ(VibratoStep(t.engine, t.voice(), false), 11004);  // phase 15, slot 0
  EXPECT_EQ(VibratoStep(t.engine, t.voice(), true), -11004);  // phase 16 reuses slot 0
  EXPECT_EQ(t.voice().vibStepCache[0], 11004);
  t.voice().vibPhase = 47;
  EXPECT_EQ(VibratoStep(t.engine, t.voice(), true), -7676);  // computed backwards
  EXPECT_EQ(t.voice().vibStepCache[31], 7676);               // cached forwards
}

TEST(VibratoStepTest, SweepCachesNothingUntilComplete) {
  VibratoEngine t;
  t.voice().vibSweepStep = 32768;
  t.voice().vibPhase = 7;
  EXPECT_EQ(VibratoStep(t.engine, t.voice(), false), 9799);  // phase 8, half depth
  EXPECT_EQ(t.voice().vibSweepPos, 32768);
  EXPECT_EQ(t.voice().vibSweepStep, 32768);
  for (int32_t cached : t.voice().vibStepCache) EXPECT_EQ(cached, 0);
  EXPECT_EQ(VibratoStep(t.engine, t.voice(), false), 10571);  // phase 9, sweep done
  EXPECT_EQ(t.voice().vibSweepStep, 0);
  EXPECT_EQ(t.voice().vibStepCache[VibratoSlot(9)], 10571);
  t.voice().vibPhase = -3;  // out of range: the cycle restarts at phase 0
  EXPECT_EQ(VibratoStep(t.engine, t.voice(), false), 9195);
  EXPECT_EQ(t.voice().vibPhase, 0);
}

}  // namespace
}  // namespace pocketmidi
