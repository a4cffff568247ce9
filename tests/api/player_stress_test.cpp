// The player under load: random host calls from several threads on several
// players during playback (run it in a -DPOCKETMIDI_TSAN=ON build), many
// load/unload cycles (leaks show in the sanitizer build), and the device
// capture of a whole song against the render command.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <random>
#include <thread>

#include "support/player_fixture.h"

namespace pocketmidi::test::player {
namespace {

// Records like Recorder, and calls back into its own player from inside the
// report: queries work, Stop and Unload are refused.
struct ReentrantRecorder {
  Recorder recorder;
  std::atomic<MIDI_HANDLE> handle{nullptr};
  std::atomic<int> refusedInside{0};
  std::atomic<int> acceptedInside{0};

  static void Callback(int32_t durationMs, int32_t positionMs, void* user) {
    auto* self = static_cast<ReentrantRecorder*>(user);
    Recorder::Callback(durationMs, positionMs, &self->recorder);
    MIDI_HANDLE h = self->handle.load();
    if (h == nullptr) return;
    if (MIDI_GetStatus(h) >= 0 && MIDI_GetDuration(h) == durationMs) ++self->acceptedInside;
    if (MIDI_Stop(h) == 0 && MIDI_Unload(h) == 0 && MIDI_Play(h, 0, -1, 1) == 0) ++self->refusedInside;
  }
};

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
    // The controller: starts, pauses, stops; after its Stop nothing reports.
    threads.emplace_back([&, i] {
      std::mt19937 random(1234 + i);
      MIDI_HANDLE h = handles[i];
      for (int op = 0; op < 600; ++op) {
        switch (random() % 6) {
          case 0:
          case 1: {
            const int32_t start = static_cast<int32_t>(random() % 4000);
            const int32_t end = random() % 2 ? -1 : start + 1 + static_cast<int32_t>(random() % 3000);
            MIDI_Play(h, start, end, static_cast<int32_t>(random() % 4) - 1);
            break;
          }
          case 2:
            MIDI_Pause(h);
            break;
          case 3:
            MIDI_Resume(h);
            break;
          case 4: {
            MIDI_Stop(h);
            const size_t before = recorders[i].recorder.reports().size();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            if (recorders[i].recorder.reports().size() != before) ++lateReports;
            break;
          }
          default:
            MIDI_SetVolume(h, static_cast<int32_t>(random() % 120));
            break;
        }
      }
      MIDI_Stop(h);
    });
    // The observer: queries only, all the while.
    threads.emplace_back([&, i] {
      for (int op = 0; op < 3000; ++op) {
        MIDI_GetStatus(handles[i]);
        MIDI_GetPosition(handles[i]);
        MIDI_GetVolume(handles[i]);
        MIDI_GetDuration(handles[i]);
        MIDI_GetWaveOut(handles[i]);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(lateReports.load(), 0);
  for (int i = 0; i < kPlayers; ++i) {
    EXPECT_EQ(MIDI_GetStatus(handles[i]), 0);
    EXPECT_GT(recorders[i].acceptedInside.load(), 0);
    EXPECT_EQ(recorders[i].refusedInside.load(), recorders[i].acceptedInside.load());
    recorders[i].handle = nullptr;
    EXPECT_EQ(MIDI_Unload(handles[i]), 1);
  }
}

TEST(PlayerStress, ThousandLoadPlayStopUnloadCycles) {
  ScopedAudioEnv env("fast");
  PlayerSet set;
  const std::string song = set.Song(3000);
  int failures = 0;
  for (int cycle = 0; cycle < 1000; ++cycle) {
    Recorder recorder;
    MIDI_HANDLE h = set.Load(song, &recorder);
    if (h == nullptr) {
      ++failures;
      continue;
    }
    failures += MIDI_Play(h, cycle % 2000, -1, 1) != 1;
    failures += MIDI_Stop(h) != 1;
    failures += recorder.Ends() != 1;
    failures += MIDI_Unload(h) != 1;
  }
  EXPECT_EQ(failures, 0);
}

int RunCli(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What the device received for MIDI_Play(h, 0, -1, 1) is exactly what
// `pocketmidi render` writes for the same song and settings.
TEST(PlayerCapture, WholeSongEqualsTheRenderCommand) {
  PlayerSet set;
  const std::string song = set.WriteFile(
      "tune.mid", SongBytes(With(With(Loud(0), Loud(1, 20)),
                                 {On(0, 0, 60), On(130, 1, 67, 90), Off(700, 0, 60), On(650, 0, 72),
                                  Bend(900, 1, 9000), Off(1500, 1, 67), Off(2210, 0, 72)}),
                            2345));
  const struct {
    const char* flags;
    FormatOverride format;  // sampleRate 0: none
  } rows[] = {{"", {0, 0, 0, 0}},
              {"--rate 11025 --bits 8 --channels 1", {11025, 8, 1, 32}},
              {"--rate 44100", {44100, 16, 2, 32}},
              {"--rate 8000 --channels 1 --polyphony 2", {8000, 16, 1, 2}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.flags);
    const std::string captured = AudioTempPath("capture.wav");
    const std::string rendered = AudioTempPath("render.wav");
    {
      ScopedAudioEnv env("wav:" + captured);
      Recorder recorder;
      MIDI_HANDLE h = set.Load(song, &recorder, row.format.sampleRate ? &row.format : nullptr);
      ASSERT_NE(h, nullptr);
      ASSERT_EQ(MIDI_Play(h, 0, -1, 1), 1);
      ASSERT_TRUE(recorder.WaitForEnds());
      ASSERT_EQ(MIDI_Unload(h), 1);
    }
    ASSERT_EQ(RunCli(std::string(POCKETMIDI_CLI_PATH) + " render " + song + " --config " +
                     set.Directory() + " " + row.flags + " -o " + rendered + " 2>/dev/null"),
              0);
    const std::vector<uint8_t> device = ReadAudioFile(captured);
    const std::vector<uint8_t> tool = ReadAudioFile(rendered);
    std::remove(captured.c_str());
    std::remove(rendered.c_str());
    EXPECT_GT(tool.size(), 44u + 8000u);
    EXPECT_TRUE(device == tool) << device.size() << " vs " << tool.size() << " bytes";
  }
}

}  // namespace
}  // namespace pocketmidi::test::player
