// Song preparation (event list to a timeline in output frames) and the song
// duration computed straight from the event list with the same timing rules:
// lead-ins, tempo changes, truncations, wraps and the limits of the frame
// range, none of which the golden render's song reaches.
#include <gtest/gtest.h>

#include <vector>

#include "synth/song_duration.h"
#include "synth/synth_engine.h"
#include "synth/synth_test_song.h"

namespace pocketmidi {
namespace {

using test::Tempo;
using test::TestSong;
using test::TickEvent;

TickEvent Note(uint32_t tick, uint8_t velocity = 100) { return {tick, 0, kNoteOn, 60, velocity}; }
TickEvent Volume(uint32_t tick) { return {tick, 0, kVolume, 100, 0}; }

TEST(SongDuration, MillisecondsFromTheFirstNote) {
  const struct {
    const char* name;
    int32_t division;
    std::vector<TickEvent> events;
    int32_t expectedMs;
  } cases[] = {
      // 10000 ticks at 500000 us and 96 ticks: 52083333 us, beyond 32 bits
      // before dividing.
      {"LongRestIsNotWrapped", 96, {Note(0), Note(10000, 0)}, 52083},
      {"LeadInDoesNotCount", 96,
       {Volume(0), Tempo(500, 250000), Volume(900), Note(1000), Note(1096, 0)}, 250},
      {"SilentFirstNoteStartsTheSong", 96, {Note(100, 0), Note(196)}, 500},
      {"NewTempoTimesItsOwnDelta", 96, {Note(0), Tempo(96, 250000), Note(192, 0)}, 500},
      // Each delta is truncated on its own: 3 x 333 us, not 1000 us.
      {"TruncatesPerDelta", 3, {Tempo(0, 1000), Note(0), Note(1), Note(2), Note(3)}, 0},
      // The microsecond total is a signed 32-bit count.
      {"TotalWrapsAt31Bits", 1, {Note(0), Note(5000, 0)}, -1794967},
      {"DivisionZero", 0, {Note(0), Note(96)}, 0},
  };
  for (const auto& c : cases) {
    const TestSong song(c.division, c.events);
    EXPECT_EQ(SongDurationMs(song.list()), c.expectedMs) << c.name;
  }
  EXPECT_EQ(SongDurationMs(nullptr), 0);
}

// Nothing before the first note (nor its own delta) takes time. At 22050 Hz,
// tempo 500000 and division 96 a tick is v = 7526393 (the chained divisions
// plus one, not the exact 7526401): 114 frames and 55289/65536, so 96 ticks
// are 114 * 96 frames plus (55289 * 96) >> 16 = 80. A tempo event is dropped
// and times its own delta at the new tempo, v = 3763188 (57 frames and
// 27636/65536, again short of the exact 3763201), carrying on the fraction from
// before the change.
TEST(SongPreparation, LeadInTempoChangesAndEndOfSong) {
  SynthEngine engine(nullptr);
  engine.sampleRate = 22050;
  const TestSong song(96, {Volume(0), {500, 0, kPan, 10, 0}, {900, 1, kExpression, 90, 0},
                           Note(1000), {1096, 0, kNoteOff, 60, 0}, Tempo(1192, 250000),
                           {1288, 0, kNoteOn, 62, 100}});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  EXPECT_EQ(engine.samplesPerTick, 57u);  // the last tempo's
  EXPECT_EQ(engine.samplesPerTickFrac, 27636u);
  EXPECT_EQ(engine.controlRatio, 11);
  const uint8_t types[] = {kListHead, kVolume, kPan, kExpression, kNoteOn, kNoteOff, kNoteOn,
                           kEndOfSong};
  const uint32_t times[] = {0, 0, 0, 0, 0, 11024, 11024 + 11025, 11024 + 11025};
  ASSERT_EQ(engine.eventCount, 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(engine.events[i].type, types[i]) << i;
    EXPECT_EQ(engine.events[i].time, times[i]) << i;
  }
  EXPECT_EQ(engine.songSamples, 11024u + 11025u);

  SynthEngine flat(nullptr);  // division 0: every event at the start
  const TestSong zero(0, {Note(0), {500, 0, kNoteOff, 60, 0}, Tempo(600, 1000)});
  ASSERT_EQ(flat.PrepareSong(zero.list()), 0);
  for (int i = 0; i < flat.eventCount; ++i) EXPECT_EQ(flat.events[i].time, 0u);
}

// Only what plays is marked for loading: the program of a channel with a
// note and each drum note's slot, not a program without notes, nor the drum
// channel's program.
TEST(SongPreparation, MarksOnlyInstrumentsThatPlay) {
  SynthEngine engine(nullptr);
  const TestSong song(96, {{0, 0, kProgramChange, 5, 0}, {0, 1, kProgramChange, 7, 0},
                           {0, 9, kProgramChange, 3, 0}, Note(0), {0, 9, kNoteOn, 36, 100}});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  EXPECT_TRUE(IsPendingInstrument(engine.toneSlots[5].instrument));
  EXPECT_TRUE(IsPendingInstrument(engine.drumSlots[36].instrument));
  EXPECT_EQ(engine.toneSlots[7].instrument, nullptr);
  EXPECT_EQ(engine.toneSlots[3].instrument, nullptr);
}

TEST(SongPreparation, VoiceCountIsCappedByPeakPlusEight) {
  // Three notes at most at once; stray note-offs do not go below zero.
  const TestSong song(96, {Note(0), {0, 0, kNoteOn, 64, 100}, {10, 0, kNoteOn, 67, 100},
                           Note(20, 0), {20, 0, kNoteOn, 72, 100}, {30, 0, kNoteOff, 64, 0},
                           {30, 0, kNoteOff, 99, 0}, {30, 0, kNoteOff, 98, 0},
                           {30, 0, kNoteOff, 97, 0}, {40, 0, kNoteOn, 50, 100},
                           {40, 0, kNoteOn, 51, 100}});
  SynthEngine engine(nullptr);
  engine.voiceCount = 12;
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  EXPECT_EQ(engine.voiceCount, 11);
}

TEST(SongPreparation, RefusesNullListsAndSongsBeyondTheFrameRange) {
  SynthEngine engine(nullptr);
  EXPECT_EQ(engine.PrepareSong(nullptr), -3);
  EXPECT_EQ(engine.events, nullptr);
  // Division 1, 44100 Hz, tempo 1486077: 65535 frames and 65302/65536 a
  // tick, the most a tick holds; 32768 ticks stay below 2^31 frames, whose
  // milliseconds are counted in 64 bits and rounded up.
  const struct { uint32_t lastTick; int32_t result; uint32_t frames, ms; } cases[] = {
      {32768, 0, 2147483531u, 48695772u}, {32769, -3, 0, 0}};
  for (const auto& c : cases) {
    SynthEngine longSong(nullptr);
    longSong.sampleRate = 44100;
    const TestSong song(1, {Tempo(0, 1486077), Note(0, 1), {c.lastTick, 0, kNoteOff, 60, 0}});
    EXPECT_EQ(longSong.PrepareSong(song.list()), c.result) << c.lastTick;
    EXPECT_EQ(longSong.songSamples, c.frames);
    EXPECT_EQ(longSong.DurationMs(), c.ms);
    EXPECT_EQ(longSong.events == nullptr, c.result != 0);
  }
}

TEST(SongPreparation, LastNoteOffTablesPointAtTheLastEndingEvent) {
  SynthEngine engine(nullptr);
  engine.freeAtOnce = 1;
  const TestSong song(96, {Note(0), {10, 0, kNoteOff, 60, 0}, Note(20), Note(30, 0),
                           {40, 0, kProgramChange, 7, 0}, {50, 0, kNoteOn, 61, 100},
                           {60, 0, kNoteOff, 61, 0}, {70, 9, kNoteOn, 38, 100},
                           {80, 9, kNoteOff, 38, 0}});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  EXPECT_EQ(engine.lastProgramNoteOff[0], &engine.events[4]);  // velocity-0 NoteOn
  EXPECT_EQ(engine.lastProgramNoteOff[7], &engine.events[7]);
  EXPECT_EQ(engine.lastDrumNoteOff[38], &engine.events[9]);
  EXPECT_EQ(engine.lastProgramNoteOff[1], nullptr);
}

}  // namespace
}  // namespace pocketmidi
