// The player under load: random host calls from several threads on several
// players during playback (run it in a -DPOCKETMIDI_TSAN=ON build), and many
// load/unload cycles (leaks show in the sanitizer build).
#include <gtest/gtest.h>

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
    if (MIDI_Stop(h) == 0 && MIDI_Unload(h) == 0 && MIDI_Play(h, 0, -1, 1) == 0) {
      ++self->refusedInside;
    }
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
            const int32_t end =
                random() % 2 ? -1 : start + 1 + static_cast<int32_t>(random() % 3000);
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

// A file, thread or device left open by one cycle runs out long before the
// thousandth.
TEST(PlayerStress, ThousandLoadPlayStopUnloadCycles) {
  ScopedAudioEnv env("fast");
  PlayerSet set;
  const std::string song = set.Song(3000);
  for (int cycle = 0; cycle < 1000; ++cycle) {
    Recorder recorder;
    MIDI_HANDLE h = set.Load(song, &recorder);
    ASSERT_NE(h, nullptr) << cycle;
    ASSERT_EQ(MIDI_Play(h, cycle % 2000, -1, 1), 1) << cycle;
    ASSERT_EQ(MIDI_Stop(h), 1) << cycle;
    ASSERT_EQ(recorder.Ends(), 1u) << cycle;
    ASSERT_EQ(MIDI_Unload(h), 1) << cycle;
  }
}

}  // namespace
}  // namespace pocketmidi::test::player
