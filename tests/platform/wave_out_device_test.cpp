// The waveOut device over its backends. ALSA is checked without a sound card:
// alsa-lib's own "file" PCM (with its "null" slave) writes the raw stream it
// receives to a file, which must hold exactly what was queued.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/pcm_volume.h"
#include "platform/wav_file_writer.h"
#include "platform/wave_out.h"
#include "support/audio_env.h"

namespace pocketmidi {
namespace {

WAVEFORMATEX Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
  const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  return {WAVE_FORMAT_PCM, channels, rate, align * rate, align, bits, 0};
}

// Records every message the device sends.
struct Recorder {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::pair<uint32_t, WAVEHDR*>> messages;

  static void Proc(HWAVEOUT, uint32_t message, uintptr_t instance, uintptr_t p1, uintptr_t) {
    auto* self = reinterpret_cast<Recorder*>(instance);
    std::lock_guard<std::mutex> lock(self->mutex);
    self->messages.emplace_back(message, reinterpret_cast<WAVEHDR*>(p1));
    self->changed.notify_all();
  }
  bool WaitFor(uint32_t message, long count) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] {
      return std::count_if(messages.begin(), messages.end(),
                           [&](auto& m) { return m.first == message; }) >= count;
    });
  }
};

// Null when the device cannot be opened.
HWAVEOUT OpenDevice(const WAVEFORMATEX& format, Recorder* recorder) {
  HWAVEOUT device = nullptr;
  waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<uintptr_t>(&Recorder::Proc),
              reinterpret_cast<uintptr_t>(recorder), CALLBACK_FUNCTION);
  return device;
}

MMRESULT Queue(HWAVEOUT device, WAVEHDR* header, std::vector<uint8_t>& data) {
  *header = WAVEHDR{};
  header->lpData = reinterpret_cast<char*>(data.data());
  header->dwBufferLength = static_cast<uint32_t>(data.size());
  MMRESULT r = waveOutPrepareHeader(device, header, sizeof(WAVEHDR));
  return r != MMSYSERR_NOERROR ? r : waveOutWrite(device, header, sizeof(WAVEHDR));
}

MMTIME Position(HWAVEOUT device, uint32_t type) {
  MMTIME time{};
  time.wType = type;
  EXPECT_EQ(waveOutGetPosition(device, &time, sizeof(time)), MMSYSERR_NOERROR);
  return time;
}

TEST(WaveOutDeviceTest, OpenRefusalsAndStaleHandles) {
  WAVEFORMATEX good = Pcm(2, 22050, 16), badBits = Pcm(1, 8000, 12), badAlign = good;
  badAlign.nBlockAlign = 3;
  const struct {
    const char* setting;
    uint32_t id;
    const WAVEFORMATEX* format;
    MMRESULT result;
  } cases[] = {
      {"fast", WAVE_MAPPER, &badAlign, WAVERR_BADFORMAT},
      {"fast", WAVE_MAPPER, &badBits, WAVERR_BADFORMAT},
      {"fast", 1, &good, MMSYSERR_BADDEVICEID},
      {"fast,devices=0", WAVE_MAPPER, &good, MMSYSERR_NODRIVER},
      {"nonsense", WAVE_MAPPER, &good, MMSYSERR_NODRIVER},
      {"alsa:no_such_pcm_device", WAVE_MAPPER, &good, MMSYSERR_NODRIVER},  // no fallback
      {"wav:/nonexistent-dir/x.wav", WAVE_MAPPER, &good, MMSYSERR_ERROR},
      {"fast,open=nohandle", WAVE_MAPPER, &good, MMSYSERR_NOERROR},
  };
  for (const auto& c : cases) {
    ScopedAudioEnv env(c.setting);
    HWAVEOUT device = nullptr;
    EXPECT_EQ(waveOutOpen(&device, c.id, c.format, 0, 0, CALLBACK_NULL), c.result) << c.setting;
    EXPECT_EQ(device, nullptr);
  }
  ScopedAudioEnv env(nullptr);  // unset: ALSA's default device, or null without one
  HWAVEOUT device = nullptr;
  ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &good, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(device), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveOutClose(nullptr), MMSYSERR_INVALHANDLE);
}

// The WAV device writes what it plays: blocks in order, after volume. A reset
// hands every queued block back (in queue order, before it returns) without
// playing it, restarts the position and ends a pause.
TEST(WaveOutDeviceTest, WavDevicePlaysResetsAndScalesInOrder) {
  std::string path = AudioTempPath("device.wav");
  ScopedAudioEnv env("wav:" + path);
  Recorder recorder;
  HWAVEOUT device = OpenDevice(Pcm(2, 8000, 16), &recorder);
  ASSERT_NE(device, nullptr);
  std::vector<uint8_t> a = {0x01, 0x00, 0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00};  // 1, -32768, 32767, 0
  std::vector<uint8_t> b = {0xFF, 0xFF, 0x10, 0x00};                          // -1, 16
  WAVEHDR ha{}, hb{};
  EXPECT_EQ(waveOutWrite(device, &ha, sizeof(WAVEHDR)), WAVERR_UNPREPARED);
  EXPECT_EQ(waveOutPrepareHeader(device, &ha, 16), MMSYSERR_INVALPARAM);
  ASSERT_EQ(waveOutSetVolume(device, 0xFFFF8000u), MMSYSERR_NOERROR);  // left 32768, right full
  ASSERT_EQ(Queue(device, &ha, a), MMSYSERR_NOERROR);
  ASSERT_EQ(Queue(device, &hb, b), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder.WaitFor(WOM_DONE, 2));
  EXPECT_EQ(Position(device, TIME_SAMPLES).u.sample, 3u);
  const MMTIME smpte = Position(device, TIME_SMPTE);  // not kept: answered in bytes
  EXPECT_EQ(smpte.wType, TIME_BYTES);
  EXPECT_EQ(smpte.u.cb, 12u);

  ASSERT_EQ(waveOutPause(device), MMSYSERR_NOERROR);
  ASSERT_EQ(Queue(device, &ha, a), MMSYSERR_NOERROR);
  ASSERT_EQ(Queue(device, &hb, b), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutWrite(device, &ha, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutUnprepareHeader(device, &ha, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutClose(device), WAVERR_STILLPLAYING);
  ASSERT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
  EXPECT_EQ(recorder.messages.size(), 5u);  // already delivered
  EXPECT_EQ(Position(device, TIME_BYTES).u.cb, 0u);
  ASSERT_EQ(Queue(device, &hb, b), MMSYSERR_NOERROR);  // no longer paused: plays
  ASSERT_TRUE(recorder.WaitFor(WOM_DONE, 5));
  ASSERT_EQ(waveOutClose(device), MMSYSERR_NOERROR);

  const std::vector<std::pair<uint32_t, WAVEHDR*>> messages = {
      {WOM_OPEN, nullptr}, {WOM_DONE, &ha}, {WOM_DONE, &hb},     {WOM_DONE, &ha},
      {WOM_DONE, &hb},     {WOM_DONE, &hb}, {WOM_CLOSE, nullptr}};
  EXPECT_EQ(recorder.messages, messages);
  // Left s * 32768 / 65535 toward zero: 1 -> 0, 32767 -> 16383, -1 -> 0.
  const std::vector<uint8_t> data = {0, 0, 0x00, 0x80, 0xFF, 0x3F, 0,    0,
                                     0, 0, 0x10, 0,    0,    0,    0x10, 0};
  std::vector<uint8_t> expected(kWavHeaderBytes);
  BuildWavHeader(Pcm(2, 8000, 16), static_cast<uint32_t>(data.size()), expected.data());
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(ReadAudioFile(path), expected);
  std::remove(path.c_str());
}

// 8-bit samples are unsigned around 128 and also scale toward zero; a mono
// device uses the left level only. (The WAV test covers 16-bit stereo.)
TEST(WaveOutDeviceTest, EightBitAndMonoVolume) {
  uint8_t stereo[4] = {255, 255, 0, 0}, mono[2] = {0, 255};
  ApplyVolume(stereo, 4, 8, 2, 0x80000000u);  // left 0, right 32768
  ApplyVolume(mono, 2, 8, 1, 0xFFFF0000u);
  EXPECT_EQ(std::vector<uint8_t>(stereo, stereo + 4), (std::vector<uint8_t>{128, 191, 128, 64}));
  EXPECT_EQ(std::vector<uint8_t>(mono, mono + 2), (std::vector<uint8_t>{128, 128}));
}

TEST(WaveOutDeviceTest, NullDevicePacesBlocksInRealTime) {
  ScopedAudioEnv env("null");
  Recorder recorder;
  HWAVEOUT device = OpenDevice(Pcm(1, 8000, 8), &recorder);
  ASSERT_NE(device, nullptr);
  std::vector<uint8_t> data(160, 128);  // 20 ms
  WAVEHDR header;
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Queue(device, &header, data), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder.WaitFor(WOM_DONE, 1));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(19));
  EXPECT_EQ(Position(device, TIME_MS).u.ms, 20u);
  ASSERT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
}

// Blocks that are not a whole number of ALSA periods reach the PCM whole.
TEST(WaveOutDeviceTest, AlsaFilePluginReceivesTheQueuedBytes) {
  const std::string path = AudioTempPath("alsa.raw");
  ScopedAudioEnv env("alsa:file:'" + path + "'");
  Recorder recorder;
  HWAVEOUT device = OpenDevice(Pcm(2, 22050, 16), &recorder);
  if (device == nullptr) GTEST_SKIP() << "ALSA cannot open its file plugin here";
  std::vector<std::vector<uint8_t>> blocks;
  std::vector<uint8_t> expected;
  for (int b = 0; b < 3; ++b) {
    blocks.emplace_back(4 * (3000 + 517 * b));
    for (size_t i = 0; i < blocks[b].size(); ++i) blocks[b][i] = static_cast<uint8_t>(i * 7 + b);
    expected.insert(expected.end(), blocks[b].begin(), blocks[b].end());
  }
  WAVEHDR headers[3];
  for (int b = 0; b < 3; ++b) ASSERT_EQ(Queue(device, &headers[b], blocks[b]), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder.WaitFor(WOM_DONE, 3));
  EXPECT_LE(Position(device, TIME_BYTES).u.cb, expected.size());
  ASSERT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
  EXPECT_TRUE(ReadAudioFile(path) == expected);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace pocketmidi
