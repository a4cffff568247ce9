// The MIDI decoder end to end: generated instrument sets and songs on disk,
// opened, sought and rendered as the player does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "support/render_fixture.h"
#include "synth/synth_engine.h"

namespace pocketmidi::test::render {
namespace {

// Stereo 16-bit frame `frame` as (left, right).
std::pair<int, int> FrameAt(const std::vector<uint8_t>& pcm, size_t frame) {
  const std::vector<int16_t> s = AsInt16({pcm.begin() + 4 * frame, pcm.begin() + 4 * frame + 4});
  return {s[0], s[1]};
}

// Upward zero crossings of the left channel per second over [from, to) frames.
double FrequencyHz(const std::vector<uint8_t>& pcm, size_t from, size_t to, double rate = 22050) {
  const std::vector<int16_t> s = AsInt16(pcm);
  int crossings = 0;
  size_t first = 0, last = 0;
  for (size_t f = from + 1; f < to; ++f) {
    if (s[2 * (f - 1)] < 0 && s[2 * f] >= 0) {
      if (crossings++ == 0) first = f;
      last = f;
    }
  }
  return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0;
}

// An instrument set and a song, rendered whole in the player's buffer size.
std::vector<uint8_t> Render(const ss::SoundSetConfig& config,
                            const std::vector<ss::PatchDescription>& patches,
                            const std::string& songBytes, const FormatOverride* o = nullptr) {
  RenderSet set(config, patches);
  OpenSong song(set.Directory(), set.WriteSong(songBytes), o);
  EXPECT_EQ(song.result, 0);
  return song.result == 0 ? song.RenderAll() : std::vector<uint8_t>{};
}

TEST(MidiDecoderSeek, ClampsEveryOriginIntoTheSongAndConvertsToFrames) {
  RenderSet set(UnityConfig("c"), {Constant("c", 100)});
  OpenSong song(set.Directory(),
                set.WriteSong(SongBytes({On(0, 0, 60), Off(500, 0, 60)}, 10000)));
  ASSERT_EQ(song.result, 0);
  ASSERT_EQ(song->GetDuration(), 10000);
  struct Row { int32_t ms, origin, targetMs; };
  for (const Row& r : {Row{-5000, 1, 0}, {7000, 1, 10000}, {-3000, 2, 7000}, {500, 2, 10000},
                       {12000, 0, 10000}, {100, 5, 0}, {-1, 0, 0}, {2500, 1, 6500}}) {
    song->Seek(4000, kSeekFromStart);
    ASSERT_EQ(song->GetPosition(), 4000);
    EXPECT_EQ(song->Seek(r.ms, r.origin), 0);
    EXPECT_EQ(song->GetPosition(), r.targetMs) << r.ms << " from " << r.origin;
    EXPECT_EQ(song->engine->currentSample, static_cast<uint32_t>(r.targetMs) * 2205 / 100);
  }
}

TEST(MidiDecoderOpen, FailsWithOneForBrokenConfigurationsArchivesAndSongs) {
  const std::string song = SongBytes(With(Loud(0), {On(0, 0, 60), Off(100, 0, 60)}), 200);
  struct Row {
    const char* what;
    void (*edit)(ss::SoundSetConfig&);
    const char* removed;  // a file of the set removed before opening
    std::string song;
  };
  const Row rows[] = {
      {"no CONFIG key", [](ss::SoundSetConfig& c) { c.patchListFile.reset(); }, "", song},
      {"no PAT key", [](ss::SoundSetConfig& c) { c.archiveFile.reset(); }, "", song},
      {"archive missing", [](ss::SoundSetConfig&) {}, "patches.pat", song},
      {"no bootstrap file", [](ss::SoundSetConfig&) {}, "zoltep", song},
      {"patch not in archive", [](ss::SoundSetConfig& c) { c.tones[0].name = "absent"; }, "", song},
      // A second per tick: 50000 ticks at 44100 Hz exceed 2^31 frames.
      {"song too long", [](ss::SoundSetConfig& c) { c.rate = 44100; }, "", [] {
         TrackWriter t;
         t.Tempo(0, 1000000).NoteOn(0, 0, 60, 100).NoteOff(50000, 0, 60).EndOfTrack();
         SmfOptions o;
         o.division = 1;
         return BuildSmf({t}, o);
       }()},
  };
  for (const Row& r : rows) {
    ss::SoundSetConfig config = UnityConfig("c");
    r.edit(config);
    RenderSet set(config, {Constant("c", 100)});
    if (*r.removed) std::remove(set.File(r.removed).c_str());
    EXPECT_EQ(OpenSong(set.Directory(), set.WriteSong(r.song)).result, 1) << r.what;
  }
}

// A constant 8192 at middle C, velocity 127, volume 127: the mixing gain is
// 4000 at centre pan, twice that (8001) on one side, a * pan and a * (127 -
// pan) >> 16 with a = 4096766 when spread; 16-bit output is gain * 8192 >> 13.
TEST(MidiDecoderRender, ExactLevelsForEveryPanModeAndOutputFormat) {
  struct Row { int pan; uint32_t bits, channels; int left, right; };
  for (const Row& r : {Row{64, 16, 2, 4000, 4000}, {0, 16, 2, 8001, 0}, {127, 16, 2, 0, 8001},
                       {32, 16, 2, 5938, 2000}, {-1, 16, 2, 4188, 3750}, {64, 16, 1, 4000, 0},
                       {0, 16, 1, 4000, 0}, {64, 8, 1, 143, 0}, {100, 8, 2, 128 + 6, 128 + 24}}) {
    std::vector<Msg> m = {Cc(0, 0, 7, 127), On(0, 0, 60), Off(200, 0, 60)};
    if (r.pan >= 0) m.insert(m.begin(), Cc(0, 0, 10, r.pan));
    const FormatOverride o{22050, r.bits, r.channels, 32};
    const std::vector<uint8_t> pcm =
        Render(UnityConfig("c"), {Constant("c", 8192, 2205)}, SongBytes(m, 200), &o);
    const size_t frameBytes = r.bits / 8 * r.channels;
    ASSERT_EQ(pcm.size(), 4410 * frameBytes) << r.pan;
    auto value = [&](size_t frame, int side) {
      const uint8_t* p = &pcm[frame * frameBytes + side * r.bits / 8];
      return r.bits == 8 ? int{p[0]} : int{static_cast<int16_t>(p[0] | p[1] << 8)};
    };
    for (size_t frame : {0, 1000, 2204}) {
      EXPECT_EQ(value(frame, 0), r.left) << "pan " << r.pan << " frame " << frame;
      if (r.channels == 2) {
        EXPECT_EQ(value(frame, 1), r.right) << "pan " << r.pan;
      }
    }
    EXPECT_EQ(value(2205, 0), r.bits == 8 ? 128 : 0) << "silence after the one-shot ends";
  }
}

// Render calls of any size give the same bytes and stop at the song's last
// frame; a seek to a silent moment continues exactly like the full render,
// with the bend before it replayed for the note after it.
TEST(MidiDecoderSeek, SameBytesForAnyCapacityAndAfterASeek) {
  RenderSet set(UnityConfig("s"), {Sine("s", 84)});
  const std::string path = set.WriteSong(
      SongBytes(With(Loud(0), {On(0, 0, 60), On(300, 0, 67), Off(700, 0, 60), Bend(800, 0, 9000),
                               Off(1500, 0, 67), On(2000, 0, 64), Off(2400, 0, 64)}),
                3000));
  std::vector<uint8_t> whole;
  for (uint32_t capacity : {1u, 4096u, 35296u, 1000000u}) {
    OpenSong song(set.Directory(), path);
    ASSERT_EQ(song.result, 0);
    const std::vector<uint8_t> pcm = song.RenderAll(capacity);
    uint8_t after[4];
    EXPECT_EQ(song->Render(after, sizeof after), 0);
    if (whole.empty()) whole = pcm;
    EXPECT_TRUE(pcm == whole) << "capacity " << capacity;
  }
  ASSERT_EQ(whole.size(), 66150u * 4);  // 3 s at 22050 Hz, 16-bit stereo
  OpenSong sought(set.Directory(), path);
  sought->Seek(1800, kSeekFromStart);
  EXPECT_TRUE(sought.RenderAll() == std::vector<uint8_t>(whole.begin() + 39690 * 4, whole.end()));

  // A note still sounding at the target starts again from its beginning.
  ss::PatchDescription ramp = Constant("r", 0, 44100);
  for (size_t i = 0; i < ramp.points.size(); ++i) ramp.points[i] = static_cast<int16_t>(i % 20000);
  RenderSet ramps(UnityConfig("r"), {ramp});
  const std::string held = ramps.WriteSong(SongBytes(With(Loud(0), {On(0, 0, 60)}), 3000));
  OpenSong a(ramps.Directory(), held), b(ramps.Directory(), held);
  b->Seek(1000, kSeekFromStart);
  const std::vector<uint8_t> start = a.RenderAll(), resumed = b.RenderAll();
  ASSERT_EQ(resumed.size(), 44100u * 4);
  EXPECT_NE(FrameAt(resumed, 100).first, 0);
  EXPECT_TRUE(std::equal(resumed.begin(), resumed.end(), start.begin()));
}

TEST(MidiDecoderRender, LoadingAtFirstNoteAndFreeingMatchLoadAll) {
  // Program 0 is freed after its last note, then needed again by channel 1.
  const std::string song = SongBytes(
      With(Loud(0), {On(0, 0, 60), Off(200, 0, 60), Program(300, 0, 1), On(1000, 0, 62),
                     Off(1200, 0, 62), Cc(0, 1, 7, 127), On(1500, 1, 64), Off(1700, 1, 64),
                     On(1600, 9, 36)}),
      2000);
  ss::SoundSetConfig lazy = UnityConfig("c");
  lazy.loadAll = "false";
  lazy.freeAtOnce = "true";
  lazy.drums[36].name = "d";
  ss::SoundSetConfig eager = lazy;
  eager.loadAll.reset();
  eager.freeAtOnce.reset();
  const std::vector<ss::PatchDescription> patches = {Constant("c", 3000, 3000), Sine("d", 50)};
  const std::vector<uint8_t> expected = Render(eager, patches, song);
  EXPECT_EQ(expected.size(), 44100u * 4);
  EXPECT_TRUE(Render(lazy, patches, song) == expected);
}

TEST(MidiDecoderRender, EveryOutputRateRendersTheWholeSong) {
  struct Row { uint32_t rate, bits, channels; };
  for (const Row& r : {Row{8000, 16, 2}, {11025, 8, 1}, {16000, 16, 1}, {22050, 8, 2},
                       {32000, 16, 2}, {44100, 16, 2}}) {
    ss::SoundSetConfig config = UnityConfig("s");
    config.rate = static_cast<int>(r.rate);
    config.bits = static_cast<int>(r.bits);
    config.channels = static_cast<int>(r.channels);
    RenderSet set(config, {Sine("s", 84)});
    OpenSong song(set.Directory(),
                  set.WriteSong(SongBytes(With(Loud(0), {On(0, 0, 60), Off(900, 0, 60)}), 1000)));
    ASSERT_EQ(song.result, 0);
    EXPECT_EQ(song->GetDuration(), 1000);
    EXPECT_NEAR(song->engine->songSamples, r.rate, 1);
    const std::vector<uint8_t> pcm = song.RenderAll();
    size_t values = size_t{song->engine->songSamples} * r.channels;
    if (r.bits == 8) values &= ~size_t{1};  // the last short block keeps an even byte count
    EXPECT_EQ(pcm.size(), values * r.bits / 8) << r.rate;
    if (r.channels == 2 && r.bits == 16) {
      EXPECT_NEAR(FrequencyHz(pcm, r.rate / 10, r.rate * 8 / 10, r.rate), 262.5, 2.0) << r.rate;
    }
  }
}

TEST(MidiDecoderRender, DrumChannelPlaysTheDrumSetWhateverItsProgram) {
  ss::SoundSetConfig config = UnityConfig("c");
  config.drums[36] = {"k", 100, 60, {}, {}, {}, {}};  // sounds at middle C
  const std::string song = SongBytes(
      With(Loud(9), {Program(0, 9, 5), On(0, 9, 36), On(500, 9, 37), On(600, 0, 60)}), 800);
  const std::vector<uint8_t> pcm =
      Render(config, {Constant("k", 4096, 2000), Constant("c", 0, 10)}, song);
  EXPECT_EQ(FrameAt(pcm, 10), std::make_pair(2000, 2000));
  EXPECT_TRUE(std::all_of(pcm.begin() + 2000 * 4, pcm.end(), [](uint8_t b) { return b == 0; }))
      << "note 37 has no drum, program 0 a silent patch";
}

TEST(MidiDecoderRender, PitchBendFollowsTheBendRange) {
  const auto rpn = [](uint32_t ms, int range) {
    return std::vector<Msg>{Cc(ms, 0, 101, 0), Cc(ms, 0, 100, 0), Cc(ms, 0, 6, range)};
  };
  struct Row { std::vector<Msg> setup; double ratio; };
  const Row rows[] = {
      {{}, 1.0},
      {{Bend(0, 0, 16383)}, std::pow(2.0, 2.0 / 12)},
      {With(rpn(0, 12), {Bend(0, 0, 16383)}), 2.0},
      {With(rpn(0, 12), {Bend(0, 0, 4096)}), std::pow(2.0, -6.0 / 12)},
      // A new range alone leaves the sounding note where it was.
      {With({Bend(0, 0, 16383)}, rpn(10, 12)), std::pow(2.0, 2.0 / 12)},
  };
  for (const Row& r : rows) {
    const std::string song = SongBytes(With(With(Loud(0), r.setup), {On(0, 0, 60)}), 1000);
    const std::vector<uint8_t> pcm = Render(UnityConfig("s"), {Sine("s", 84)}, song);
    EXPECT_NEAR(FrequencyHz(pcm, 2205, 22050) / (262.5 * r.ratio), 1.0, 0.005) << r.ratio;
  }
}

// Two releasing voices when a third note needs one of two: by default the
// quieter (channel 0, velocity 64: gain 2016) is taken; after a MIP message
// ranking channel 1 above channel 0 the louder one of channel 1 goes.
TEST(MidiDecoderRender, VoiceStealingFollowsSpMidiRanks) {
  ss::SoundSetConfig config = UnityConfig("c");
  config.spMidiSupported = "true";
  config.polyphony = 2;
  const std::vector<Msg> m = With(With(Loud(0), Loud(1)), {On(0, 0, 60, 64), On(0, 1, 60),
                                                            Off(100, 0, 60), Off(100, 1, 60),
                                                            On(200, 0, 62)});
  const std::string mip("\x7F\x7F\x0B\x01\x00\x01\x01\x02\xF7", 9);  // ch 0 needs 1, ch 1 needs 2
  for (auto [sysex, level] : {std::pair{std::string(), 8000}, {mip, 6016}}) {
    const std::vector<uint8_t> pcm =
        Render(config, {Constant("c", 8192, 20000)}, SongBytes(m, 400, sysex));
    ASSERT_EQ(pcm.size(), 8820u * 4);
    EXPECT_EQ(FrameAt(pcm, 2205).first, 6016);
    EXPECT_EQ(FrameAt(pcm, 4410 + 10).first, level) << (sysex.empty() ? "default" : "MIP ranks");
  }
}

}  // namespace
}  // namespace pocketmidi::test::render
