// The engine playing a prepared song: channel events on voices, voice
// stealing by rank, output clamps and seeking. The golden render pins what a
// busy song sounds like, in blocks and buffers of every size it meets; these
// pin what it cannot see.
#include <gtest/gtest.h>

#include <algorithm>
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
  r.Send(9, kNoteOn, 36, 100);            // a drum note without a patch: no voice
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
  // Past the end: at the song's last frame, on EndOfSong, nothing to render.
  e.Seek(5000);
  EXPECT_EQ(e.currentSample, 1000u);
  EXPECT_EQ(e.nextEvent->type, kEndOfSong);
  std::vector<uint8_t> frame(2);
  EXPECT_EQ(e.Render(frame.data(), 2), 0);
}

}  // namespace
}  // namespace pocketmidi
