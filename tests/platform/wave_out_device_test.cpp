#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

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

  static void Proc(HWAVEOUT device, uint32_t message, uintptr_t instance, uintptr_t p1,
                   uintptr_t) {
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
  size_t Count(uint32_t message) {
    std::lock_guard<std::mutex> lock(mutex);
    size_t n = 0;
    for (auto& m : messages) n += m.first == message;
    return n;
  }
  bool WaitFor(uint32_t message, size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] {
      size_t n = 0;
      for (auto& m : messages) n += m.first == message;
      return n >= count;
    });
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

TEST(WaveOutDeviceTest, CapsRecordHoldsNameAndConfiguredFormats) {
  ScopedAudioEnv env("fast,devices=2,formats=0xF0,channels=1");
  EXPECT_EQ(waveOutGetNumDevs(), 2u);
  WAVEOUTCAPS caps{};
  ASSERT_EQ(waveOutGetDevCaps(1, &caps, sizeof(caps)), MMSYSERR_NOERROR);
  EXPECT_EQ(std::u16string(caps.szPname), u"Fast audio device");
  EXPECT_EQ(caps.dwFormats, 0xF0u);
  EXPECT_EQ(caps.wChannels, 1);
  EXPECT_EQ(waveOutGetDevCaps(2, &caps, sizeof(caps)), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(waveOutGetDevCaps(0, nullptr, sizeof(caps)), MMSYSERR_INVALPARAM);
}

TEST(WaveOutDeviceTest, OpenRefusalsUseTheRealResultCodes) {
  Recorder recorder;
  HWAVEOUT device = nullptr;
  WAVEFORMATEX good = Pcm(2, 22050, 16);
  WAVEFORMATEX badAlign = good;
  badAlign.nBlockAlign = 3;
  WAVEFORMATEX badBits = Pcm(1, 8000, 12);
  {
    ScopedAudioEnv env("fast");
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &badAlign, 0, 0, 0), WAVERR_BADFORMAT);
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &badBits, 0, 0, 0), WAVERR_BADFORMAT);
    EXPECT_EQ(waveOutOpen(&device, 1, &good, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &good, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
  }
  {
    ScopedAudioEnv env("fast,devices=0");
    EXPECT_EQ(waveOutGetNumDevs(), 0u);
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &good, 0, 0, 0), MMSYSERR_NODRIVER);
  }
  {
    ScopedAudioEnv env("nonsense");
    EXPECT_EQ(waveOutGetNumDevs(), 0u);
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &good, 0, 0, 0), MMSYSERR_NODRIVER);
  }
  ScopedAudioEnv env("wav:/nonexistent-dir/x.wav");
  EXPECT_NE(waveOutOpen(&device, WAVE_MAPPER, &good, 0, 0, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(waveOutClose(nullptr), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveOutReset(reinterpret_cast<HWAVEOUT>(&recorder)), MMSYSERR_INVALHANDLE);
}

TEST(WaveOutDeviceTest, WavRecordsBlocksInOrderAfterVolume) {
  std::string path = AudioTempPath("order.wav");
  ScopedAudioEnv env("wav:" + path);
  Recorder recorder;
  HWAVEOUT device = OpenDevice(Pcm(2, 8000, 16), &recorder);
  ASSERT_NE(device, nullptr);
  // Left 32768 (half), right full: each 16-bit sample s becomes s*level/65535.
  ASSERT_EQ(waveOutSetVolume(device, 0xFFFF8000u), MMSYSERR_NOERROR);
  uint32_t volume = 0;
  ASSERT_EQ(waveOutGetVolume(device, &volume), MMSYSERR_NOERROR);
  EXPECT_EQ(volume, 0xFFFF8000u);
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

  ASSERT_EQ(recorder.messages.size(), 4u);
  EXPECT_EQ(recorder.messages[0].first, WOM_OPEN);
  EXPECT_EQ(recorder.messages[1], std::make_pair(WOM_DONE, &ha));
  EXPECT_EQ(recorder.messages[2], std::make_pair(WOM_DONE, &hb));
  EXPECT_EQ(recorder.messages[3].first, WOM_CLOSE);

  std::vector<uint8_t> wav = ReadAudioFile(path);
  ASSERT_EQ(wav.size(), 44u + 12u);
  const uint8_t header[44] = {'R', 'I', 'F', 'F', 48, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't',
                              ' ', 16, 0, 0, 0, 1, 0, 2, 0, 0x40, 0x1F, 0, 0, 0, 0x7D, 0, 0,
                              4, 0, 16, 0, 'd', 'a', 't', 'a', 12, 0, 0, 0};
  EXPECT_TRUE(std::equal(header, header + 44, wav.begin()));
  // Left at 32768/65535: 1 -> 0, 32767 -> 16383, -1 -> 0 (toward zero); right as is.
  EXPECT_EQ(LittleEndian16(wav, 44), 0u);
  EXPECT_EQ(LittleEndian16(wav, 46), 0x8000u);  // right channel at full level
  EXPECT_EQ(LittleEndian16(wav, 48), 0x3FFFu);  // left: 32767*32768/65535 = 16383
  EXPECT_EQ(LittleEndian16(wav, 50), 0u);
  EXPECT_EQ(LittleEndian16(wav, 52), 0u);       // left: -1*32768/65535 -> 0
  EXPECT_EQ(LittleEndian16(wav, 54), 16u);
  std::remove(path.c_str());
}

TEST(WaveOutDeviceTest, VolumeScalingIsExact) {
  struct Case {
    int32_t sample;
    uint32_t level;
    int32_t expected16;
  };
  const Case cases[] = {
      {32767, 65535, 32767}, {-32768, 65535, -32768}, {32767, 32767, 16383},
      {-32768, 32767, -16383}, {-3, 32768, -1},        {3, 21845, 1},
      {-32768, 1, 0},          {100, 0, 0},            {-100, 65534, -99},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScaleSample16(c.sample, c.level), c.expected16) << c.sample << " " << c.level;
  }
  // 8-bit samples are unsigned around 128.
  EXPECT_EQ(ScaleSample8(255, 32767), 128 + 63);
  EXPECT_EQ(ScaleSample8(0, 32767), 128 - 63);
  EXPECT_EQ(ScaleSample8(1, 65535), 1);
  EXPECT_EQ(ScaleSample8(129, 65534), 128);  // 1*65534/65535 truncates to 0
  EXPECT_EQ(ScaleSample8(127, 65534), 128);
  EXPECT_EQ(ScaleSample8(200, 0), 128);

  // Stereo 8-bit through ApplyVolume: left at 0, right at half.
  uint8_t pcm[4] = {255, 255, 0, 0};
  ApplyVolume(pcm, 4, 8, 2, 0x80000000u);
  const uint8_t expected[4] = {128, 128 + 63, 128, 128 - 64};
  EXPECT_TRUE(std::equal(pcm, pcm + 4, expected));
  // Mono uses the left level only.
  uint8_t mono[2] = {0, 255};
  ApplyVolume(mono, 2, 8, 1, 0xFFFF0000u);
  EXPECT_EQ(mono[0], 128);
  EXPECT_EQ(mono[1], 128);
}

TEST(WaveOutDeviceTest, HeaderRulesFollowTheHandheld) {
  ScopedAudioEnv env("fast");
  Recorder recorder;
  HWAVEOUT device = OpenDevice(Pcm(1, 8000, 8), &recorder);
  ASSERT_NE(device, nullptr);
  std::vector<uint8_t> data(64, 128);
  WAVEHDR header{};
  header.lpData = reinterpret_cast<char*>(data.data());
  header.dwBufferLength = 64;
  EXPECT_EQ(waveOutWrite(device, &header, sizeof(header)), WAVERR_UNPREPARED);
  EXPECT_EQ(waveOutPrepareHeader(device, &header, 16), MMSYSERR_INVALPARAM);
  ASSERT_EQ(waveOutPause(device), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutPrepareHeader(device, &header, sizeof(header)), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutWrite(device, &header, sizeof(header)), MMSYSERR_NOERROR);
  EXPECT_EQ(header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
  EXPECT_EQ(waveOutWrite(device, &header, sizeof(header)), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutUnprepareHeader(device, &header, sizeof(header)), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutClose(device), WAVERR_STILLPLAYING);
  ASSERT_EQ(waveOutRestart(device), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder.WaitFor(WOM_DONE, 1));
  EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(device), MMSYSERR_INVALHANDLE);  // stale handle
}

TEST(WaveOutDeviceTest, ResetReturnsQueuedBlocksBeforeItReturns) {
  std::string path = AudioTempPath("reset.wav");
  ScopedAudioEnv env("wav:" + path);
  Recorder recorder;
  HWAVEOUT device = OpenDevice(Pcm(1, 8000, 8), &recorder);
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(waveOutPause(device), MMSYSERR_NOERROR);
  std::vector<uint8_t> data(100, 7);
  WAVEHDR headers[3];
  for (WAVEHDR& h : headers) ASSERT_EQ(Queue(device, &h, data), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
  ASSERT_EQ(recorder.Count(WOM_DONE), 3u);  // already delivered, in queue order
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

TEST(WaveOutDeviceTest, BlocksQueuedFromInsideDoneKeepPlaying) {
  std::string path = AudioTempPath("requeue.wav");
  ScopedAudioEnv env("wav:" + path);
  Recorder recorder;
  recorder.requeue = 50;
  HWAVEOUT device = OpenDevice(Pcm(1, 8000, 8), &recorder);
  ASSERT_NE(device, nullptr);
  std::vector<uint8_t> a(10, 1), b(6, 2);
  WAVEHDR ha, hb;
  ASSERT_EQ(Queue(device, &ha, a), MMSYSERR_NOERROR);
  ASSERT_EQ(Queue(device, &hb, b), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder.WaitFor(WOM_DONE, 52));
  ASSERT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
  std::vector<uint8_t> wav = ReadAudioFile(path);
  ASSERT_EQ(wav.size(), 44u + 26u * 16u);
  for (size_t i = 0; i < 26 * 16; ++i) ASSERT_EQ(wav[44 + i], (i % 16) < 10 ? 1 : 2) << i;
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
