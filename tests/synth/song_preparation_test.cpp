#include <gtest/gtest.h>

#include <vector>

#include "synth/synth_engine.h"
#include "synth/synth_test_song.h"

namespace pocketmidi {
namespace {

using test::TestSong;
using test::Tempo;

std::vector<SynthEvent> Timeline(const SynthEngine& engine) {
  return std::vector<SynthEvent>(engine.events, engine.events + engine.eventCount);
}

TEST(SongPreparation, FramesPerTickUseTheTruncatingWideDivision) {
  SynthEngine engine(nullptr);
  engine.sampleRate = 22050;
  TestSong song(96, {{0, 0, kNoteOn, 60, 100}, {96, 0, kNoteOff, 60, 0}});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  EXPECT_EQ(engine.samplesPerTick, 114u);  // v = 7526393, not the exact 7526401
  EXPECT_EQ(engine.samplesPerTickFrac, 55289u);
  // 96 ticks: 114 * 96 plus the carried fraction (55289 * 96) >> 16 = 80.
  EXPECT_EQ(engine.songSamples, 11024u);
}

TEST(SongPreparation, EverythingBeforeTheFirstNoteIsAtFrameZeroInOrder) {
  SynthEngine engine(nullptr);
  engine.sampleRate = 22050;
  TestSong song(96, {{0, 0, kVolume, 100, 0},
                     {500, 0, kPan, 10, 0},
                     {900, 1, kExpression, 90, 0},
                     {1000, 0, kNoteOn, 60, 100},
                     {1096, 0, kNoteOff, 60, 0}});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  const std::vector<SynthEvent> events = Timeline(engine);
  ASSERT_EQ(events.size(), 7u);  // head, 5 events, EndOfSong
  const uint8_t types[] = {kListHead, kVolume, kPan, kExpression, kNoteOn, kNoteOff, kEndOfSong};
  const uint32_t times[] = {0, 0, 0, 0, 0, 11024, 11024};
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].type, types[i]) << i;
    EXPECT_EQ(events[i].time, times[i]) << i;
  }
  EXPECT_EQ(engine.songSamples, events.back().time);
}

TEST(SongPreparation, TempoChangeTimesItsOwnDeltaAtTheNewTempo) {
  SynthEngine engine(nullptr);
  engine.sampleRate = 22050;
  TestSong song(96, {{0, 0, kNoteOn, 60, 100},
                     {96, 0, kNoteOff, 60, 0},
                     Tempo(192, 250000),
                     {288, 0, kNoteOn, 62, 100}});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  const std::vector<SynthEvent> events = Timeline(engine);
  ASSERT_EQ(events.size(), 5u);  // the tempo event is dropped
  EXPECT_EQ(events[2].time, 11024u);
  // Ticks 96..288 all at the new tempo (v 3763188: 57 frames and 27636/65536
  // a tick), the fraction carried on from before the change.
  EXPECT_EQ(events[3].time, 11024u + 11025u);
  EXPECT_EQ(engine.samplesPerTick, 57u);
}

TEST(SongPreparation, DropsRepeatedProgramsAndBankSelects) {
  SynthEngine engine(nullptr);
  TestSong song(96, {{0, 0, kBankSelect, 1, 0},
                     {0, 0, kProgramChange, 5, 0},
                     {0, 0, kProgramChange, 5, 0},
                     {0, 1, kProgramChange, 0, 0},  // already the default program
                     {0, 9, kProgramChange, 3, 0},  // drum channel: always kept
                     {0, 9, kProgramChange, 3, 0},
                     {0, 0, kNoteOn, 60, 100},
                     {0, 9, kNoteOn, 36, 100}});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  std::vector<uint8_t> kept;
  for (const SynthEvent& e : Timeline(engine)) {
    EXPECT_NE(e.type, kBankSelect);
    if (e.type == kProgramChange) kept.push_back(e.channel);
  }
  EXPECT_EQ(kept, (std::vector<uint8_t>{0, 9, 9}));
  // Only the played program and drum note are marked as needed.
  EXPECT_TRUE(IsPendingInstrument(engine.toneSlots[5].instrument));
  EXPECT_TRUE(IsPendingInstrument(engine.drumSlots[36].instrument));
  EXPECT_EQ(engine.toneSlots[0].instrument, nullptr);
  EXPECT_EQ(engine.toneSlots[3].instrument, nullptr);
}

TEST(SongPreparation, VoiceCountIsCappedByPeakPlusEight) {
  const struct {
    int32_t configured;
    int32_t expected;
  } cases[] = {{32, 11}, {6, 6}, {11, 11}, {12, 11}};
  for (const auto& c : cases) {
    SynthEngine engine(nullptr);
    engine.voiceCount = c.configured;
    // At most three notes at once (a velocity-0 NoteOn ends one).
    TestSong song(96, {{0, 0, kNoteOn, 60, 100},
                       {0, 0, kNoteOn, 64, 100},
                       {10, 0, kNoteOn, 67, 100},
                       {20, 0, kNoteOn, 60, 0},
                       {20, 0, kNoteOn, 72, 100},
                       {30, 0, kNoteOff, 64, 0},
                       {30, 0, kNoteOff, 99, 0},
                       {30, 0, kNoteOff, 98, 0},
                       {30, 0, kNoteOff, 97, 0},
                       {40, 0, kNoteOn, 50, 100},
                       {40, 0, kNoteOn, 51, 100}});
    ASSERT_EQ(engine.PrepareSong(song.list()), 0);
    EXPECT_EQ(engine.voiceCount, c.expected) << c.configured;
    EXPECT_NE(engine.voices, nullptr);
  }
}

TEST(SongPreparation, ControlRatioFollowsTheRate) {
  const uint32_t rates[] = {8000, 11025, 16000, 22050, 32000, 44100};
  const int32_t ratios[] = {4, 5, 8, 11, 16, 22};
  for (size_t i = 0; i < 6; ++i) {
    SynthEngine engine(nullptr);
    engine.sampleRate = rates[i];
    TestSong song(96, {{0, 0, kNoteOn, 60, 100}});
    ASSERT_EQ(engine.PrepareSong(song.list()), 0);
    EXPECT_EQ(engine.controlRatio, ratios[i]) << rates[i];
  }
}

TEST(SongPreparation, RefusesNullListsAndSongsBeyondTheFrameRange) {
  SynthEngine engine(nullptr);
  EXPECT_EQ(engine.PrepareSong(nullptr), -3);
  EXPECT_EQ(engine.events, nullptr);

  // Division 1 at 44100 Hz and tempo 1486077: 65535 frames and 65302/65536
  // a tick, the most a tick can hold; 32768 ticks stay below 2^31 frames.
  const struct {
    uint32_t lastTick;
    int32_t result;
  } cases[] = {{32768, 0}, {32769, -3}, {100000, -3}};
  for (const auto& c : cases) {
    SynthEngine longSong(nullptr);
    longSong.sampleRate = 44100;
    TestSong song(1, {Tempo(0, 1486077), {0, 0, kNoteOn, 60, 1}, {c.lastTick, 0, kNoteOff, 60, 0}});
    EXPECT_EQ(longSong.PrepareSong(song.list()), c.result) << c.lastTick;
    if (c.result == 0) {
      EXPECT_EQ(longSong.songSamples, 2147483531u);
    } else {
      EXPECT_EQ(longSong.events, nullptr);
    }
  }
}

TEST(SongPreparation, DivisionZeroPutsEveryEventAtTheStart) {
  SynthEngine engine(nullptr);
  TestSong song(0, {{0, 0, kNoteOn, 60, 100}, {500, 0, kNoteOff, 60, 0}, Tempo(600, 1000)});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  EXPECT_EQ(engine.songSamples, 0u);
  for (const SynthEvent& e : Timeline(engine)) EXPECT_EQ(e.time, 0u);
}

TEST(SongPreparation, LastNoteOffTablesPointAtTheLastEndingEvent) {
  SynthEngine engine(nullptr);
  engine.freeAtOnce = 1;
  TestSong song(96, {{0, 0, kNoteOn, 60, 100},
                     {10, 0, kNoteOff, 60, 0},
                     {20, 0, kNoteOn, 60, 100},
                     {30, 0, kNoteOn, 60, 0},  // the last end of program 0
                     {40, 0, kProgramChange, 7, 0},
                     {50, 0, kNoteOn, 61, 100},
                     {60, 0, kNoteOff, 61, 0},  // program 7
                     {70, 9, kNoteOn, 38, 100},
                     {80, 9, kNoteOff, 38, 0}});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  ASSERT_NE(engine.lastProgramNoteOff, nullptr);
  EXPECT_EQ(engine.lastProgramNoteOff[0], &engine.events[4]);
  EXPECT_EQ(engine.lastProgramNoteOff[7], &engine.events[7]);
  EXPECT_EQ(engine.lastDrumNoteOff[38], &engine.events[9]);
  EXPECT_EQ(engine.lastProgramNoteOff[1], nullptr);
  EXPECT_EQ(engine.lastDrumNoteOff[60], nullptr);
}

}  // namespace
}  // namespace pocketmidi
