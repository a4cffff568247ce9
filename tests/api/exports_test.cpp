// The exported interface: null handles, load failures, device faults as the
// host sees them, volume masking, the pointer table, and the symbols of the
// shared library.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <map>

#include "platform/wave_out.h"
#include "support/player_fixture.h"

namespace pocketmidi::test::player {
namespace {

TEST(Exports, NullHandlesAndFailedLoads) {
  for (int32_t result : {MIDI_Unload(nullptr), MIDI_Play(nullptr, 0, -1, 1), MIDI_Stop(nullptr),
                         MIDI_Pause(nullptr), MIDI_Resume(nullptr), MIDI_SetVolume(nullptr, 50),
                         MIDI_GetInfo(nullptr, nullptr)}) {
    EXPECT_EQ(result, 0);
  }
  for (int32_t result : {MIDI_GetVolume(nullptr), MIDI_GetDuration(nullptr),
                         MIDI_GetPosition(nullptr), MIDI_GetStatus(nullptr)}) {
    EXPECT_EQ(result, -1);
  }
  EXPECT_EQ(MIDI_GetWaveOut(nullptr), nullptr);
  EXPECT_EQ(MIDI_GetInfo(nullptr, nullptr), 0);

  // The tool's play tests cover a missing song, one of 0 ms and no device.
  ScopedAudioEnv env("fast");
  PlayerSet set;
  const std::string wave = std::string("RIFF\x24\0\0\0WAVEfmt ", 16) + std::string(32, '\0');
  EXPECT_EQ(set.Load(set.WriteFile("wave.wav", wave)), nullptr);
  // Devices whose capabilities cannot be read, or one that opens without a handle.
  for (const char* audio : {"fast,caps=fail", "fast,open=nohandle"}) {
    ScopedAudioEnv fault(audio);
    EXPECT_EQ(set.Load(set.Song(1000)), nullptr) << audio;
  }
}

// POCKETMIDI_AUDIO faults, as each player function reports them. The codes
// are platform results; the sink maps 5 to -1, 7 to -3, 6 to -4, others to -5.
struct FaultCase {
  const char* audio;
  int32_t play, pause, resume, stop, setVolume, getVolume;
};

class DeviceFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(DeviceFaults, ReachTheHostAsResults) {
  const FaultCase& c = GetParam();
  ScopedAudioEnv env(c.audio);
  PlayerSet set;
  Recorder recorder;
  MIDI_HANDLE h = set.Load(set.Song(20000), &recorder);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(MIDI_Play(h, 0, -1, 1), c.play);
  EXPECT_EQ(recorder.reports().front(), Report(20000, 0));  // made even when nothing was queued
  EXPECT_EQ(MIDI_GetStatus(h), c.play);
  EXPECT_EQ(MIDI_Pause(h), c.pause);
  EXPECT_EQ(MIDI_Resume(h), c.resume);
  EXPECT_EQ(MIDI_Stop(h), c.stop);
  EXPECT_EQ(MIDI_GetStatus(h), 0);
  EXPECT_EQ(recorder.Ends(), c.play ? 1u : 0u);
  // After a failed reset the device still plays its blocks: Play waits for
  // them instead of rendering into buffers the device reads.
  EXPECT_EQ(MIDI_Play(h, 0, -1, 1), c.play);
  MIDI_Stop(h);
  EXPECT_EQ(MIDI_SetVolume(h, 50), c.setVolume);
  EXPECT_EQ(MIDI_GetVolume(h), c.getVolume);
  EXPECT_EQ(MIDI_Unload(h), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Player, DeviceFaults,
    ::testing::Values(FaultCase{"null", 1, 1, 1, 1, 1, 49},
                      FaultCase{"null,write=7", 0, 0, 0, 1, 1, 49},
                      FaultCase{"null,pause=6", 1, 0, 0, 1, 1, 49},
                      FaultCase{"null,restart=1", 1, 1, 0, 1, 1, 49},
                      FaultCase{"null,reset=5", 1, 1, 1, 0, 1, 49},
                      FaultCase{"null,volume=5", 1, 1, 1, 1, 0, -1},
                      FaultCase{"null,volume=7", 1, 1, 1, 1, 0, -3},
                      FaultCase{"null,volume=6", 1, 1, 1, 1, 0, -4},
                      FaultCase{"null,volume=11", 1, 1, 1, 1, 0, -5},
                      FaultCase{"null,close=stillplaying", 1, 1, 1, 1, 1, 49}),
    // Named after the device setting: "null_write_7".
    [](const auto& info) {
      std::string name = info.param.audio;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

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

// Each slot of the table does what its export does.
TEST(Exports, PointerTableSlotsDoWhatTheExportsDo) {
  ScopedAudioEnv env("null");  // real time: the pass cannot end during the test
  PlayerSet set;
  const std::u16string song = Utf8ToUtf16(set.Song(3000));
  const std::u16string dir = set.Directory16();
  MIDI_HANDLE h = fp_MIDI_Load(song.c_str(), dir.c_str(), nullptr, nullptr, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(fp_MIDI_SetVolume(h, 30), 1);
  EXPECT_EQ(fp_MIDI_GetVolume(h), 29);
  EXPECT_EQ(fp_MIDI_Play(h, 500, 2500, 2), 1);
  EXPECT_EQ(fp_MIDI_Pause(h), 1);
  EXPECT_EQ(fp_MIDI_GetStatus(h), 2);
  EXPECT_EQ(fp_MIDI_Resume(h), 1);
  EXPECT_EQ(fp_MIDI_GetStatus(h), 1);
  EXPECT_EQ(fp_MIDI_Stop(h), 1);
  EXPECT_EQ(MIDI_GetStatus(h), 0);
  EXPECT_EQ(fp_MIDI_GetPosition(h), MIDI_GetPosition(h));
  EXPECT_EQ(fp_MIDI_GetDuration(h), 3000);
  EXPECT_EQ(fp_MIDI_GetWaveOut(h), MIDI_GetWaveOut(h));
  MidiFileInfo info{};
  EXPECT_EQ(fp_MIDI_GetInfo(song.c_str(), &info), 1);
  EXPECT_EQ(info.durationMs, 3000u);
  EXPECT_EQ(fp_MIDI_Unload(h), 1);
}

// The shared library exports the thirteen functions and the thirteen slots
// and nothing else; a host may read the slots as one array in export order.
TEST(Exports, SharedLibraryExportsTheFunctionsAndTheTableInOrder) {
#ifdef _WIN32
  GTEST_SKIP() << "a DLL, not ELF: Exports.DllExportTableMatchesTheDefFile reads its export table";
#endif
  // The toolchain's own nm (a cross build's reads the target's ELF).
  std::FILE* pipe =
      popen("'" POCKETMIDI_NM "' -D --defined-only " POCKETMIDI_SHARED_PATH " 2>/dev/null", "r");
  ASSERT_NE(pipe, nullptr);
  std::map<std::string, unsigned long long> addresses;
  unsigned long long address;
  char type, name[256];
  while (std::fscanf(pipe, "%llx %c %255s", &address, &type, name) == 3) addresses[name] = address;
  if (pclose(pipe) != 0 && addresses.empty()) {
    GTEST_SKIP() << "'" POCKETMIDI_NM "' cannot list the dynamic symbols of an ELF library here";
  }
  const char* functions[] = {"MIDI_Load",        "MIDI_Unload",      "MIDI_Play",
                             "MIDI_Stop",        "MIDI_Pause",       "MIDI_Resume",
                             "MIDI_SetVolume",   "MIDI_GetVolume",   "MIDI_GetDuration",
                             "MIDI_GetPosition", "MIDI_GetStatus",   "MIDI_GetInfo",
                             "MIDI_GetWaveOut"};
  EXPECT_EQ(addresses.size(), 26u);
  for (size_t i = 0; i < 13; ++i) {
    const std::string slot = std::string("fp_") + functions[i];
    EXPECT_EQ(addresses.count(functions[i]), 1u) << functions[i];
    ASSERT_EQ(addresses.count(slot), 1u) << slot;
    EXPECT_EQ(addresses[slot], addresses["fp_MIDI_Load"] + i * sizeof(void*)) << slot;
  }
}

}  // namespace
}  // namespace pocketmidi::test::player
