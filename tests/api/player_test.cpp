// The player through the exported functions: its states, the progress
// reports of a pass, pass and buffer arithmetic, and how every pass ends.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "api/midi_player.h"
#include "support/player_fixture.h"

namespace pocketmidi::test::player {
namespace {

// 22050 Hz, 16-bit stereo: 705600 bits per second, 400 ms buffers of 35296 bytes.
constexpr int64_t kBitsPerSecond = 705600;
constexpr int64_t kBufferBytes = 35296;

// Every state-table step with its expected result and the state after it.
// The null device plays in real time, so nothing ends under the test's feet.
TEST(PlayerStates, EveryTransitionOfTheTable) {
  ScopedAudioEnv env("null");
  PlayerSet set;
  Recorder recorder;
  MIDI_HANDLE h = set.Load(set.Song(20000), &recorder);
  ASSERT_NE(h, nullptr);
  struct Step {
    const char* what;
    std::function<int32_t()> call;
    int32_t result, status;
    int32_t lastReport;  // position of the newest report; 99 = no new report
  };
  const Step steps[] = {
      {"loaded", [&] { return MIDI_GetStatus(h); }, 0, 0, 99},
      {"pause while stopped", [&] { return MIDI_Pause(h); }, 0, 0, 99},
      {"resume while stopped", [&] { return MIDI_Resume(h); }, 0, 0, 99},
      {"stop while stopped", [&] { return MIDI_Stop(h); }, 1, 0, 99},
      {"end before start", [&] { return MIDI_Play(h, 2000, 1000, 1); }, 0, 0, 99},
      {"end equal to start", [&] { return MIDI_Play(h, 1000, 1000, 1); }, 0, 0, 99},
      {"negative start", [&] { return MIDI_Play(h, -1, 1000, 1); }, 0, 0, 99},
      {"loops below -1", [&] { return MIDI_Play(h, 0, 1000, -2); }, 0, 0, 99},
      {"play", [&] { return MIDI_Play(h, 3000, 9000, 1); }, 1, 1, 3000},
      {"play while playing", [&] { return MIDI_Play(h, 0, -1, 1); }, 0, 1, 99},
      {"resume while playing", [&] { return MIDI_Resume(h); }, 0, 1, 99},
      {"pause", [&] { return MIDI_Pause(h); }, 1, 2, 99},
      {"pause while paused", [&] { return MIDI_Pause(h); }, 0, 2, 99},
      {"play while paused", [&] { return MIDI_Play(h, 0, -1, 1); }, 0, 2, 99},
      {"resume", [&] { return MIDI_Resume(h); }, 1, 1, 99},
      {"stop", [&] { return MIDI_Stop(h); }, 1, 0, -1},
      {"stop again", [&] { return MIDI_Stop(h); }, 1, 0, 99},
      {"end -1 checks nothing", [&] { return MIDI_Play(h, -5, -1, -7); }, 1, 1, -5},
      {"pause, then stop", [&] { return MIDI_Pause(h); }, 1, 2, 99},
      {"stop while paused", [&] { return MIDI_Stop(h); }, 1, 0, -1},
      // Nothing to queue: Play answers 0 after its start report.
      {"start past the end", [&] { return MIDI_Play(h, 25000, 26000, 1); }, 0, 0, 25000},
  };
  for (const Step& step : steps) {
    recorder.Clear();
    EXPECT_EQ(step.call(), step.result) << step.what;
    EXPECT_EQ(MIDI_GetStatus(h), step.status) << step.what;
    const std::vector<Report> reports = recorder.reports();
    if (step.lastReport == 99) {
      // Reports between two block completions: none for these steps.
      for (const Report& r : reports) EXPECT_NE(r.second, -1) << step.what;
    } else {
      ASSERT_FALSE(reports.empty()) << step.what;
      EXPECT_EQ(reports.back(), Report(20000, step.lastReport)) << step.what;
    }
  }
  EXPECT_EQ(MIDI_Unload(h), 1);
}

struct PassCase {
  const char* name;
  int32_t startMs, endMs, loops;
  int32_t songMs;
};

class PassReports : public ::testing::TestWithParam<PassCase> {};

// (duration, startMs) at every pass start, a position after every block,
// -1 once at the very end; the numbers follow from the block arithmetic.
// Each pass sends the device whole blocks of the song from startMs until the
// pass is covered, or the song's PCM runs out.
TEST_P(PassReports, SequenceOfAPlayAndTheBytesItSends) {
  const PassCase& c = GetParam();
  PlayerSet set;
  const std::string song = set.Song(c.songMs);
  const std::string capture = AudioTempPath(std::string(c.name) + ".wav");
  const int32_t end = c.endMs == -1 ? c.songMs : c.endMs;
  const int64_t passBytes = int64_t{end - c.startMs} * kBitsPerSecond / 8000;
  const int64_t pcmBytes = int64_t{c.songMs - c.startMs} * kBitsPerSecond / 8000;
  {
    ScopedAudioEnv env("wav:" + capture);
    Recorder recorder;
    MIDI_HANDLE h = set.Load(song, &recorder);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(MIDI_GetDuration(h), c.songMs);
    ASSERT_EQ(MIDI_Play(h, c.startMs, c.endMs, c.loops), 1);
    ASSERT_TRUE(recorder.WaitForEnds());
    EXPECT_EQ(MIDI_GetStatus(h), 0);
    std::vector<Report> expected;
    for (int pass = 0; pass < c.loops; ++pass) {
      expected.emplace_back(c.songMs, c.startMs);
      for (int32_t p : BlockPositions(c.startMs, passBytes, pcmBytes, kBufferBytes,
                                      kBitsPerSecond, c.songMs)) {
        expected.emplace_back(c.songMs, p);
      }
    }
    expected.emplace_back(c.songMs, -1);
    EXPECT_EQ(recorder.reports(), expected);
    EXPECT_EQ(MIDI_Unload(h), 1);
  }
  OpenSong decoder(set.Directory(), song);
  decoder->Seek(c.startMs, kSeekFromStart);
  std::vector<uint8_t> pass = decoder.RenderAll();
  const size_t blocks = static_cast<size_t>((passBytes + kBufferBytes - 1) / kBufferBytes);
  pass.resize(std::min(pass.size(), blocks * kBufferBytes));
  const std::vector<uint8_t> wav = ReadAudioFile(capture);
  std::remove(capture.c_str());
  ASSERT_EQ(wav.size(), 44 + c.loops * pass.size());
  for (int i = 0; i < c.loops; ++i) {
    EXPECT_TRUE(std::equal(pass.begin(), pass.end(), wav.begin() + 44 + i * pass.size())) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Player, PassReports,
    // 1000..2000 ms: 88200 bytes in buffers of 35296, so the third block
    // (reported at 2200) ends the pass, and no fourth block is heard.
    ::testing::Values(PassCase{"InsideTheSong", 1000, 2000, 1, 6000},
                      PassCase{"TwoLoops", 1000, 2000, 2, 6000},
                      PassCase{"ThreeLoopsShortPass", 500, 600, 3, 6000},
                      PassCase{"WholeSong", 0, -1, 1, 3000},  // 7 full blocks and 17528 bytes
                      PassCase{"EndPastTheSong", 0, 10000, 1, 3000},
                      PassCase{"EndPastTheSongLooped", 2000, 10000, 2, 3000},
                      PassCase{"LastBufferAlmostFull", 0, -1, 1, 1600}),
    [](const auto& info) { return std::string(info.param.name); });

// Whatever the song's length and the format, a one-pass play to the end
// stops with exactly one -1, after positions that never go back.
TEST(PlayerArithmetic, EveryPassEnds) {
  ScopedAudioEnv env("fast");
  PlayerSet set;
  const FormatOverride formats[] = {
      {8000, 8, 1, 32}, {11025, 8, 2, 32}, {22050, 16, 2, 32}, {44100, 16, 1, 32}};
  const uint32_t lengths[] = {1, 7, 399, 400, 401, 1001, 1599, 1600, 1601, 2003};
  for (const FormatOverride& format : formats) {
    for (uint32_t ms : lengths) {
      SCOPED_TRACE(std::to_string(format.sampleRate) + " Hz, " + std::to_string(ms) + " ms");
      Recorder recorder;
      MIDI_HANDLE h = set.Load(set.Song(ms), &recorder, &format);
      ASSERT_NE(h, nullptr);
      ASSERT_EQ(MIDI_Play(h, 0, -1, 1), 1);
      ASSERT_TRUE(recorder.WaitForEnds(1, std::chrono::seconds(5)));
      const std::vector<Report> reports = recorder.reports();
      EXPECT_EQ(reports.front().second, 0);
      EXPECT_EQ(reports.back().second, -1);
      for (size_t i = 1; i + 1 < reports.size(); ++i) {
        EXPECT_GE(reports[i].second, reports[i - 1].second);
        EXPECT_LE(reports[i].second, reports[i].first);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      EXPECT_EQ(recorder.Ends(), 1u);
      EXPECT_EQ(MIDI_GetStatus(h), 0);
      EXPECT_EQ(MIDI_Unload(h), 1);
    }
  }
}

// A configuration directory of 259 units and the terminator fits; 260
// units are refused, not cut, and the Open that follows fails. A second
// successful Open keeps the buffers of the first.
TEST(PlayerOpen, ConfigDirectoryLimitFailedOpenAndReopen) {
  ScopedAudioEnv env("fast");
  PlayerSet set;
  const std::u16string song = Utf8ToUtf16(set.Song(1000));
  std::u16string tooLong = set.Directory16();
  tooLong.insert(0, 260 - tooLong.size(), u'/');  // the same directory, 260 units
  EXPECT_EQ(MIDI_Load(song.c_str(), tooLong.c_str(), nullptr, nullptr, nullptr), nullptr);
  MidiPlayer player;
  player.SetConfigDirectory(tooLong.substr(1).c_str());
  EXPECT_EQ(std::u16string(player.configDirectory), tooLong.substr(1));
  player.SetConfigDirectory(tooLong.c_str());
  EXPECT_EQ(player.configDirectory[0], u'\0');
  EXPECT_EQ(player.Open(song.c_str(), nullptr), 0);
  // Not loaded: queries answer -1, commands 0, and the state stays stopped.
  EXPECT_EQ(player.GetDuration(), -1);
  EXPECT_EQ(player.GetPosition(), -1);
  EXPECT_EQ(player.GetVolume(), -1);
  EXPECT_EQ(player.SetVolume(50), 0);
  EXPECT_EQ(player.Play(0, -1, 1), 0);
  EXPECT_EQ(player.Pause(), 0);
  EXPECT_EQ(player.Resume(), 0);
  EXPECT_EQ(player.Stop(), 0);
  EXPECT_EQ(player.GetStatus(), 0);
  EXPECT_EQ(player.GetWaveOut(), nullptr);

  player.SetConfigDirectory(set.Directory16().c_str());
  ASSERT_EQ(player.Open(song.c_str(), nullptr), 1000);
  const uint8_t* block = player.buffers[0].data;
  EXPECT_EQ(player.bufferBytes, 35296u);
  const FormatOverride small{11025, 8, 1, 8};
  ASSERT_EQ(player.Open(Utf8ToUtf16(set.Song(2000)).c_str(), &small), 2000);
  EXPECT_EQ(player.loaded, 1u);
  EXPECT_EQ(player.format.sampleRate, 11025u);
  EXPECT_EQ(player.bufferBytes, 35296u);
  EXPECT_EQ(player.buffers[0].data, block);
  EXPECT_EQ(player.buffers[2].data, block + 2 * 35296);
}

}  // namespace
}  // namespace pocketmidi::test::player
