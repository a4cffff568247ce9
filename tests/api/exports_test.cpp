// The exported interface: null handles, load failures, device faults as the
// host sees them, volume masking, the pointer table, and the export list of
// the shared library.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "platform/wave_out.h"
#include "support/player_fixture.h"

namespace pocketmidi::test::player {
namespace {

TEST(Exports, NullHandleResults) {
  EXPECT_EQ(MIDI_Unload(nullptr), 0);
  EXPECT_EQ(MIDI_Play(nullptr, 0, -1, 1), 0);
  EXPECT_EQ(MIDI_Stop(nullptr), 0);
  EXPECT_EQ(MIDI_Pause(nullptr), 0);
  EXPECT_EQ(MIDI_Resume(nullptr), 0);
  EXPECT_EQ(MIDI_SetVolume(nullptr, 50), 0);
  EXPECT_EQ(MIDI_GetVolume(nullptr), -1);
  EXPECT_EQ(MIDI_GetDuration(nullptr), -1);
  EXPECT_EQ(MIDI_GetPosition(nullptr), -1);
  EXPECT_EQ(MIDI_GetStatus(nullptr), -1);
  EXPECT_EQ(MIDI_GetWaveOut(nullptr), nullptr);
  EXPECT_EQ(MIDI_GetInfo(nullptr, nullptr), 0);
}

TEST(Exports, LoadFailuresLeaveNothingOpen) {
  ScopedAudioEnv env("fast");
  PlayerSet set;
  const struct {
    const char* name;
    std::string bytes;  // empty: the file does not exist
  } rows[] = {
      {"missing.mid", ""},
      {"wave.wav", std::string("RIFF\x24\0\0\0WAVEfmt ", 16) + std::string(32, '\0')},
      {"unknown.bin", "JUNKJUNKJUNK"},
      {"silent.mid", BuildSmf({TrackWriter().EndOfTrack()})},  // 0 ms
  };
  for (const auto& row : rows) {
    const std::string path = row.bytes.empty() ? set.Directory() + row.name
                                               : set.WriteFile(row.name, row.bytes);
    EXPECT_EQ(set.Load(path), nullptr) << row.name;
  }
  // A rate accepted, then bits 12 stop the override: the song still loads,
  // at 8000 Hz with the configured 16-bit stereo.
  const FormatOverride partly{8000, 12, 1, 4};
  Recorder recorder;
  MIDI_HANDLE h = set.Load(set.Song(1000), &recorder, &partly);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(MIDI_GetDuration(h), 1000);
  ASSERT_EQ(MIDI_Play(h, 0, 1000, 1), 1);
  ASSERT_TRUE(recorder.WaitForEnds());
  // 8000 Hz 16-bit stereo: 400 ms buffers of 12800 bytes, 32000 bytes per
  // pass. The song's PCM stops a few bytes short of that (its frame count
  // rounds down, its duration up): the pass ends when the PCM runs out.
  EXPECT_EQ(recorder.reports(),
            (std::vector<Report>{{1000, 0}, {1000, 400}, {1000, 800}, {1000, 999}, {1000, -1}}));
  MIDI_Unload(h);
}

// POCKETMIDI_AUDIO faults, as each player function reports them. The codes
// are platform results; the sink maps 5 to -1, 7 to -3, 6 to -4, others to -5.
struct FaultCase {
  const char* audio;
  bool loads;
  int32_t play, pause, resume, stop, setVolume, getVolume;
};

class DeviceFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(DeviceFaults, ReachTheHostAsResults) {
  const FaultCase& c = GetParam();
  ScopedAudioEnv env(c.audio);
  PlayerSet set;
  Recorder recorder;
  MIDI_HANDLE h = set.Load(set.Song(20000), &recorder);
  ASSERT_EQ(h != nullptr, c.loads);
  if (h == nullptr) return;
  EXPECT_EQ(MIDI_Play(h, 0, -1, 1), c.play);
  EXPECT_EQ(recorder.reports().front(), Report(20000, 0));  // made even when nothing was queued
  EXPECT_EQ(MIDI_GetStatus(h), c.play);
  EXPECT_EQ(MIDI_Pause(h), c.pause);
  EXPECT_EQ(MIDI_Resume(h), c.resume);
  EXPECT_EQ(MIDI_Stop(h), c.stop);
  EXPECT_EQ(MIDI_GetStatus(h), 0);
  EXPECT_EQ(recorder.Ends(), c.play ? 1u : 0u);
  EXPECT_EQ(MIDI_SetVolume(h, 50), c.setVolume);
  EXPECT_EQ(MIDI_GetVolume(h), c.getVolume);
  EXPECT_EQ(MIDI_Unload(h), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Player, DeviceFaults,
    ::testing::Values(FaultCase{"null", true, 1, 1, 1, 1, 1, 49},
                      FaultCase{"null,devices=0", false, 0, 0, 0, 0, 0, 0},
                      FaultCase{"null,caps=fail", false, 0, 0, 0, 0, 0, 0},
                      FaultCase{"null,open=nohandle", false, 0, 0, 0, 0, 0, 0},
                      FaultCase{"null,prepare=5", true, 0, 0, 0, 1, 1, 49},
                      FaultCase{"null,write=7", true, 0, 0, 0, 1, 1, 49},
                      FaultCase{"null,pause=6", true, 1, 0, 0, 1, 1, 49},
                      FaultCase{"null,restart=1", true, 1, 1, 0, 1, 1, 49},
                      FaultCase{"null,reset=5", true, 1, 1, 1, 0, 1, 49},
                      FaultCase{"null,volume=5", true, 1, 1, 1, 1, 0, -1},
                      FaultCase{"null,volume=7", true, 1, 1, 1, 1, 0, -3},
                      FaultCase{"null,volume=6", true, 1, 1, 1, 1, 0, -4},
                      FaultCase{"null,volume=11", true, 1, 1, 1, 1, 0, -5},
                      FaultCase{"null,close=stillplaying", true, 1, 1, 1, 1, 1, 49}));

// After a reset that failed, the device still plays its blocks: the next
// Play waits for them instead of rendering into buffers the device reads.
TEST(DeviceFaultsAfterStop, PlayAgainAfterAFailedReset) {
  ScopedAudioEnv env("fast,reset=5");
  PlayerSet set;
  Recorder recorder;
  MIDI_HANDLE h = set.Load(set.Song(20000), &recorder);
  ASSERT_NE(h, nullptr);
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(MIDI_Play(h, 0, -1, 1), 1);
    MIDI_Stop(h);
    EXPECT_EQ(MIDI_GetStatus(h), 0);
  }
  EXPECT_EQ(MIDI_Unload(h), 1);
}

TEST(Exports, VolumeKeepsItsLow16Bits) {
  ScopedAudioEnv env("fast");
  PlayerSet set;
  MIDI_HANDLE h = set.Load(set.Song(1000));
  ASSERT_NE(h, nullptr);
  const struct {
    int32_t volume, result;
    uint32_t device;
  } rows[] = {{100, 1, 0xFFFFFFFF}, {0, 1, 0},  {101, 0, 0}, {-1, 0, 0},
              {0x7FFF0064, 1, 0xFFFFFFFF}, {0x10032, 1, 0x7FFF7FFF}};
  for (const auto& row : rows) {
    EXPECT_EQ(MIDI_SetVolume(h, row.volume), row.result) << row.volume;
    uint32_t level = 0;
    ASSERT_EQ(waveOutGetVolume(static_cast<HWAVEOUT>(MIDI_GetWaveOut(h)), &level),
              MMSYSERR_NOERROR);
    EXPECT_EQ(level, row.device) << row.volume;
  }
  EXPECT_EQ(MIDI_GetVolume(h), 49);  // 32767 * 100 / 65535, after the last row
  MIDI_Unload(h);
}

// The host may read the table as one array: the slots follow each other,
// none is empty, and a song played through them gives the same results,
// reports and information as the direct calls.
TEST(Exports, PointerTableIsContiguousAndDoesWhatTheExportsDo) {
  const void* slots[] = {&fp_MIDI_Load,        &fp_MIDI_Unload,      &fp_MIDI_Play,
                         &fp_MIDI_Stop,        &fp_MIDI_Pause,       &fp_MIDI_Resume,
                         &fp_MIDI_SetVolume,   &fp_MIDI_GetVolume,   &fp_MIDI_GetDuration,
                         &fp_MIDI_GetPosition, &fp_MIDI_GetStatus,   &fp_MIDI_GetInfo,
                         &fp_MIDI_GetWaveOut};
  for (size_t i = 0; i < 13; ++i) {
    const auto address = reinterpret_cast<uintptr_t>(slots[i]);
    if (i > 0) {
      EXPECT_EQ(address - reinterpret_cast<uintptr_t>(slots[i - 1]), sizeof(void*)) << i;
    }
    ASSERT_NE(*static_cast<void* const*>(slots[i]), nullptr) << i;
  }

  ScopedAudioEnv env("fast");
  PlayerSet set;
  const std::u16string song = Utf8ToUtf16(set.Song(3000));
  const std::u16string dir = set.Directory16();
  Recorder direct, table;
  MIDI_HANDLE a = MIDI_Load(song.c_str(), dir.c_str(), nullptr, &Recorder::Callback, &direct);
  MIDI_HANDLE b = fp_MIDI_Load(song.c_str(), dir.c_str(), nullptr, &Recorder::Callback, &table);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(fp_MIDI_GetDuration(b), MIDI_GetDuration(a));
  EXPECT_EQ(fp_MIDI_SetVolume(b, 30), MIDI_SetVolume(a, 30));
  EXPECT_EQ(fp_MIDI_GetVolume(b), MIDI_GetVolume(a));
  EXPECT_NE(fp_MIDI_GetWaveOut(b), nullptr);
  EXPECT_EQ(fp_MIDI_Play(b, 500, 2500, 2), MIDI_Play(a, 500, 2500, 2));
  ASSERT_TRUE(direct.WaitForEnds() && table.WaitForEnds());
  EXPECT_EQ(table.reports(), direct.reports());
  EXPECT_EQ(fp_MIDI_GetStatus(b), MIDI_GetStatus(a));
  EXPECT_EQ(fp_MIDI_Pause(b), MIDI_Pause(a));
  EXPECT_EQ(fp_MIDI_Resume(b), MIDI_Resume(a));
  EXPECT_EQ(fp_MIDI_Stop(b), MIDI_Stop(a));
  EXPECT_EQ(fp_MIDI_GetPosition(b), MIDI_GetPosition(a));
  MidiFileInfo infoA{}, infoB{};
  EXPECT_EQ(fp_MIDI_GetInfo(song.c_str(), &infoB), MIDI_GetInfo(song.c_str(), &infoA));
  EXPECT_EQ(std::memcmp(&infoA, &infoB, sizeof infoA), 0);
  EXPECT_EQ(fp_MIDI_Unload(b), 1);
  EXPECT_EQ(MIDI_Unload(a), 1);
}

// The shared library exports the thirteen functions and thirteen slots and
// nothing else.
TEST(Exports, SharedLibraryExportsExactlyTheInterface) {
  std::FILE* pipe = popen("nm -D --defined-only " POCKETMIDI_SHARED_PATH " 2>/dev/null", "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    char address[64], type[8], name[256];
    if (std::sscanf(line, "%63s %7s %255s", address, type, name) == 3) names.insert(name);
  }
  if (pclose(pipe) != 0 && names.empty()) GTEST_SKIP() << "nm is not available";
  const char* functions[] = {"MIDI_Load",        "MIDI_Unload",      "MIDI_Play",
                             "MIDI_Stop",        "MIDI_Pause",       "MIDI_Resume",
                             "MIDI_SetVolume",   "MIDI_GetVolume",   "MIDI_GetDuration",
                             "MIDI_GetPosition", "MIDI_GetStatus",   "MIDI_GetInfo",
                             "MIDI_GetWaveOut"};
  std::set<std::string> expected;
  for (const char* f : functions) {
    expected.insert(f);
    expected.insert(std::string("fp_") + f);
  }
  EXPECT_EQ(names, expected);
}

}  // namespace
}  // namespace pocketmidi::test::player
