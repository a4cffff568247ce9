#include <gtest/gtest.h>

#include <vector>

#include "synth/synth_engine.h"
#include "synth/synth_test_song.h"

namespace pocketmidi {
namespace {

// Four voices; every program plays the constant instrument, drum notes
// have no patch. Events are dispatched directly.
class ChannelEvents : public ::testing::Test {
 protected:
  ChannelEvents() : song(96, {{0, 0, kNoteOn, 1, 1}}) {
    engine.voiceCount = 4;
    EXPECT_EQ(engine.PrepareSong(song.list()), 0);
    test::DetachInstruments(engine);
    for (InstrumentSlot& slot : engine.toneSlots) slot.instrument = instrument.get();
    engine.Seek(0);
  }
  ~ChannelEvents() override { test::DetachInstruments(engine); }
  void Send(uint8_t channel, uint8_t type, uint8_t a, uint8_t b = 0) {
    engine.DispatchEvent(SynthEvent{0, channel, type, a, b});
  }
  std::vector<int> States() const {
    return {engine.voices[0].state, engine.voices[1].state, engine.voices[2].state,
            engine.voices[3].state};
  }

  test::ConstantInstrument instrument{1000};
  test::TestSong song;
  SynthEngine engine{nullptr};
};

TEST_F(ChannelEvents, RestrikeSustainReleaseAndCut) {
  Send(0, kNoteOn, 60, 100);
  Send(0, kNoteOn, 60, 100);  // cuts voice 0, never reuses it
  Send(1, kNoteOn, 60, 100);  // another channel: nothing cut
  EXPECT_EQ(States(), (std::vector<int>{kVoiceDying, kVoicePlaying, kVoicePlaying, kVoiceFree}));
  Send(0, kSustain, 127);
  Send(0, kNoteOn, 60, 0);  // as NoteOff
  Send(1, kAllNotesOff, 0);
  EXPECT_EQ(States(), (std::vector<int>{kVoiceDying, kVoiceHeld, kVoiceReleasing, kVoiceFree}));
  Send(0, kSustain, 0);
  EXPECT_EQ(engine.voices[1].state, kVoiceReleasing);
  Send(1, kAllSoundOff, 0);
  EXPECT_EQ(States(), (std::vector<int>{kVoiceDying, kVoiceReleasing, kVoiceDying, kVoiceFree}));
}

TEST_F(ChannelEvents, SilentSlotsAndLaterNotesOnly) {
  Send(9, kNoteOn, 36, 100);  // drum note without a patch: no voice
  Send(9, kProgramChange, 7);
  EXPECT_EQ(engine.channels[9].program, 0);
  EXPECT_EQ(States(), (std::vector<int>{kVoiceFree, kVoiceFree, kVoiceFree, kVoiceFree}));
  Send(0, kNoteOn, 60, 100);
  Send(0, kPan, 10);  // the sounding voice keeps the sample's pan
  Send(0, kNoteOn, 62, 100);
  EXPECT_EQ(engine.voices[0].pan, 64);
  EXPECT_EQ(engine.voices[1].pan, 10);
}

TEST_F(ChannelEvents, VoiceStealingByRankAndLoudness) {
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
  for (const auto& c : cases) {
    for (int i = 0; i < 4; ++i) {
      engine.voices[i].state = c.states[i];
      engine.voices[i].channel = c.channels[i];
      engine.voices[i].note = static_cast<uint8_t>(100 + i);
      engine.voices[i].panMode = kPanCentre;
      engine.voices[i].mixLeft = c.loudness[i];
    }
    engine.channelRanks = c.ranked ? ranks : nullptr;
    Send(4, kNoteOn, 60, 100);
    int taken = -1;
    for (int i = 0; i < 4; ++i) {
      if (engine.voices[i].note == 60) taken = i;
    }
    EXPECT_EQ(taken, c.taken) << c.label;
  }
}

}  // namespace
}  // namespace pocketmidi
