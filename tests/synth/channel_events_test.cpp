#include <gtest/gtest.h>

#include <vector>

#include "synth/synth_engine.h"
#include "synth/synth_test_song.h"

namespace pocketmidi {
namespace {

// Four voices, every program playing the constant instrument, drum notes
// unconfigured; events are dispatched directly.
class ChannelEvents : public ::testing::Test {
 protected:
  ChannelEvents() : song(96, {{0, 0, kNoteOn, 1, 1}}) {
    engine.voiceCount = 4;
    EXPECT_EQ(engine.PrepareSong(song.list()), 0);
    for (InstrumentSlot& slot : engine.toneSlots) slot.instrument = instrument.get();
    for (InstrumentSlot& slot : engine.drumSlots) slot.instrument = nullptr;
    engine.Seek(0);
  }
  ~ChannelEvents() override { test::DetachInstruments(engine); }
  void Send(uint8_t channel, uint8_t type, uint8_t a, uint8_t b = 0) {
    const SynthEvent event{0, channel, type, a, b};
    engine.DispatchEvent(event);
  }
  std::vector<int> States() const {
    std::vector<int> states;
    for (int32_t i = 0; i < engine.voiceCount; ++i) states.push_back(engine.voices[i].state);
    return states;
  }

  test::ConstantInstrument instrument{1000};
  test::TestSong song;
  SynthEngine engine{nullptr};
};

TEST_F(ChannelEvents, RestruckNoteCutsTheOldVoiceAndTakesTheLowestFreeOne) {
  Send(0, kNoteOn, 60, 100);
  Send(0, kNoteOn, 60, 100);
  EXPECT_EQ(States(), (std::vector<int>{kVoiceDying, kVoicePlaying, kVoiceFree, kVoiceFree}));
  EXPECT_EQ(engine.voices[1].note, 60);
  Send(1, kNoteOn, 60, 100);  // another channel: nothing cut
  EXPECT_EQ(States(), (std::vector<int>{kVoiceDying, kVoicePlaying, kVoicePlaying, kVoiceFree}));
}

TEST_F(ChannelEvents, SustainHoldsAndVelocityZeroReleases) {
  Send(0, kNoteOn, 60, 100);
  Send(0, kNoteOn, 62, 100);
  Send(0, kSustain, 127);
  Send(0, kNoteOn, 60, 0);  // as NoteOff
  EXPECT_EQ(States(), (std::vector<int>{kVoiceHeld, kVoicePlaying, kVoiceFree, kVoiceFree}));
  Send(0, kAllNotesOff, 0);
  EXPECT_EQ(States(), (std::vector<int>{kVoiceHeld, kVoiceHeld, kVoiceFree, kVoiceFree}));
  Send(0, kSustain, 0);
  EXPECT_EQ(States(), (std::vector<int>{kVoiceReleasing, kVoiceReleasing, kVoiceFree, kVoiceFree}));
  Send(0, kAllSoundOff, 0);
  EXPECT_EQ(States(), (std::vector<int>{kVoiceDying, kVoiceDying, kVoiceFree, kVoiceFree}));
}

TEST_F(ChannelEvents, SilentSlotsClaimNoVoice) {
  Send(9, kNoteOn, 36, 100);  // drum note without a patch
  engine.toneSlots[5].instrument = nullptr;
  Send(0, kProgramChange, 5);
  Send(0, kNoteOn, 60, 100);
  EXPECT_EQ(States(), (std::vector<int>{kVoiceFree, kVoiceFree, kVoiceFree, kVoiceFree}));
  Send(9, kProgramChange, 7);  // the drum channel has no program
  EXPECT_EQ(engine.channels[9].program, 0);
}

TEST_F(ChannelEvents, PanAndPitchBendRangeAffectOnlyLaterNotesOrBends) {
  Send(0, kNoteOn, 60, 100);
  const int32_t step = engine.voices[0].step;
  Send(0, kPan, 10);
  Send(0, kPitchBendRange, 12);
  EXPECT_EQ(engine.voices[0].pan, 64);  // the sample's own pan
  EXPECT_EQ(engine.voices[0].step, step);
  Send(0, kNoteOn, 62, 100);
  EXPECT_EQ(engine.voices[1].pan, 10);
}

struct StealCase {
  const char* label;
  uint8_t states[4];
  uint8_t channels[4];
  int32_t loudness[4];
  bool useRanks;
  int expected;  // voice that plays the new note, -1 when dropped
};

TEST_F(ChannelEvents, VoiceStealingByRankAndLoudness) {
  // Channel ranks: 0 -> 16, 1 -> 5, 2 -> 3, 3 -> -1.
  const int32_t ranks[16] = {16, 5, 3, -1, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
  const StealCase cases[] = {
      {"all playing", {1, 1, 1, 1}, {0, 0, 0, 0}, {1, 1, 1, 1}, false, -1},
      {"quietest of held and releasing", {1, 3, 3, 2}, {0, 0, 0, 0}, {1, 500, 300, 300}, false, 3},
      {"dying never taken", {4, 3, 1, 1}, {0, 0, 0, 0}, {0, 400, 1, 1}, false, 1},
      {"rank -1 never taken", {3, 3, 3, 3}, {3, 3, 3, 3}, {5, 5, 5, 5}, true, -1},
      {"quieter but lower rank passed over", {1, 1, 3, 3}, {0, 0, 2, 1}, {0, 0, 100, 300}, true, 3},
      {"louder with higher rank passed over", {1, 3, 3, 1}, {0, 0, 1, 0}, {0, 200, 100, 0}, true, 2},
  };
  for (const StealCase& c : cases) {
    for (int i = 0; i < 4; ++i) {
      Voice& v = engine.voices[i];
      v.state = c.states[i];
      v.channel = c.channels[i];
      v.note = static_cast<uint8_t>(100 + i);
      v.panMode = kPanCentre;
      v.mixLeft = c.loudness[i];
      v.mixRight = 0;
    }
    engine.channelRanks = c.useRanks ? ranks : nullptr;
    Send(4, kNoteOn, 60, 100);
    int playing = -1;
    for (int i = 0; i < 4; ++i) {
      if (engine.voices[i].note == 60 && engine.voices[i].state == kVoicePlaying) playing = i;
    }
    EXPECT_EQ(playing, c.expected) << c.label;
  }
}

}  // namespace
}  // namespace pocketmidi
