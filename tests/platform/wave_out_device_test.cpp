// The waveOut device over its backends. ALSA is checked without a sound card:
// alsa-lib's own "file" PCM (with its "null" slave) writes the raw stream it
// receives to a file, which must hold exactly what was queued, after volume.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/pcm_volume.h"
#include "platform/wave_out.h"
#include "support/audio_env.h"

namespace pocketmidi {
namespace {

WAVEFORMATEX Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
  const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  return {WAVE_FORMAT_PCM, channels, rate, align * rate, align, bits, 0};
}

// Records every message; optionally queues `requeue` more blocks from inside
// WOM_DONE, each time rewriting the header that just came back.
struct Recorder {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::pair<uint32_t, WAVEHDR*>> messages;
  int requeue = 0;

  static void Proc(HWAVEOUT device, uint32_t message, uintptr_t instance, uintptr_t p1, uintptr_t) {
    auto* self = reinterpret_cast<Recorder*>(instance);
    auto* header = reinterpret_cast<WAVEHDR*>(p1);
    bool again = false;
    {
      std::lock_guard<std::mutex> lock(self->mutex);
      self->messages.emplace_back(message, header);
      again = message == WOM_DONE && self->requeue > 0;
      if (again) --self->requeue;
    }
    if (again) {
      EXPECT_EQ(waveOutUnprepareHeader(device, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
      EXPECT_EQ(waveOutPrepareHeader(device, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
      EXPECT_EQ(waveOutWrite(device, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
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

TEST(WaveOutDeviceTest, CapsAndOpenRefusalsUseTheRealRecordAndCodes) {
  {
    ScopedAudioEnv env("fast,devices=2,formats=0xF0,channels=1");
    EXPECT_EQ(waveOutGetNumDevs(), 2u);
    WAVEOUTCAPS caps{};
    ASSERT_EQ(waveOutGetDevCaps(1, &caps, sizeof(caps)), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.dwFormats, 0xF0u);
    EXPECT_EQ(caps.wChannels, 1);
    EXPECT_EQ(waveOutGetDevCaps(2, &caps, sizeof(caps)), MMSYSERR_BADDEVICEID);
  }
  WAVEFORMATEX good = Pcm(2, 22050, 16), badAlign = good, badBits = Pcm(1, 8000, 12);
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
      {"alsa:no_such_pcm_device", WAVE_MAPPER, &good, MMSYSERR_NODRIVER},
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
  EXPECT_EQ(waveOutClose(device), MMSYSERR_INVALHANDLE);  // stale handle
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
  EXPECT_EQ(ha.dwFlags, WHDR_DONE | WHDR_PREPARED);
  const MMTIME samples = Position(device, TIME_SAMPLES);
  EXPECT_EQ(samples.wType, TIME_SAMPLES);
  EXPECT_EQ(samples.u.sample, 3u);
  const MMTIME smpte = Position(device, TIME_SMPTE);  // not kept: answered in bytes
  EXPECT_EQ(smpte.wType, TIME_BYTES);
  EXPECT_EQ(smpte.u.cb, 12u);

  ASSERT_EQ(waveOutPause(device), MMSYSERR_NOERROR);
  ASSERT_EQ(Queue(device, &ha, a), MMSYSERR_NOERROR);
  ASSERT_EQ(Queue(device, &hb, b), MMSYSERR_NOERROR);
  EXPECT_EQ(ha.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
  EXPECT_EQ(waveOutWrite(device, &ha, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutUnprepareHeader(device, &ha, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutClose(device), WAVERR_STILLPLAYING);
  ASSERT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
  EXPECT_EQ(recorder.messages.size(), 5u);  // already delivered
  EXPECT_EQ(hb.dwFlags, WHDR_DONE | WHDR_PREPARED);
  EXPECT_EQ(Position(device, TIME_BYTES).u.cb, 0u);
  ASSERT_EQ(Queue(device, &hb, b), MMSYSERR_NOERROR);  // no longer paused: plays
  ASSERT_TRUE(recorder.WaitFor(WOM_DONE, 5));
  ASSERT_EQ(waveOutClose(device), MMSYSERR_NOERROR);

  const std::vector<std::pair<uint32_t, WAVEHDR*>> messages = {
      {WOM_OPEN, nullptr}, {WOM_DONE, &ha}, {WOM_DONE, &hb}, {WOM_DONE, &ha},
      {WOM_DONE, &hb},     {WOM_DONE, &hb}, {WOM_CLOSE, nullptr}};
  EXPECT_EQ(recorder.messages, messages);
  // Left s*32768/65535 toward zero: 1 -> 0, 32767 -> 16383, -1 -> 0.
  const std::vector<uint8_t> expected = {
      'R', 'I',  'F', 'F', 52,   0,    0,    0,    'W', 'A', 'V',  'E',  'f',  'm',
      't', ' ',  16,  0,   0,    0,    1,    0,    2,   0,   0x40, 0x1F, 0,    0,
      0,   0x7D, 0,   0,   4,    0,    16,   0,    'd', 'a', 't',  'a',  16,   0,
      0,   0,    0,   0,   0x00, 0x80, 0xFF, 0x3F, 0,   0,   0,    0,    0x10, 0,
      0,   0,    0x10, 0};
  EXPECT_EQ(ReadAudioFile(path), expected);
  std::remove(path.c_str());
}

// Every sample times level / 65535, truncated toward zero; 8-bit samples are
// unsigned around 128. (The WAV test above covers 16-bit stereo.)
TEST(WaveOutDeviceTest, VolumeScalingIsExact) {
  EXPECT_EQ(ScaleSample16(-100, 65534), -99);
  EXPECT_EQ(ScaleSample8(129, 65534), 128);
  EXPECT_EQ(ScaleSample8(127, 65534), 128);
  // Stereo 8-bit: left at 0, right at half; mono uses the left level only.
  uint8_t pcm[4] = {255, 255, 0, 0}, mono[2] = {0, 255};
  ApplyVolume(pcm, 4, 8, 2, 0x80000000u);
  ApplyVolume(mono, 2, 8, 1, 0xFFFF0000u);
  EXPECT_EQ(std::vector<uint8_t>(pcm, pcm + 4), (std::vector<uint8_t>{128, 191, 128, 64}));
  EXPECT_EQ(std::vector<uint8_t>(mono, mono + 2), (std::vector<uint8_t>{128, 128}));
}

// A device procedure that keeps queueing while the host resets and closes:
// neither call may deadlock, and nothing arrives after WOM_CLOSE.
TEST(WaveOutDeviceTest, HostResetAndCloseWhileTheCallbackRequeues) {
  ScopedAudioEnv env("fast");
  for (int round = 0; round < 20; ++round) {
    Recorder recorder;
    recorder.requeue = 1 << 30;
    HWAVEOUT device = OpenDevice(Pcm(2, 44100, 16), &recorder);
    ASSERT_NE(device, nullptr);
    std::vector<uint8_t> data(256, 0);
    WAVEHDR header;
    ASSERT_EQ(Queue(device, &header, data), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(std::chrono::microseconds(200 * (round % 4)));
    {
      std::lock_guard<std::mutex> lock(recorder.mutex);
      recorder.requeue = 0;
    }
    ASSERT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    EXPECT_EQ(recorder.messages.back().first, WOM_CLOSE);
  }
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

TEST(WaveOutDeviceTest, AlsaFilePluginReceivesTheQueuedBytes) {
  const std::string path = AudioTempPath("alsa.raw");
  ScopedAudioEnv env("alsa:file:'" + path + "'");
  Recorder recorder;
  HWAVEOUT device = OpenDevice(Pcm(2, 22050, 16), &recorder);
  if (device == nullptr) GTEST_SKIP() << "ALSA cannot open its file plugin here";
  ASSERT_EQ(waveOutSetVolume(device, 0x7FFFFFFFu), MMSYSERR_NOERROR);  // right full, left half
  std::vector<std::vector<uint8_t>> blocks;
  std::vector<uint8_t> expected;
  uint32_t seed = 12345;
  for (int b = 0; b < 3; ++b) {
    blocks.emplace_back(4 * (3000 + 517 * b));  // not a whole number of periods
    for (uint8_t& byte : blocks[b]) {
      byte = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    }
    expected.insert(expected.end(), blocks[b].begin(), blocks[b].end());
  }
  ApplyVolume(expected.data(), expected.size(), 16, 2, 0x7FFFFFFFu);
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
