// Voice pitch: the step after a channel bend. The golden render pins
// ordinary bends and the vibrato steps; these are the extremes of rate and
// frequency, bends outside the wheel's range and ranges only corrupt data
// can carry.
#include "voice/pitch.h"

#include <gtest/gtest.h>

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
      // The highest note on the lowest root, at the lowest output rate.
      {44100, 8176, 12543854, 8000, 8192, 2, 0, 12543854, 34641656},
      // Up falls a little short of two semitones, down is exactly two.
      {22050, 261626, 440000, 22050, 16383, 2, 1176721, 493771, 7730},
      {22050, 261626, 440000, 22050, 0, 2, 1176987, 391993, 6137},
      {22050, 261626, 440000, 44100, -1, 2, 0, 440000, 3444},  // out of range: none
      {22050, 261626, 440000, 44100, 16384, 2, 0, 440000, 3444},
      // Ranges beyond the table (corrupt data) stop at 127 semitones.
      {22050, 261626, 440000, 22050, 16383, 200, 1701768943, 714090666, 11179757},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.baseFreq << " bend " << c.pitchBend << "/" << c.bendRange);
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

}  // namespace
}  // namespace pocketmidi
