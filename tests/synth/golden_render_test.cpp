// Whole renders pinned by hash: one busy song through every stage of the
// render path (loading with conversion and anti-alias filtering, resampling
// with loops and vibrato, envelopes and tremolo, panning, mixing, channel
// events, voice stealing and the PCM conversion), in several output formats
// and from a raw and a compressed archive. Any change to the arithmetic
// anywhere on that path changes a hash; the unit tests say where.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "support/render_fixture.h"

namespace pocketmidi::test::render {
namespace {

uint64_t Fnv1a64(const std::vector<uint8_t>& bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (uint8_t b : bytes) hash = (hash ^ b) * 1099511628211ull;
  return hash;
}

// Deterministic noise, for a sample with energy up to its Nyquist frequency.
std::vector<int16_t> Noise(size_t count, uint32_t seed) {
  std::vector<int16_t> points(count);
  for (size_t i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const double fade = 1.0 - static_cast<double>(i) / count;
    points[i] = static_cast<int16_t>(static_cast<int32_t>(seed >> 16) / 2 * fade);
  }
  return points;
}

std::vector<ss::PatchDescription> Patches() {
  ss::PatchDescription lead = Sine("lead", 50);
  lead.envelope = true;
  lead.envelopeRates = {30, 20, 8, 60, 40, 40};
  lead.envelopeOffsets = {255, 230, 200, 60, 20, 0};
  lead.vibratoRate = 180, lead.vibratoDepth = 40, lead.vibratoSweep = 20;
  lead.tremoloRate = 80, lead.tremoloDepth = 90, lead.tremoloSweep = 10;

  ss::PatchDescription pad = Sine("pad", 73, 12000);
  pad.loopMode = ss::LoopMode::kPingPong;
  pad.loopStart = 200;
  pad.loopStartSixteenths = 5;
  pad.sampleRate = 32000;
  pad.balance = 3;
  pad.vibratoRate = 120, pad.vibratoDepth = 20;

  ss::PatchDescription hat;
  hat.name = "hat";
  hat.points = Noise(6000, 7);
  hat.sampleRate = 44100;  // above most output rates: filtered when loaded
  hat.balance = 12;
  return {lead, pad, hat};
}

ss::SoundSetConfig Config(int rate, int bits, int channels) {
  ss::SoundSetConfig config = ss::SingleToneConfig("lead");
  config.tones[1].name = "pad";
  config.tones[1].amp = 150;
  config.tones[2].name = "hat";
  config.rate = rate, config.bits = bits, config.channels = channels;
  config.polyphony = 6;  // fewer than the song's notes: voices are stolen
  ss::DrumSlotConfig& drum = config.drums[42];
  drum.name = "hat";
  drum.amp = 80;
  drum.pan = "-40";
  drum.stripEnvelope = 1;
  drum.stripLoop = 1;
  return config;
}

std::string BusySong() {
  std::vector<Msg> m = With(Loud(0, 40), Loud(1, 100));
  m = With(m, {Program(0, 1, 1), Program(0, 2, 2), Cc(0, 2, 7, 90)});
  for (uint32_t t = 0; t < 2400; t += 150) {
    m.push_back(On(t, 0, 60 + (t / 150) % 12, 100 - (t / 150) * 3));
    m.push_back(Off(t + 280, 0, 60 + (t / 150) % 12));
    m.push_back(On(t + 75, 9, 42, 90));
    m.push_back(Off(t + 80, 9, 42));
  }
  m = With(m, {On(0, 1, 48), On(400, 1, 55), Cc(500, 1, 64, 127), Off(600, 1, 48), Off(700, 1, 55),
               Cc(1500, 1, 64, 0), On(900, 2, 72), Off(1000, 2, 72), On(1100, 2, 30, 60),
               Off(1400, 2, 30)});
  m = With(m, {Bend(800, 0, 12000), Bend(1200, 0, 3000), Bend(1600, 0, 8192), Cc(1000, 0, 11, 70),
               Cc(1300, 1, 10, 5), Cc(1700, 1, 10, 125), Cc(1900, 0, 7, 60)});
  return SongBytes(m, 3000);
}

TEST(GoldenRender, BusySongInEveryFormat) {
  const struct {
    int rate, bits, channels;
    bool compressed;
    uint64_t hash;
  } cases[] = {
      {22050, 16, 2, false, 0x36fe05885e5a7e59ull},
      {22050, 16, 2, true, 0x9d9d2b201d56de55ull},
      {44100, 16, 2, false, 0x51d2926570972b75ull},
      {32000, 8, 2, false, 0x18b82b9250f9705full},
      {11025, 16, 1, false, 0x83038147afb1039dull},
      {8000, 8, 1, true, 0x2ef9008b1a69bde8ull},
  };
  for (const auto& c : cases) {
    RenderSet set(Config(c.rate, c.bits, c.channels), Patches(), c.compressed);
    OpenSong song(set.Directory(), set.WriteSong(BusySong()));
    ASSERT_EQ(song.result, 0);
    const std::vector<uint8_t> pcm = song.RenderAll();
    const uint32_t frameBytes = (c.bits / 8) * c.channels;
    EXPECT_EQ(pcm.size() % frameBytes, 0u);
    if (c.bits == 16) {  // worth pinning: mostly loud, clipping only at a few peaks
      const std::vector<int16_t> values = AsInt16(pcm);
      size_t clipped = 0, loud = 0;
      for (int16_t v : values) {
        clipped += v == 32767 || v == -32768;
        loud += std::abs(v) > 2000;
      }
      EXPECT_LT(clipped * 100, values.size());
      EXPECT_GT(loud * 2, values.size());
    }
    EXPECT_EQ(Fnv1a64(pcm), c.hash) << c.rate << " Hz, " << c.bits << " bits, " << c.channels
                                    << " channels" << (c.compressed ? ", compressed" : "")
                                    << ": 0x" << std::hex << Fnv1a64(pcm);
  }
}

}  // namespace
}  // namespace pocketmidi::test::render
