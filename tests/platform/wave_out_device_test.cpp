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
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = bits;
  f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
  f.nAvgBytesPerSec = f.nBlockAlign * rate;
  return f;
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
      if (message == WOM_DONE && self->requeue > 0) {
        --self->requeue;
        again = true;
      }
    }
    if (again) {
      EXPECT_EQ(waveOutUnprepareHeader(device, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
      EXPECT_EQ(waveOutPrepareHeader(device, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
      EXPECT_EQ(waveOutWrite(device, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    self->changed.notify_all();
  }
  size_t Count(uint32_t message) {  // mutex held
    return static_cast<size_t>(std::count_if(messages.begin(), messages.end(),
                                             [&](auto& m) { return m.first == message; }));
  }
  bool WaitFor(uint32_t message, size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10),
                            [&] { return Count(message) >= count; });
  }
};

HWAVEOUT OpenDevice(const WAVEFORMATEX& format, Recorder* recorder) {
  HWAVEOUT device = nullptr;
  EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<uintptr_t>(&Recorder::Proc),
                        reinterpret_cast<uintptr_t>(recorder), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  return device;
}

MMRESULT Queue(HWAVEOUT device, WAVEHDR* header, std::vector<uint8_t>& data) {
  *header = WAVEHDR{};
  header->lpData = reinterpret_cast<char*>(data.data());
  header->dwBufferLength = static_cast<uint32_t>(data.size());
  MMRESULT r = waveOutPrepareHeader(device, header, sizeof(WAVEHDR));
  return r != MMSYSERR_NOERROR ? r : waveOutWrite(device, header, sizeof(WAVEHDR));
}

TEST(WaveOutDeviceTest, CapsAndOpenRefusalsUseTheRealRecordAndCodes) {
  {
    ScopedAudioEnv env("fast,devices=2,formats=0xF0,channels=1");
    EXPECT_EQ(waveOutGetNumDevs(), 2u);
    WAVEOUTCAPS caps{};
    ASSERT_EQ(waveOutGetDevCaps(1, &caps, sizeof(caps)), MMSYSERR_NOERROR);
    EXPECT_EQ(std::u16string(caps.szPname), u"Fast audio device");
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

TEST(WaveOutDeviceTest, WavRecordsBlocksInOrderAfterVolume) {
  std::string path = AudioTempPath("order.wav");
  ScopedAudioEnv env("wav:" + path);
  Recorder recorder;
  HWAVEOUT device = OpenDevice(Pcm(2, 8000, 16), &recorder);
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(waveOutSetVolume(device, 0xFFFF8000u), MMSYSERR_NOERROR);  // left 32768, right full
  std::vector<uint8_t> a = {0x01, 0x00, 0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00};  // 1, -32768, 32767, 0
  std::vector<uint8_t> b = {0xFF, 0xFF, 0x10, 0x00};                          // -1, 16
  WAVEHDR ha, hb;
  ASSERT_EQ(Queue(device, &ha, a), MMSYSERR_NOERROR);
  ASSERT_EQ(Queue(device, &hb, b), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder.WaitFor(WOM_DONE, 2));
  EXPECT_EQ(ha.dwFlags, WHDR_DONE | WHDR_PREPARED);
  MMTIME time{};
  time.wType = TIME_SAMPLES;
  ASSERT_EQ(waveOutGetPosition(device, &time, sizeof(time)), MMSYSERR_NOERROR);
  EXPECT_EQ(time.wType, TIME_SAMPLES);
  EXPECT_EQ(time.u.sample, 3u);
  time.wType = TIME_SMPTE;  // not kept: answered in bytes
  ASSERT_EQ(waveOutGetPosition(device, &time, sizeof(time)), MMSYSERR_NOERROR);
  EXPECT_EQ(time.wType, TIME_BYTES);
  EXPECT_EQ(time.u.cb, 12u);
  ASSERT_EQ(waveOutClose(device), MMSYSERR_NOERROR);

  const std::vector<std::pair<uint32_t, WAVEHDR*>> messages = {
      {WOM_OPEN, nullptr}, {WOM_DONE, &ha}, {WOM_DONE, &hb}, {WOM_CLOSE, nullptr}};
  EXPECT_EQ(recorder.messages, messages);
  // Left s*32768/65535 toward zero: 1 -> 0, 32767 -> 16383, -1 -> 0.
  const std::vector<uint8_t> expected = {
      'R', 'I',  'F', 'F', 48,   0,    0,    0,    'W', 'A', 'V',  'E',  'f',  'm',
      't', ' ',  16,  0,   0,    0,    1,    0,    2,   0,   0x40, 0x1F, 0,    0,
      0,   0x7D, 0,   0,   4,    0,    16,   0,    'd', 'a', 't',  'a',  12,   0,
      0,   0,    0,   0,   0x00, 0x80, 0xFF, 0x3F, 0,   0,   0,    0,    0x10, 0};
  EXPECT_EQ(ReadAudioFile(path), expected);
  std::remove(path.c_str());
}

TEST(WaveOutDeviceTest, VolumeScalingIsExact) {
  const struct {
    int32_t sample;
    uint32_t level;
    int32_t expected16;
  } cases[] = {
      {32767, 65535, 32767}, {-32768, 65535, -32768},
      {32767, 32767, 16383}, {-32768, 32767, -16383},
      {-3, 32768, -1},       {3, 21845, 1},
      {-32768, 1, 0},        {100, 0, 0},
      {-100, 65534, -99},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScaleSample16(c.sample, c.level), c.expected16) << c.sample << " " << c.level;
  }
  // 8-bit samples are unsigned around 128.
  EXPECT_EQ(ScaleSample8(255, 32767), 128 + 63);
  EXPECT_EQ(ScaleSample8(0, 32767), 128 - 63);
  EXPECT_EQ(ScaleSample8(1, 65535), 1);
  EXPECT_EQ(ScaleSample8(129, 65534), 128);  // 1*65534/65535 truncates to 0
  EXPECT_EQ(ScaleSample8(127, 65534), 128);
  EXPECT_EQ(ScaleSample8(200, 0), 128);

  // Stereo 8-bit: left at 0, right at half; mono uses the left level only.
  uint8_t pcm[4] = {255, 255, 0, 0}, mono[2] = {0, 255};
  ApplyVolume(pcm, 4, 8, 2, 0x80000000u);
  ApplyVolume(mono, 2, 8, 1, 0xFFFF0000u);
  EXPECT_EQ(std::vector<uint8_t>(pcm, pcm + 4), (std::vector<uint8_t>{128, 191, 128, 64}));
  EXPECT_EQ(std::vector<uint8_t>(mono, mono + 2), (std::vector<uint8_t>{128, 128}));
}

TEST(WaveOutDeviceTest, ResetReturnsQueuedBlocksBeforeItReturns) {
  std::string path = AudioTempPath("reset.wav");
  ScopedAudioEnv env("wav:" + path);
  Recorder recorder;
  HWAVEOUT device = OpenDevice(Pcm(1, 8000, 8), &recorder);
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(waveOutPause(device), MMSYSERR_NOERROR);
  std::vector<uint8_t> data(100, 7);
  WAVEHDR headers[3] = {};
  EXPECT_EQ(waveOutWrite(device, &headers[0], sizeof(WAVEHDR)), WAVERR_UNPREPARED);
  EXPECT_EQ(waveOutPrepareHeader(device, &headers[0], 16), MMSYSERR_INVALPARAM);
  for (WAVEHDR& h : headers) ASSERT_EQ(Queue(device, &h, data), MMSYSERR_NOERROR);
  EXPECT_EQ(headers[0].dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
  EXPECT_EQ(waveOutWrite(device, &headers[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutUnprepareHeader(device, &headers[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutClose(device), WAVERR_STILLPLAYING);
  ASSERT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
  ASSERT_EQ(recorder.messages.size(), 4u);  // already delivered, in queue order
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(recorder.messages[i + 1].second, &headers[i]);
    EXPECT_EQ(headers[i].dwFlags, WHDR_DONE | WHDR_PREPARED);
  }
  MMTIME time{};
  time.wType = TIME_BYTES;
  ASSERT_EQ(waveOutGetPosition(device, &time, sizeof(time)), MMSYSERR_NOERROR);
  EXPECT_EQ(time.u.cb, 0u);
  // The reset also ended the pause: the next block plays.
  ASSERT_EQ(Queue(device, &headers[0], data), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder.WaitFor(WOM_DONE, 4));
  ASSERT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
  EXPECT_EQ(ReadAudioFile(path).size(), 44u + 100u);
  std::remove(path.c_str());
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
  MMTIME time{};
  time.wType = TIME_MS;
  ASSERT_EQ(waveOutGetPosition(device, &time, sizeof(time)), MMSYSERR_NOERROR);
  EXPECT_EQ(time.u.ms, 20u);
  ASSERT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace pocketmidi
