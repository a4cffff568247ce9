// Voices that wait to be mixed against the reference set, which mixes every
// voice at every event: seeded random songs whose events fall between the
// moments where the end of a call matters. Envelopes that reach their
// sustain level or run out while their voice waits (a later note on the
// voice takes its tick counter), one-shot samples ending, ping-pong loops,
// notes cut by the same note or stolen from a small pool, pedal, bends and
// volume on other channels, in mono and stereo, at two control rates.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/render_fixture.h"

namespace pocketmidi::test::render {
namespace {

std::vector<ss::PatchDescription> Patches() {
  // Short stages, so that envelopes come to rest between events.
  ss::PatchDescription quick = Sine("quick", 40);
  quick.envelope = true;
  quick.envelopeRates = {200, 150, 120, 180, 160, 160};
  quick.envelopeOffsets = {250, 200, 150, 40, 10, 0};

  // Long stages with a tremolo: ticks the whole time.
  ss::PatchDescription slow = Sine("slow", 57, 12000);
  slow.envelope = true;
  slow.envelopeRates = {20, 10, 5, 30, 20, 20};
  slow.envelopeOffsets = {250, 230, 180, 60, 20, 0};
  slow.tremoloRate = 60, slow.tremoloDepth = 80;

  // No envelope, a tremolo (its tick counter carries over to the voice's
  // next note) and a vibrato.
  ss::PatchDescription flat = Sine("flat", 33, 9000);
  flat.tremoloRate = 90, flat.tremoloDepth = 60;
  flat.vibratoRate = 150, flat.vibratoDepth = 30;

  ss::PatchDescription turn = Sine("turn", 64, 10000);
  turn.loopMode = ss::LoopMode::kPingPong;
  turn.loopStart = 300;
  turn.envelope = true;
  turn.envelopeRates = {100, 60, 40, 90, 90, 90};
  turn.envelopeOffsets = {250, 220, 200, 50, 10, 0};

  ss::PatchDescription shot = Constant("shot", 7000, 900);  // ends within a few events
  return {quick, slow, flat, turn, shot};
}

ss::SoundSetConfig Config(int channels, int polyphony) {
  ss::SoundSetConfig config = ss::SingleToneConfig("quick");
  const char* names[] = {"quick", "slow", "flat", "turn", "shot"};
  for (int p = 0; p < 5; ++p) config.tones[p].name = names[p];
  config.channels = channels;
  config.polyphony = polyphony;
  return config;
}

std::string RandomSong(uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&rng](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
  std::vector<Msg> m;
  for (int ch = 0; ch < 5; ++ch) {
    m.push_back(Program(0, ch, ch));
    m.push_back(Cc(0, ch, 7, 100));
    m.push_back(Cc(0, ch, 10, pick(0, 127)));
  }
  for (uint32_t t = 0; t < 3500; t += static_cast<uint32_t>(pick(1, 60))) {
    const int ch = pick(0, 4);
    const int note = 48 + pick(0, 6) * 3;  // few notes: restruck ones get cut
    switch (pick(0, 9)) {
      case 0: m.push_back(Cc(t, ch, 64, pick(0, 1) * 127)); break;
      case 1: m.push_back(Bend(t, ch, pick(0, 16383))); break;
      case 2: m.push_back(Cc(t, ch, 7, pick(40, 127))); break;
      default:
        m.push_back(On(t, ch, note, pick(30, 127)));
        m.push_back(Off(t + static_cast<uint32_t>(pick(5, 900)), ch, note));
    }
  }
  return SongBytes(m, 4500);
}

std::vector<uint8_t> Render(const RenderSet& set, const std::string& song, const char* kernels) {
  const KernelsForNewEngines chosen(kernels);
  OpenSong open(set.Directory(), song);
  EXPECT_EQ(open.result, 0);
  return open.RenderAll();
}

TEST(WaitingVoices, RandomSongsMatchTheReferenceSet) {
  const struct {
    int channels, polyphony, rate;
  } setups[] = {{2, 32, 22050}, {2, 4, 22050}, {1, 6, 8000}, {2, 5, 44100}};
  for (const auto& setup : setups) {
    ss::SoundSetConfig config = Config(setup.channels, setup.polyphony);
    config.rate = setup.rate;
    const RenderSet set(config, Patches());
    for (uint32_t seed = 1; seed <= 6; ++seed) {
      SCOPED_TRACE(testing::Message() << setup.channels << " channels, polyphony "
                                      << setup.polyphony << ", " << setup.rate << " Hz, seed "
                                      << seed);
      const std::string song = set.WriteSong(RandomSong(seed));
      const std::vector<uint8_t> reference = Render(set, song, "scalar");
      ASSERT_GT(reference.size(), 1000u);
      EXPECT_TRUE(Render(set, song, "") == reference);
    }
  }
}

}  // namespace
}  // namespace pocketmidi::test::render
