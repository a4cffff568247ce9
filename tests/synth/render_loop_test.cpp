// The engine playing a prepared song: channel events on voices, voice
// stealing, output conversion, the render loop's blocks and seeking.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "synth/synth_engine.h"
#include "synth/synth_test_song.h"

namespace pocketmidi {
namespace {

using test::TickEvent;

// A song of `frames` frames (one frame per tick) with the given events on
// an engine of at most `voices` voices; every program plays the constant
// instrument, drum notes have no patch.
struct Rendering {
  Rendering(uint32_t flags, uint32_t frames, std::vector<TickEvent> notes = {}, int32_t voices = 32)
      : song(test::kFrameDivision, Events(frames, std::move(notes))) {
    engine.sampleRate = test::kTestRate;
    engine.formatFlags = flags;
    engine.voiceCount = voices;
    EXPECT_EQ(engine.PrepareSong(song.list()), 0);
    EXPECT_EQ(engine.songSamples, frames);
    for (InstrumentSlot& slot : engine.toneSlots) slot.instrument = instrument.get();
    engine.Seek(0);
  }
  ~Rendering() { test::DetachInstruments(engine); }
  // Silent note-offs at tick 0 (ending the lead-in) and at the end.
  static std::vector<TickEvent> Events(uint32_t frames, std::vector<TickEvent> notes) {
    notes.insert(notes.begin(), {test::Tempo(0, test::kFrameTempo), {0, 15, kNoteOn, 1, 0}});
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

  test::ConstantInstrument instrument{8192};
  test::TestSong song;
  SynthEngine engine{nullptr};
};

TEST(ChannelEventsTest, RestrikeSustainReleaseAndCut) {
  Rendering r(kFormat16Bit, 100, {}, 4);  // four voices, events dispatched directly
  r.Send(0, kNoteOn, 60, 100);
  r.Send(0, kNoteOn, 60, 100);  // cuts voice 0, never reuses it
  r.Send(1, kNoteOn, 60, 100);  // another channel: nothing cut
  EXPECT_EQ(r.States(), (std::vector<int>{kVoiceDying, kVoicePlaying, kVoicePlaying, kVoiceFree}));
  r.Send(0, kSustain, 127);
  r.Send(2, kSustain, 127);
  r.Send(2, kNoteOn, 61, 100);
  r.Send(0, kNoteOn, 60, 0);  // as NoteOff
  r.Send(2, kNoteOn, 61, 0);
  r.Send(1, kAllNotesOff, 0);
  EXPECT_EQ(r.States(), (std::vector<int>{kVoiceDying, kVoiceHeld, kVoiceReleasing, kVoiceHeld}));
  r.Send(0, kSustain, 0);  // releases its own channel's voices only
  EXPECT_EQ(r.States(),
            (std::vector<int>{kVoiceDying, kVoiceReleasing, kVoiceReleasing, kVoiceHeld}));
  r.Send(1, kAllSoundOff, 0);
  EXPECT_EQ(r.States(), (std::vector<int>{kVoiceDying, kVoiceReleasing, kVoiceDying, kVoiceHeld}));
}

TEST(ChannelEventsTest, SilentSlotsAndLaterNotesOnly) {
  Rendering r(kFormat16Bit, 100, {}, 4);  // four voices, events dispatched directly
  r.Send(9, kNoteOn, 36, 100);  // drum note without a patch: no voice
  r.Send(9, kProgramChange, 7);
  EXPECT_EQ(r.engine.channels[9].program, 0);
  EXPECT_EQ(r.States(), (std::vector<int>{kVoiceFree, kVoiceFree, kVoiceFree, kVoiceFree}));
  r.Send(0, kNoteOn, 60, 100);
  r.Send(0, kPan, 10);  // the sounding voice keeps the sample's pan
  r.Send(0, kNoteOn, 62, 100);
  EXPECT_EQ(r.engine.voices[0].pan, 64);
  EXPECT_EQ(r.engine.voices[1].pan, 10);
}

TEST(ChannelEventsTest, VoiceStealingByRankAndLoudness) {
  // Channel ranks: 0 -> 16, 1 -> 5, 2 -> 3, 3 -> -1.
  const int32_t ranks[16] = {16, 5, 3, -1, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
  const struct {
    const char* label;
    uint8_t states[4], channels[4];
    int32_t loudness[4];
    bool ranked;
    int taken;  // -1: the note is dropped
  } cases[] = {
      {"all playing", {1, 1, 1, 1}, {0, 0, 0, 0}, {1, 1, 1, 1}, false, -1},
      {"quietest, first found", {1, 3, 3, 2}, {0, 0, 0, 0}, {1, 500, 300, 300}, false, 3},
      {"dying never taken", {4, 3, 1, 1}, {0, 0, 0, 0}, {0, 400, 1, 1}, false, 1},
      {"rank -1 never taken", {3, 3, 3, 3}, {3, 3, 3, 3}, {5, 5, 5, 5}, true, -1},
      {"quieter, lower rank", {1, 1, 3, 3}, {0, 0, 2, 1}, {0, 0, 100, 300}, true, 3},
      {"louder, higher rank", {1, 3, 3, 1}, {0, 0, 1, 0}, {0, 200, 100, 0}, true, 2},
  };
  Rendering r(kFormat16Bit, 100, {}, 4);  // four voices, events dispatched directly
  for (const auto& c : cases) {
    for (int i = 0; i < 4; ++i) {
      Voice& v = r.engine.voices[i];
      v.state = c.states[i];
      v.channel = c.channels[i];
      v.note = static_cast<uint8_t>(100 + i);
      v.panMode = kPanCentre;
      v.mixLeft = c.loudness[i];
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

// Mono values through DeliverBytes in the given sample format.
std::vector<uint8_t> Convert(uint32_t flags, const std::vector<int32_t>& values) {
  SynthEngine engine(nullptr);
  engine.formatFlags = flags | kFormatMono;
  std::copy(values.begin(), values.end(), engine.mixBuffer);
  std::vector<uint8_t> out(2 * values.size());
  engine.outCursor = out.data();
  engine.outLeft = static_cast<uint32_t>(out.size());
  engine.DeliverBytes(reinterpret_cast<uint8_t*>(engine.mixBuffer),
                      static_cast<uint32_t>(values.size()), false);
  out.resize(engine.outDone);
  return out;
}

TEST(OutputConversion, ShiftClampAndSampleFormat) {
  EXPECT_EQ(
      test::Samples16(Convert(kFormat16Bit, {1 << 28, -(1 << 28), 8191, -1, 8192, INT32_MIN})),
      (std::vector<int16_t>{32767, -32768, 0, -1, 1, -32768}));
  EXPECT_EQ(Convert(0, {0, 1 << 28, -(1 << 28), (1 << 21) - 1, -1, 1 << 21}),
            (std::vector<uint8_t>{128, 255, 0, 128, 127, 129}));
  // An odd mono 8-bit flush loses its last sample.
  EXPECT_EQ(Convert(0, {0, 1 << 21, 1 << 28}), (std::vector<uint8_t>{128, 129}));
}

TEST(Milliseconds, RoundUpWithoutOverflow) {
  const uint32_t cases[][3] = {{22050, 22050, 1000}, {22050, 22051, 1001}, {22050, 0, 0},
                               {44100, 0xFFFFFFFFu, 97391549}, {8000, 0xFFFFFFFFu, 536870912}};
  for (const auto& c : cases) {
    SynthEngine engine(nullptr);
    engine.sampleRate = c[0];
    engine.songSamples = engine.currentSample = c[1];
    EXPECT_EQ(engine.DurationMs(), c[2]) << c[1];
    EXPECT_EQ(engine.PositionMs(), c[2]) << c[1];
  }
}

TEST(RenderLoop, FullBlocksArePendingAndTheLastBlockIsShort) {
  Rendering r(kFormat16Bit, 2148);  // two stereo blocks and 100 frames
  std::vector<uint8_t> buffer(4096);
  const int32_t results[] = {0, 4096, 4096, 400, 0, 0};  // the first asks for 0 bytes
  const uint32_t pending[] = {4096, 4096, 400, 0, 0, 0};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(r.engine.Render(buffer.data(), i == 0 ? 0 : 4096), results[i]) << i;
    EXPECT_EQ(r.engine.pendingBytes, pending[i]) << i;
  }
  EXPECT_EQ(r.engine.PositionMs(), r.engine.DurationMs());
  // Mono 8-bit output loses an odd last frame.
  const uint32_t totals[][3] = {{kFormat16Bit | kFormatMono, 1025, 2050}, {0, 1025, 2050},
                                {kFormatMono, 1025, 1024}, {kFormatMono, 1027, 1026},
                                {kFormat16Bit, 0, 0}};
  for (const auto& t : totals) {
    Rendering song(t[0], t[1]);
    EXPECT_EQ(test::RenderAll(song.engine, 3000).size(), t[2]) << t[0] << " " << t[1];
  }
}

// Events take effect on their exact frames, also around a block boundary, and
// the bytes do not depend on how much each render call asks for.
TEST(RenderLoop, EventsLandOnTheirExactFramesWhateverTheCallCapacity) {
  std::vector<int16_t> reference;
  for (uint32_t capacity : {1u, 4096u, 35296u, 1000000u}) {
    Rendering r(kFormat16Bit, 3000,
                {{0, 0, kNoteOn, 60, 100}, {1020, 1, kNoteOn, 64, 90}, {1023, 0, kVolume, 40, 0},
                 {1024, 2, kNoteOn, 67, 127}, {2047, 1, kNoteOff, 64, 0},
                 {2047, 3, kNoteOn, 60, 100}});
    const std::vector<int16_t> s = test::Samples16(test::RenderAll(r.engine, capacity));
    ASSERT_EQ(s.size(), 6000u) << capacity;
    if (reference.empty()) reference = s;
    EXPECT_EQ(s, reference) << capacity;
  }
  EXPECT_NE(reference[0], 0);
  for (int i = 1; i < 3000; ++i) {
    const bool event = i == 1020 || i == 1023 || i == 1024 || i == 2047;
    EXPECT_EQ(reference[2 * i] != reference[2 * i - 2], event) << i;
  }
}

TEST(Seeking, ReplaysChannelStateAndResumesAtTheTarget) {
  Rendering r(kFormat16Bit | kFormatMono, 1000,
              {{0, 0, kVolume, 50, 0}, {100, 0, kVolume, 70, 0}, {200, 0, kPan, 20, 0},
               {300, 0, kNoteOn, 62, 100}, {350, 1, kProgramChange, 4, 0},
               {350, 9, kProgramChange, 5, 0}});
  SynthEngine& e = r.engine;
  const struct {
    uint32_t target;
    int32_t volume, pan, program1, program9;
    uint8_t nextType;  // the last event before the target, dispatched again
  } cases[] = {
      {300, 70, 20, 0, 0, kPan}, {360, 70, 20, 4, 0, kProgramChange}, {50, 50, -1, 0, 0, kVolume}};
  for (const auto& c : cases) {
    e.Seek(c.target);
    EXPECT_EQ(e.currentSample, c.target);
    EXPECT_EQ((std::vector<int32_t>{e.channels[0].volume, e.channels[0].pan, e.channels[1].program,
                                    e.channels[9].program}),
              (std::vector<int32_t>{c.volume, c.pan, c.program1, c.program9}))
        << c.target;
    EXPECT_EQ(e.nextEvent->type, c.nextType) << c.target;
  }
  // The NoteOn at 300 sounds again at the target 310; a seek discards the
  // pending block.
  e.Seek(310);
  std::vector<uint8_t> frame(2);
  ASSERT_EQ(e.Render(frame.data(), 2), 2);
  EXPECT_NE(test::Samples16(frame)[0], 0);
  e.Seek(0);
  EXPECT_EQ(e.pendingBytes, 0u);
  EXPECT_EQ(e.nextEvent, e.events);
  // Past the end: at the song's last frame, on EndOfSong, nothing to render.
  e.Seek(5000);
  EXPECT_EQ(e.currentSample, 1000u);
  EXPECT_EQ(e.nextEvent->type, kEndOfSong);
  EXPECT_EQ(e.Render(frame.data(), 2), 0);
}

}  // namespace
}  // namespace pocketmidi
