#include <gtest/gtest.h>

#include <vector>

#include "synth/synth_engine.h"
#include "synth/synth_test_song.h"

namespace pocketmidi {
namespace {

using test::Tempo;
using test::TestSong;

TEST(SongPreparation, LeadInWideDivisionAndEndOfSong) {
  SynthEngine engine(nullptr);
  engine.sampleRate = 22050;
  TestSong song(96, {{0, 0, kVolume, 100, 0},
                     {500, 0, kPan, 10, 0},
                     {900, 1, kExpression, 90, 0},
                     {1000, 0, kNoteOn, 60, 100},
                     {1096, 0, kNoteOff, 60, 0}});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  EXPECT_EQ(engine.samplesPerTick, 114u);  // v = 7526393, not the exact 7526401
  EXPECT_EQ(engine.samplesPerTickFrac, 55289u);
  EXPECT_EQ(engine.controlRatio, 11);
  // Nothing before the first note (nor its own delta) takes time; 96 ticks
  // are 114 * 96 frames plus (55289 * 96) >> 16 = 80.
  const uint8_t types[] = {kListHead, kVolume, kPan, kExpression, kNoteOn, kNoteOff, kEndOfSong};
  const uint32_t times[] = {0, 0, 0, 0, 0, 11024, 11024};
  ASSERT_EQ(engine.eventCount, 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(engine.events[i].type, types[i]) << i;
    EXPECT_EQ(engine.events[i].time, times[i]) << i;
  }
  EXPECT_EQ(engine.songSamples, 11024u);
}

TEST(SongPreparation, TempoChangeTimesItsOwnDeltaAtTheNewTempo) {
  SynthEngine engine(nullptr);
  engine.sampleRate = 22050;
  TestSong song(96, {{0, 0, kNoteOn, 60, 100},
                     {96, 0, kNoteOff, 60, 0},
                     Tempo(192, 250000),
                     {288, 0, kNoteOn, 62, 100}});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  ASSERT_EQ(engine.eventCount, 5);  // the tempo event is dropped
  // Ticks 96..288 at v 3763188 (57 frames and 27636/65536 a tick), with the
  // fraction carried on from before the change.
  EXPECT_EQ(engine.events[3].time, 11024u + 11025u);
}

TEST(SongPreparation, DropsRepeatedProgramsAndBankSelectsAndMarksInstruments) {
  SynthEngine engine(nullptr);
  TestSong song(96, {{0, 0, kBankSelect, 1, 0},
                     {0, 0, kProgramChange, 5, 0},
                     {0, 0, kProgramChange, 5, 0},
                     {0, 1, kProgramChange, 0, 0},
                     {0, 9, kProgramChange, 3, 0},
                     {0, 9, kProgramChange, 3, 0},
                     {0, 0, kNoteOn, 60, 100},
                     {0, 9, kNoteOn, 36, 100}});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  std::vector<uint8_t> programChannels;
  for (int i = 0; i < engine.eventCount; ++i) {
    EXPECT_NE(engine.events[i].type, kBankSelect);
    if (engine.events[i].type == kProgramChange)
      programChannels.push_back(engine.events[i].channel);
  }
  EXPECT_EQ(programChannels, (std::vector<uint8_t>{0, 9, 9}));  // drum channel: all kept
  EXPECT_TRUE(IsPendingInstrument(engine.toneSlots[5].instrument));
  EXPECT_TRUE(IsPendingInstrument(engine.drumSlots[36].instrument));
  EXPECT_EQ(engine.toneSlots[0].instrument, nullptr);
  EXPECT_EQ(engine.toneSlots[3].instrument, nullptr);
}

TEST(SongPreparation, VoiceCountIsCappedByPeakPlusEight) {
  const int32_t cases[][2] = {{32, 11}, {6, 6}, {11, 11}, {12, 11}};
  for (const auto& c : cases) {
    SynthEngine engine(nullptr);
    engine.voiceCount = c[0];
    // Three notes at most at once; stray note-offs do not go below zero.
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
    EXPECT_EQ(engine.voiceCount, c[1]) << c[0];
  }
}

TEST(SongPreparation, RefusesNullListsAndSongsBeyondTheFrameRange) {
  SynthEngine engine(nullptr);
  EXPECT_EQ(engine.PrepareSong(nullptr), -3);
  EXPECT_EQ(engine.events, nullptr);
  // Division 1, 44100 Hz, tempo 1486077: 65535 frames and 65302/65536 a
  // tick, the most a tick holds; 32768 ticks stay below 2^31 frames.
  const struct {
    uint32_t lastTick;
    int32_t result;
    uint32_t frames;
  } cases[] = {{32768, 0, 2147483531u}, {32769, -3, 0}, {100000, -3, 0}};
  for (const auto& c : cases) {
    SynthEngine longSong(nullptr);
    longSong.sampleRate = 44100;
    TestSong song(1, {Tempo(0, 1486077), {0, 0, kNoteOn, 60, 1}, {c.lastTick, 0, kNoteOff, 60, 0}});
    EXPECT_EQ(longSong.PrepareSong(song.list()), c.result) << c.lastTick;
    EXPECT_EQ(longSong.songSamples, c.frames);
    EXPECT_EQ(longSong.events == nullptr, c.result != 0);
  }
}

TEST(SongPreparation, DivisionZeroPutsEveryEventAtTheStart) {
  SynthEngine engine(nullptr);
  TestSong song(0, {{0, 0, kNoteOn, 60, 100}, {500, 0, kNoteOff, 60, 0}, Tempo(600, 1000)});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  for (int i = 0; i < engine.eventCount; ++i) EXPECT_EQ(engine.events[i].time, 0u);
}

TEST(SongPreparation, LastNoteOffTablesPointAtTheLastEndingEvent) {
  SynthEngine engine(nullptr);
  engine.freeAtOnce = 1;
  TestSong song(96, {{0, 0, kNoteOn, 60, 100},
                     {10, 0, kNoteOff, 60, 0},
                     {20, 0, kNoteOn, 60, 100},
                     {30, 0, kNoteOn, 60, 0},
                     {40, 0, kProgramChange, 7, 0},
                     {50, 0, kNoteOn, 61, 100},
                     {60, 0, kNoteOff, 61, 0},
                     {70, 9, kNoteOn, 38, 100},
                     {80, 9, kNoteOff, 38, 0}});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  EXPECT_EQ(engine.lastProgramNoteOff[0], &engine.events[4]);  // velocity-0 NoteOn
  EXPECT_EQ(engine.lastProgramNoteOff[7], &engine.events[7]);
  EXPECT_EQ(engine.lastDrumNoteOff[38], &engine.events[9]);
  EXPECT_EQ(engine.lastProgramNoteOff[1], nullptr);
}

}  // namespace
}  // namespace pocketmidi
