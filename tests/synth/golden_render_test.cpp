// Whole renders pinned by hash: one busy song through every stage of the
// render path (loading with conversion and anti-alias filtering, resampling
// with loops and vibrato, envelopes and tremolo, panning, mixing, channel
// events, voice stealing and the PCM conversion), in several output formats
// and from a raw and a compressed archive. Any change to the arithmetic
// anywhere on that path changes a hash; the unit tests say where.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/render_fixture.h"

namespace pocketmidi::test::render {
namespace {

uint64_t Fnv1a64(const uint8_t* bytes, size_t count) {
  uint64_t hash = 14695981039346656037ull;
  for (size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

uint64_t Fnv1a64(const std::vector<uint8_t>& bytes) { return Fnv1a64(bytes.data(), bytes.size()); }

// One engine block of frames per chunk: a change shows first in the block
// where it happens.
constexpr size_t kChunkFrames = 1024;

// The render as 16 bits of hash per 1024-frame chunk, in hex: small enough
// to keep beside the whole hash, precise enough to say where a changed
// render first differs (a collision of 1 in 65536 would name a later block).
std::string ChunkHashes(const std::vector<uint8_t>& pcm, size_t frameBytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t at = 0; at < pcm.size(); at += kChunkFrames * frameBytes) {
    const size_t count = std::min(kChunkFrames * frameBytes, pcm.size() - at);
    const uint64_t hash = Fnv1a64(pcm.data() + at, count);
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(hash >> shift) & 15];
  }
  return out;
}

// Where a render first departs from the chunk hashes it had.
std::string FirstDifference(const std::string& expected, const std::string& actual, int rate) {
  size_t chunk = 0;
  while (4 * chunk + 4 <= expected.size() && 4 * chunk + 4 <= actual.size() &&
         expected.compare(4 * chunk, 4, actual, 4 * chunk, 4) == 0) {
    ++chunk;
  }
  if (4 * chunk >= expected.size() && 4 * chunk >= actual.size()) return "no chunk differs";
  const size_t frame = chunk * kChunkFrames;
  return "first differing frame in " + std::to_string(frame) + ".." +
         std::to_string(frame + kChunkFrames - 1) + " (from " +
         std::to_string(frame * 1000 / rate) + " ms); " + std::to_string(expected.size() / 4) +
         " chunks expected, " + std::to_string(actual.size() / 4) + " rendered";
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
    const char* chunks;  // ChunkHashes of the same render
  } cases[] = {
      {22050, 16, 2, false, 0x36fe05885e5a7e59ull,
       "effcd6a6abb9cd9301620085edd6f600ae72099535e5758080ee1b1e1bf8f6825b5344b7eaa901a8f068"
       "c9a9b94104e86fcaa958b75b624f1f2d14373a21f9f4daade6d79e82ca0f5c1e2b29a94870214329b4a4"
       "7cfa25bbc2a3c65017aaf90ed413e77d00eb9c0af4f74572497a037c8b921fc4a4246325632563256325"
       "63256105"},
      {22050, 16, 2, true, 0x9d9d2b201d56de55ull,
       "75b9e6e3b0f82095080c21b3fa911ad96a57660cd78f70761eac9423b146dc02edc49fb90092201303a1"
       "420242d2d44326e36be8f675c0ac69a347c82a15924814214dbcb3107e7215b1e273a8dbe8e00073421b"
       "a13d88351161fe137f6169382f23c281749f423c2fb0e1f5b1ce2a40e8c8c2d0dad16325632563256325"
       "63256105"},
      {44100, 16, 2, false, 0x51d2926570972b75ull,
       "327b01365da4e2909e935daa655688d203015598f0f2e32a8a642028a088c8126279c357e03e9144c847"
       "4420abcc3093e427442e74a5f6fdba691a9ada93fefef8edc1e0addfe454970153465799ce043e27ebd3"
       "a0722de4052a5129c41c313ac8b7cc0c67fa7cfd79a2e88f6a3cb61c1001eb8ca55e0607ac2dfd88cb5b"
       "f18b02ceaa33e76721e25cabdb1cb1e0cc30f967f928575b47d126fea69fe556efb25429b8faf55737ac"
       "1abdac3b2e25ad46096c9339174da0ce960367b728ee3a2dc21c20805c21147c4667eaef19bcf24b836c"
       "1f7f5f8937f920506e9d87b35195c99b93777dcbd342ba7a632563256325632563256325632563256325"
       "63256325632592e5"},
      {32000, 8, 2, false, 0x18b82b9250f9705full,
       "a2ca666da6fe65b6994a5bc94c40635ff42b3fe7ed08982764862f768bee3d2167cb8381488fa9691afc"
       "b50bb726c422feae8db44ca819d7fec0c263b42073cb46e4a79aac2778529efdbbc7230ad9ec1f1d6fbb"
       "ebc2dd1cd8cd8a280d67b47f27acf1f95ebee61c74de61ba63deeba12106996a8738eab2bf0a2012518b"
       "4d38eb6978af0a0dd707c890ad64f2831527ae23aa3113f2e4e18bef03efdb51a5d25b44b0d0f1eb4ee7"
       "655fc325c325c325c325c325c325c325c325969d"},
      {11025, 16, 1, false, 0x83038147afb1039dull,
       "e3dedc29dc0a67c44004ba54d5663f0114d334a4a40ee7ac06d1a7b45f20a1ffddbb8cffd614d9bbd114"
       "8d27de39f4343c7b1704c3ecee529aa22613c325c3252b75"},
      {8000, 8, 1, true, 0x2ef9008b1a69bde8ull,
       "a73f3cc047734c18dcfff5cc9f9f8b6c0efe507889f3177830e4bc88d2f4d15fbd262b9e5b05d782cbf4"
       "10807325699d"},
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
    const std::string chunks = ChunkHashes(pcm, frameBytes);
    // POCKETMIDI_GOLDEN_CHUNKS=1 prints the chunk hashes to paste after an
    // intended change of the arithmetic.
    if (std::getenv("POCKETMIDI_GOLDEN_CHUNKS") != nullptr) {
      std::printf("%d Hz: \"%s\"\n", c.rate, chunks.c_str());
    }
    EXPECT_EQ(Fnv1a64(pcm), c.hash) << c.rate << " Hz, " << c.bits << " bits, " << c.channels
                                    << " channels" << (c.compressed ? ", compressed" : "")
                                    << ": 0x" << std::hex << Fnv1a64(pcm) << std::dec << "; "
                                    << FirstDifference(c.chunks, chunks, c.rate);
    // The reference set mixes every voice at every event, where the others
    // let voices wait until an event or the block's end needs them.
    std::vector<uint8_t> reference;
    {
      const KernelsForNewEngines scalar("scalar");
      OpenSong song2(set.Directory(), set.WriteSong(BusySong()));
      ASSERT_EQ(song2.result, 0);
      reference = song2.RenderAll();
    }
    EXPECT_EQ(Fnv1a64(reference), c.hash) << c.rate << " Hz, reference set";
  }
}

}  // namespace
}  // namespace pocketmidi::test::render
