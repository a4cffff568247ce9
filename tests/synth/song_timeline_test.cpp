// Song preparation (event list to a timeline in output frames), the song
// duration computed straight from the event list with the same timing rules,
// and the engine playing the prepared song: channel events on voices, voice
// stealing by rank, output clamps and seeking. The golden render pins what a
// busy song sounds like, in blocks and buffers of every size it meets; these
// pin what it cannot see: lead-ins, tempo changes, truncations, wraps and the
// limits of the frame range among them.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "instruments/instrument.h"
#include "song/song_event.h"
#include "synth/song_duration.h"
#include "synth/synth_engine.h"

namespace pocketmidi {
namespace {

// A song event list from a table, and an instrument that plays a constant
// level straight from its data (rate 0: one point per output frame, no
// envelope), so notes start voices without any loading.
struct TickEvent {
  uint32_t tick;
  uint8_t channel, type, dataByte1, dataByte2;
};

inline TickEvent Tempo(uint32_t tick, uint32_t microsPerQuarter) {
  return {tick, static_cast<uint8_t>(microsPerQuarter), kTempo,
          static_cast<uint8_t>(microsPerQuarter >> 16),
          static_cast<uint8_t>(microsPerQuarter >> 8)};
}

// Starts with the ListHead entry, as a song's list does.
class TestSong {
 public:
  TestSong(int32_t division, const std::vector<TickEvent>& events)
      : events_{{0, 0, kListHead, 0, 0, nullptr}} {
    for (const TickEvent& e : events) {
      events_.push_back({e.tick, e.channel, e.type, e.dataByte1, e.dataByte2, nullptr});
    }
    for (size_t i = 0; i + 1 < events_.size(); ++i) events_[i].next = &events_[i + 1];
    list_ = {events_.data(), static_cast<uint32_t>(events_.size()), division};
  }
  TestSong(const TestSong&) = delete;
  TestSong& operator=(const TestSong&) = delete;
  const SongEventList* list() const { return &list_; }

 private:
  std::vector<SongEvent> events_;
  SongEventList list_{};
};

class ConstantInstrument {
 public:
  explicit ConstantInstrument(int16_t level, int32_t points = 200000) : data_(points + 1, level) {
    sample_.dataLength = sample_.loopEnd = points << 12;
    sample_.highFreq = 0x7FFFFFFF;
    sample_.rootFreq = 261626;
    sample_.volume = 268435456u;
    sample_.data = data_.data();
    sample_.pan = 64;
    instrument_ = {1, &sample_};
  }
  Instrument* get() { return &instrument_; }

 private:
  std::vector<int16_t> data_;
  PatchSample sample_{};
  Instrument instrument_{};
};

// The engine frees uncached instruments its slots hold: a test's own must
// be taken out first.
inline void DetachInstruments(SynthEngine& engine) {
  for (InstrumentSlot& slot : engine.toneSlots) slot.instrument = nullptr;
  for (InstrumentSlot& slot : engine.drumSlots) slot.instrument = nullptr;
}

// At 22050 Hz, division 11025 and this tempo a tick is exactly one frame
// (v = 65536), so ticks read as output frames.
constexpr uint32_t kTestRate = 22050;
constexpr int32_t kFrameDivision = 11025;
constexpr uint32_t kFrameTempo = 500104;

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
// channel's program. The voice pool is cut to the peak of sounding notes
// (2) plus 8; stray note-offs do not count below zero.
TEST(SongPreparation, MarksOnlyInstrumentsThatPlayAndSizesTheVoicePool) {
  SynthEngine engine(nullptr);
  engine.voiceCount = 12;
  const TestSong song(96, {{0, 0, kProgramChange, 5, 0}, {0, 1, kProgramChange, 7, 0},
                           {0, 9, kProgramChange, 3, 0}, {0, 0, kNoteOff, 99, 0}, Note(0, 0),
                           Note(0), {0, 9, kNoteOn, 36, 100}});
  ASSERT_EQ(engine.PrepareSong(song.list()), 0);
  EXPECT_TRUE(IsPendingInstrument(engine.toneSlots[5].instrument));
  EXPECT_TRUE(IsPendingInstrument(engine.drumSlots[36].instrument));
  EXPECT_EQ(engine.toneSlots[7].instrument, nullptr);
  EXPECT_EQ(engine.toneSlots[3].instrument, nullptr);
  EXPECT_EQ(engine.voiceCount, 10);
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

// A song of `frames` frames (one frame per tick) with the given events on
// an engine of at most `voices` voices; every program plays the constant
// instrument, drum notes have no patch.
struct Rendering {
  Rendering(uint32_t flags, uint32_t frames, std::vector<TickEvent> notes = {}, int32_t voices = 32)
      : song(kFrameDivision, Events(frames, std::move(notes))) {
    engine.sampleRate = kTestRate;
    engine.formatFlags = flags;
    engine.voiceCount = voices;
    EXPECT_EQ(engine.PrepareSong(song.list()), 0);
    EXPECT_EQ(engine.songSamples, frames);
    for (InstrumentSlot& slot : engine.toneSlots) slot.instrument = instrument.get();
    engine.Seek(0);
  }
  ~Rendering() { DetachInstruments(engine); }
  // Silent note-offs at tick 0 (ending the lead-in) and at the end.
  static std::vector<TickEvent> Events(uint32_t frames, std::vector<TickEvent> notes) {
    notes.insert(notes.begin(), {Tempo(0, kFrameTempo), {0, 15, kNoteOn, 1, 0}});
    notes.push_back({frames, 15, kNoteOff, 1, 0});
    return notes;
  }
  void Send(uint8_t channel, uint8_t type, uint8_t a, uint8_t b = 0) {
    engine.DispatchEvent(SynthEvent{0, channel, type, a, b});
  }
  std::vector<int> States() const {
    std::vector<int> states;
    for (int i = 0; i < engine.voiceCount; ++i) states.push_back(engine.voices[i].state);
    return states;
  }

  ConstantInstrument instrument{8192};
  TestSong song;
  SynthEngine engine{nullptr};
};

TEST(ChannelEventsTest, RestrikeSustainReleaseAndCut) {
  Rendering r(kFormat16Bit, 100, {}, 4);  // four voices, events dispatched directly
  r.Send(9, kNoteOn, 36, 100);            // a drum note without a patch: no voice
  r.Send(0, kNoteOn, 60, 100);
  r.Send(0, kNoteOn, 60, 100);  // cuts voice 0, never reuses it
  r.Send(1, kNoteOn, 60, 100);  // another channel: nothing cut
  EXPECT_EQ(r.States(), (std::vector<int>{kVoiceDying, kVoicePlaying, kVoicePlaying, kVoiceFree}));
  r.Send(0, kSustain, 127);
  r.Send(2, kSustain, 127);
  r.Send(2, kNoteOn, 61, 100);
  r.Send(0, kNoteOn, 60, 0);  // as NoteOff
  r.Send(2, kAllNotesOff, 0);  // held by the pedal like a note-off
  r.Send(1, kAllNotesOff, 0);
  EXPECT_EQ(r.States(), (std::vector<int>{kVoiceDying, kVoiceHeld, kVoiceReleasing, kVoiceHeld}));
  r.Send(0, kSustain, 0);  // releases its own channel's voices only
  EXPECT_EQ(r.States(),
            (std::vector<int>{kVoiceDying, kVoiceReleasing, kVoiceReleasing, kVoiceHeld}));
  r.Send(1, kAllSoundOff, 0);
  EXPECT_EQ(r.States(), (std::vector<int>{kVoiceDying, kVoiceReleasing, kVoiceDying, kVoiceHeld}));
}

TEST(ChannelEventsTest, VoiceStealingByRankAndLoudness) {
  // Channel ranks: 0 -> 16, 1 -> 5, 2 -> 3, 3 -> -1.
  const int32_t ranks[16] = {16, 5, 3, -1, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
  const struct {
    const char* label;
    uint8_t states[4], channels[4];
    int32_t loudness[4], right[4];  // a right gain makes the voice a spread one
    bool ranked;
    int taken;  // -1: the note is dropped
  } cases[] = {
      {"dying never taken", {4, 3, 1, 1}, {0, 0, 0, 0}, {0, 400, 1, 1}, {}, false, 1},
      {"rank -1 never taken", {3, 3, 3, 3}, {3, 3, 3, 3}, {5, 5, 5, 5}, {}, true, -1},
      {"quieter, lower rank", {1, 1, 3, 3}, {0, 0, 2, 1}, {0, 0, 100, 300}, {}, true, 3},
      {"louder, higher rank", {1, 3, 3, 1}, {0, 0, 1, 0}, {0, 200, 100, 0}, {}, true, 2},
      // A spread voice is as loud as its louder side (voice 1: 400, not 50).
      {"spread: louder side", {3, 3, 3, 3}, {0, 0, 0, 0}, {100, 50, 200, 300}, {0, 400, 0, 0},
       false, 0},
  };
  Rendering r(kFormat16Bit, 100, {}, 4);  // four voices, events dispatched directly
  for (const auto& c : cases) {
    for (int i = 0; i < 4; ++i) {
      Voice& v = r.engine.voices[i];
      v.state = c.states[i];
      v.channel = c.channels[i];
      v.note = static_cast<uint8_t>(100 + i);
      v.panMode = c.right[i] > 0 ? kPanSpread : kPanCentre;
      v.mixLeft = c.loudness[i];
      v.mixRight = c.right[i];
    }
    r.engine.channelRanks = c.ranked ? ranks : nullptr;
    r.Send(4, kNoteOn, 60, 100);
    int taken = -1;
    for (int i = 0; i < 4; ++i) {
      if (r.engine.voices[i].note == 60) taken = i;
    }
    EXPECT_EQ(taken, c.taken) << c.label;
  }
}

// Mono values through DeliverBytes, read back as output samples.
std::vector<int> Convert(uint32_t flags, const std::vector<int32_t>& values) {
  SynthEngine engine(nullptr);
  engine.formatFlags = flags | kFormatMono;
  std::copy(values.begin(), values.end(), engine.mixBuffer);
  std::vector<uint8_t> out(2 * values.size());
  engine.outCursor = out.data();
  engine.outLeft = static_cast<uint32_t>(out.size());
  engine.DeliverBytes(reinterpret_cast<uint8_t*>(engine.mixBuffer),
                      static_cast<uint32_t>(values.size()), false);
  const bool wide = (flags & kFormat16Bit) != 0;
  std::vector<int> samples;
  for (uint32_t i = 0; i < engine.outDone; i += wide ? 2 : 1) {
    samples.push_back(wide ? static_cast<int16_t>(out[i] | out[i + 1] << 8) : out[i]);
  }
  return samples;
}

// Both clamps of both sample formats: the golden render's song clips only at
// positive peaks.
TEST(OutputConversion, ClampsAndRounding) {
  EXPECT_EQ(Convert(kFormat16Bit, {1 << 28, -(1 << 28), 8191, -1}),
            (std::vector<int>{32767, -32768, 0, -1}));
  EXPECT_EQ(Convert(0, {1 << 28, -(1 << 28), (1 << 21) - 1, -1}),
            (std::vector<int>{255, 0, 128, 127}));
}

// Every channel setting before the target is replayed, a controller reset
// (channel 2's volume back to 90) included.
TEST(Seeking, ReplaysChannelStateAndResumesAtTheTarget) {
  Rendering r(kFormat16Bit | kFormatMono, 1000,
              {{0, 0, kVolume, 50, 0}, {100, 0, kVolume, 70, 0}, {200, 0, kPan, 20, 0},
               {210, 0, kSustain, 127, 0}, {220, 0, kExpression, 90, 0},
               {230, 0, kPitchBendRange, 12, 0}, {240, 2, kVolume, 10, 0},
               {250, 2, kResetControllers, 0, 0}, {300, 0, kNoteOn, 62, 100},
               {350, 1, kProgramChange, 4, 0}, {350, 9, kProgramChange, 5, 0}});
  SynthEngine& e = r.engine;
  const struct {
    uint32_t target;
    std::vector<int32_t> state;  // channel 0 volume, pan, sustain, expression, bend range;
                                 // channel 2 volume; programs of channels 1 and 9
    uint8_t nextType;  // the last event before the target, dispatched again
  } cases[] = {{300, {70, 20, 127, 90, 12, 90, 0, 0}, kResetControllers},
               {360, {70, 20, 127, 90, 12, 90, 4, 0}, kProgramChange},
               {50, {50, -1, 0, 127, 2, 90, 0, 0}, kVolume}};
  for (const auto& c : cases) {
    e.Seek(c.target);
    EXPECT_EQ(e.currentSample, c.target);
    const ChannelState& ch = e.channels[0];
    EXPECT_EQ((std::vector<int32_t>{ch.volume, ch.pan, ch.sustain, ch.expression, ch.bendRange,
                                    e.channels[2].volume, e.channels[1].program,
                                    e.channels[9].program}),
              c.state)
        << c.target;
    EXPECT_EQ(e.nextEvent->type, c.nextType) << c.target;
  }
  // Past the end: at the song's last frame, on EndOfSong, nothing to render.
  e.Seek(5000);
  EXPECT_EQ(e.currentSample, 1000u);
  EXPECT_EQ(e.nextEvent->type, kEndOfSong);
  std::vector<uint8_t> frame(2);
  EXPECT_EQ(e.Render(frame.data(), 2), 0);
}

}  // namespace
}  // namespace pocketmidi
