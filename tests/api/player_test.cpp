// The player through the exported functions: its states, the progress
// reports of a pass and the bytes it sends, and random host calls from
// several threads on several players during playback (run it in a
// -DPOCKETMIDI_TSAN=ON build too).
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <random>
#include <thread>

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
      {"pause while stopped", [&] { return MIDI_Pause(h); }, 0, 0, 99},
      {"resume while stopped", [&] { return MIDI_Resume(h); }, 0, 0, 99},
      {"stop while stopped", [&] { return MIDI_Stop(h); }, 1, 0, 99},
      {"end equal to start", [&] { return MIDI_Play(h, 1000, 1000, 1); }, 0, 0, 99},
      {"negative start", [&] { return MIDI_Play(h, -1, 1000, 1); }, 0, 0, 99},
      {"loops below -1", [&] { return MIDI_Play(h, 0, 1000, -2); }, 0, 0, 99},
      {"play", [&] { return MIDI_Play(h, 3000, 9000, 1); }, 1, 1, 3000},
      {"play while playing", [&] { return MIDI_Play(h, 0, -1, 1); }, 0, 1, 99},
      {"resume while playing", [&] { return MIDI_Resume(h); }, 0, 1, 99},
      {"pause", [&] { return MIDI_Pause(h); }, 1, 2, 99},
      {"play while paused", [&] { return MIDI_Play(h, 0, -1, 1); }, 0, 2, 99},
      {"resume", [&] { return MIDI_Resume(h); }, 1, 1, 99},
      {"stop", [&] { return MIDI_Stop(h); }, 1, 0, -1},
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
  pass.resize(std::min<size_t>(pass.size(), blocks * kBufferBytes));
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
                      PassCase{"ThreeLoopsShortPass", 500, 600, 3, 6000},
                      PassCase{"WholeSong", 0, -1, 1, 3000},  // 7 full blocks and 17528 bytes
                      PassCase{"EndPastTheSongLooped", 2000, 10000, 2, 3000},
                      PassCase{"LastBufferAlmostFull", 0, -1, 1, 1600}),
    [](const auto& info) { return std::string(info.param.name); });

// Records like Recorder, and calls back into its own player from inside the
// report: queries work, Stop, Unload and Play are refused.
struct ReentrantRecorder {
  Recorder recorder;
  std::atomic<MIDI_HANDLE> handle{nullptr};
  std::atomic<int> inside{0}, refused{0};

  static void Callback(int32_t durationMs, int32_t positionMs, void* user) {
    auto* self = static_cast<ReentrantRecorder*>(user);
    Recorder::Callback(durationMs, positionMs, &self->recorder);
    MIDI_HANDLE h = self->handle.load();
    if (h == nullptr) return;
    ++self->inside;
    if (MIDI_GetDuration(h) == durationMs && MIDI_Stop(h) == 0 && MIDI_Unload(h) == 0 &&
        MIDI_Play(h, 0, -1, 1) == 0) {
      ++self->refused;
    }
  }
};

// A controller thread per player starts, pauses and stops it at random (after
// its Stop returns, nothing reports); an observer thread per player queries.
TEST(PlayerStress, RandomHostCallsOnSeveralPlayersDuringPlayback) {
  ScopedAudioEnv env("fast");
  PlayerSet set;
  const FormatOverride formats[] = {{22050, 16, 2, 16}, {11025, 8, 1, 16}, {44100, 16, 2, 16}};
  constexpr int kPlayers = 3;
  ReentrantRecorder recorders[kPlayers];
  MIDI_HANDLE handles[kPlayers];
  const std::u16string dir = set.Directory16();
  for (int i = 0; i < kPlayers; ++i) {
    const std::u16string song = Utf8ToUtf16(set.Song(3000 + 1000 * i));
    handles[i] = MIDI_Load(song.c_str(), dir.c_str(), &formats[i], &ReentrantRecorder::Callback,
                           &recorders[i]);
    ASSERT_NE(handles[i], nullptr);
    recorders[i].handle = handles[i];
  }
  std::atomic<int> lateReports{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kPlayers; ++i) {
    threads.emplace_back([&, i] {
      std::mt19937 random(1234 + i);
      const MIDI_HANDLE h = handles[i];
      for (int op = 0; op < 600; ++op) {
        const uint32_t choice = random() % 6;
        if (choice < 2) {
          const int32_t start = static_cast<int32_t>(random() % 4000);
          const int32_t end = random() % 2 ? -1 : start + 1 + static_cast<int32_t>(random() % 3000);
          MIDI_Play(h, start, end, static_cast<int32_t>(random() % 4) - 1);
        } else if (choice == 2) {
          MIDI_Pause(h);
        } else if (choice == 3) {
          MIDI_Resume(h);
        } else if (choice == 4) {
          MIDI_Stop(h);
          const size_t before = recorders[i].recorder.reports().size();
          std::this_thread::sleep_for(std::chrono::microseconds(200));
          lateReports += recorders[i].recorder.reports().size() != before;
        } else {
          MIDI_SetVolume(h, static_cast<int32_t>(random() % 120));
        }
      }
      MIDI_Stop(h);
    });
    threads.emplace_back([&, i] {
      for (int op = 0; op < 3000; ++op) {
        MIDI_GetStatus(handles[i]);
        MIDI_GetPosition(handles[i]);
        MIDI_GetVolume(handles[i]);
        MIDI_GetWaveOut(handles[i]);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(lateReports.load(), 0);
  for (int i = 0; i < kPlayers; ++i) {
    EXPECT_EQ(MIDI_GetStatus(handles[i]), 0);
    EXPECT_GT(recorders[i].inside.load(), 0);
    EXPECT_EQ(recorders[i].refused.load(), recorders[i].inside.load());
    recorders[i].handle = nullptr;
    EXPECT_EQ(MIDI_Unload(handles[i]), 1);
  }
}

}  // namespace
}  // namespace pocketmidi::test::player
