// The ALSA device, checked without a sound card: alsa-lib's own "file" PCM
// (with its "null" slave) writes the raw stream it receives to a file, which
// must hold exactly what was queued, after volume.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/pcm_volume.h"
#include "platform/wave_out.h"
#include "support/audio_env.h"

namespace pocketmidi {
namespace {

struct DoneCounter {
  std::mutex mutex;
  std::condition_variable changed;
  int done = 0;
  static void Proc(HWAVEOUT, uint32_t message, uintptr_t instance, uintptr_t, uintptr_t) {
    auto* self = reinterpret_cast<DoneCounter*>(instance);
    std::lock_guard<std::mutex> lock(self->mutex);
    if (message == WOM_DONE) ++self->done;
    self->changed.notify_all();
  }
};

TEST(WaveOutAlsaTest, FilePluginReceivesTheQueuedBytes) {
  std::string path = AudioTempPath("alsa.raw");
  ScopedAudioEnv env("alsa:file:'" + path + "'");
  WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
  DoneCounter counter;
  HWAVEOUT device = nullptr;
  MMRESULT opened =
      waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<uintptr_t>(&DoneCounter::Proc),
                  reinterpret_cast<uintptr_t>(&counter), CALLBACK_FUNCTION);
  if (opened != MMSYSERR_NOERROR) GTEST_SKIP() << "ALSA cannot open its file plugin here";

  ASSERT_EQ(waveOutSetVolume(device, 0x7FFFFFFFu), MMSYSERR_NOERROR);  // right full, left half
  std::vector<std::vector<uint8_t>> blocks;
  std::vector<WAVEHDR> headers(3);
  std::vector<uint8_t> expected;
  uint32_t seed = 12345;
  for (size_t b = 0; b < headers.size(); ++b) {
    blocks.emplace_back(4 * (3000 + 517 * b));  // not a whole number of periods
    for (uint8_t& byte : blocks[b])
      byte = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    expected.insert(expected.end(), blocks[b].begin(), blocks[b].end());
  }
  ApplyVolume(expected.data(), expected.size(), 16, 2, 0x7FFFFFFFu);
  for (size_t b = 0; b < headers.size(); ++b) {
    headers[b] = WAVEHDR{reinterpret_cast<char*>(blocks[b].data()),
                         static_cast<uint32_t>(blocks[b].size()), 0, 0, 0, 0};
    ASSERT_EQ(waveOutPrepareHeader(device, &headers[b], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(device, &headers[b], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
  }
  {
    std::unique_lock<std::mutex> lock(counter.mutex);
    ASSERT_TRUE(counter.changed.wait_for(lock, std::chrono::seconds(10),
                                         [&] { return counter.done == 3; }));
  }
  MMTIME time{};
  time.wType = TIME_BYTES;
  ASSERT_EQ(waveOutGetPosition(device, &time, sizeof(time)), MMSYSERR_NOERROR);
  EXPECT_LE(time.u.cb, expected.size());
  ASSERT_EQ(waveOutClose(device), MMSYSERR_NOERROR);

  EXPECT_TRUE(ReadAudioFile(path) == expected);
  std::remove(path.c_str());
}

TEST(WaveOutAlsaTest, UnknownAlsaDeviceIsNoDriver) {
  ScopedAudioEnv env("alsa:no_such_pcm_device");
  WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
  HWAVEOUT device = nullptr;
  EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);
  EXPECT_EQ(device, nullptr);
}

}  // namespace
}  // namespace pocketmidi
