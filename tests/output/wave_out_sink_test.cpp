#include "output/wave_out_sink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/wav_file_writer.h"
#include "support/audio_env.h"

namespace pocketmidi {
namespace {

struct Events {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<SinkEvent> seen;
  // When set, every completion queues the next of `blocks` (as the player does).
  WaveOutSink* pump = nullptr;
  std::vector<std::vector<uint8_t>>* blocks = nullptr;
  size_t nextBlock = 0;

  static void Function(void* user, SinkEvent event) {
    auto* self = static_cast<Events*>(user);
    std::lock_guard<std::mutex> lock(self->mutex);
    self->seen.push_back(event);
    if (event == kSinkBlockDone && self->pump != nullptr &&
        self->nextBlock < self->blocks->size()) {
      std::vector<uint8_t>& block = (*self->blocks)[self->nextBlock++];
      EXPECT_EQ(self->pump->Write(block.data(), static_cast<int32_t>(block.size())), kSinkOk);
    }
    self->changed.notify_all();
  }
  size_t Count(SinkEvent event) {  // mutex held
    return static_cast<size_t>(std::count(seen.begin(), seen.end(), event));
  }
  bool WaitFor(SinkEvent event, size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] { return Count(event) >= count; });
  }
};

const AudioFormat kStereo16{2, 2, 22050, 16};

TEST(WaveOutSinkTest, OpensTheDeviceWithTheDerivedFormat) {
  const struct {
    const char* options;
    AudioFormat format;
    WAVEFORMATEX expected;
  } cases[] = {
      {"", {2, 2, 22050, 16}, {1, 2, 22050, 88200, 4, 16, 0}},
      {"", {1, 1, 8000, 8}, {1, 1, 8000, 8000, 1, 8, 0}},
      {",formats=0xF0", {2, 1, 0, 16}, {1, 1, 22050, 44100, 2, 16, 0}},  // 22.05 kHz only
      {",formats=0x800", {2, 1, 0, 16}, {1, 1, 44100, 88200, 2, 16, 0}},
      {",formats=0x1000", {2, 1, 0, 16}, {1, 1, 8000, 16000, 2, 16, 0}},
      {",channels=1", {2, 0, 11025, 0}, {1, 1, 11025, 11025, 1, 8, 0}},
  };
  std::string path = AudioTempPath("sinkformat.wav");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    {
      ScopedAudioEnv env("wav:" + path + c.options);
      Events events;
      WaveOutSink sink;
      ASSERT_EQ(sink.Open(&c.format, &Events::Function, &events), 1);
      ASSERT_EQ(sink.Close(), kSinkOk);
      EXPECT_EQ(events.seen, (std::vector<SinkEvent>{kSinkOpened, kSinkClosed}));
    }
    std::vector<uint8_t> expected(kWavHeaderBytes);
    BuildWavHeader(c.expected, 0, expected.data());
    EXPECT_EQ(ReadAudioFile(path), expected);
  }
  std::remove(path.c_str());
}

TEST(WaveOutSinkTest, OpenFailsWithoutAUsableDevice) {
  const char* settings[] = {"fast,devices=0", "fast,caps=fail", "fast,open=nohandle", "bogus"};
  for (const char* setting : settings) {
    ScopedAudioEnv env(setting);
    WaveOutSink sink;
    EXPECT_EQ(sink.Open(&kStereo16, &Events::Function, nullptr), 0) << setting;
    EXPECT_EQ(sink.GetHandle(), nullptr);
    EXPECT_EQ(sink.Write("x", 1), kSinkInvalidHandle);
    EXPECT_EQ(sink.Close(), kSinkInvalidHandle);
  }
  ScopedAudioEnv env("fast");
  WaveOutSink sink;
  AudioFormat surround{2, 6, 22050, 16};  // neither mono nor stereo: refused
  EXPECT_EQ(sink.Open(&surround, &Events::Function, nullptr), 0);
  AudioFormat adpcm{0x11, 1, 22050, 4};  // passed on as tag 0x11, which the device refuses
  EXPECT_EQ(sink.Open(&adpcm, &Events::Function, nullptr), 0);
}

TEST(WaveOutSinkTest, VolumeIsOneLevelOnBothChannels) {
  ScopedAudioEnv env("fast");
  Events events;
  WaveOutSink sink;
  ASSERT_EQ(sink.Open(&kStereo16, &Events::Function, &events), 1);
  const struct {
    int32_t percent;
    int32_t result;
    uint32_t device;
    int32_t readBack;
  } cases[] = {{50, 0, 0x7FFF7FFFu, 49},
               {100, 0, 0xFFFFFFFFu, 100},
               {0, 0, 0, 0},
               {1, 0, 0x028F028Fu, 0},
               {101, -5, 0, 0},
               {-1, -5, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.percent);
    ASSERT_EQ(sink.SetVolume(0), kSinkOk);
    EXPECT_EQ(sink.SetVolume(c.percent), c.result);
    uint32_t level = 1;
    ASSERT_EQ(waveOutGetVolume(sink.GetHandle(), &level), MMSYSERR_NOERROR);
    EXPECT_EQ(level, c.device);
    EXPECT_EQ(sink.GetVolume(), c.readBack);
  }
  ASSERT_EQ(sink.Close(), kSinkOk);
}

// Every platform failure reaches the client as its sink code.
TEST(WaveOutSinkTest, DeviceFailuresBecomeSinkCodes) {
  const std::pair<MMRESULT, int32_t> codes[] = {
      {MMSYSERR_INVALHANDLE, -1}, {MMSYSERR_NOMEM, -3},      {MMSYSERR_NODRIVER, -4},
      {MMSYSERR_ERROR, -5},       {MMSYSERR_INVALPARAM, -5}, {WAVERR_STILLPLAYING, -5}};
  const char* calls[] = {"prepare", "write", "pause", "restart", "reset", "volume"};
  std::vector<uint8_t> block(64, 0);
  for (const char* call : calls) {
    for (const auto& code : codes) {
      std::string setting = std::string("fast,") + call + "=" + std::to_string(code.first);
      SCOPED_TRACE(setting);
      ScopedAudioEnv env(setting);
      Events events;
      WaveOutSink sink;
      ASSERT_EQ(sink.Open(&kStereo16, &Events::Function, &events), 1);
      std::string name = call;
      int32_t result = name == "pause"     ? sink.Pause()
                       : name == "restart" ? sink.Restart()
                       : name == "reset"   ? sink.Reset()
                       : name == "volume"  ? sink.SetVolume(30)
                                           : sink.Write(block.data(), 64);
      EXPECT_EQ(sink.nextHeader(), 0u);  // a failed write does not move on
      if (name == "volume") {
        EXPECT_EQ(sink.GetVolume(), code.second);
      }
      EXPECT_EQ(result, code.second);
      ASSERT_EQ(sink.Close(), kSinkOk);
    }
  }
}

TEST(WaveOutSinkTest, PositionNeedsMillisecondsFromTheDevice) {
  std::vector<uint8_t> block(4410, 0);  // 50 ms at 22050 Hz 16-bit stereo
  for (std::string setting : {"fast", "fast,position=bytes"}) {
    ScopedAudioEnv env(setting);
    Events events;
    WaveOutSink sink;
    ASSERT_EQ(sink.Open(&kStereo16, &Events::Function, &events), 1);
    ASSERT_EQ(sink.Write(block.data(), 4410), kSinkOk);
    ASSERT_TRUE(events.WaitFor(kSinkBlockDone, 1));
    EXPECT_EQ(sink.GetPosition(), setting == "fast" ? 50 : 0) << setting;
    ASSERT_EQ(sink.Close(), kSinkOk);
  }
}

TEST(WaveOutSinkTest, HeadersAlternateAndResetSilencesCompletions) {
  ScopedAudioEnv env("fast");
  Events events;
  WaveOutSink sink;
  ASSERT_EQ(sink.Open(&kStereo16, &Events::Function, &events), 1);
  std::vector<uint8_t> a(400, 1), b(400, 2), c(400, 3);
  ASSERT_EQ(sink.Pause(), kSinkOk);
  ASSERT_EQ(sink.Write(a.data(), 400), kSinkOk);
  ASSERT_EQ(sink.Write(b.data(), 400), kSinkOk);
  EXPECT_EQ(sink.header(0).lpData, reinterpret_cast<char*>(a.data()));
  EXPECT_EQ(sink.header(1).lpData, reinterpret_cast<char*>(b.data()));
  EXPECT_EQ(sink.nextHeader(), 0u);

  ASSERT_EQ(sink.Reset(), kSinkOk);
  EXPECT_EQ(events.seen.size(), 1u);  // cancelled blocks are not reported
  EXPECT_EQ(sink.header(0).dwFlags, WHDR_DONE | WHDR_PREPARED);  // and stay prepared

  ASSERT_EQ(sink.Write(c.data(), 400), kSinkOk);  // reported again from here on
  EXPECT_FALSE(sink.discardingCompletions());
  ASSERT_TRUE(events.WaitFor(kSinkBlockDone, 1));
  EXPECT_EQ(sink.header(0).lpData, reinterpret_cast<char*>(c.data()));
  EXPECT_EQ(sink.header(0).dwFlags, WHDR_DONE);  // unprepared before the report
  EXPECT_EQ(sink.nextHeader(), 1u);
  ASSERT_EQ(sink.Close(), kSinkOk);
}

TEST(WaveOutSinkTest, CloseResetsADeviceThatIsStillPlaying) {
  std::vector<uint8_t> block(400, 0);
  {
    ScopedAudioEnv env("fast");
    Events events;
    WaveOutSink sink;
    ASSERT_EQ(sink.Open(&kStereo16, &Events::Function, &events), 1);
    ASSERT_EQ(sink.Pause(), kSinkOk);
    ASSERT_EQ(sink.Write(block.data(), 400), kSinkOk);
    EXPECT_EQ(waveOutClose(sink.GetHandle()), WAVERR_STILLPLAYING);
    EXPECT_EQ(sink.Close(), kSinkOk);  // reset, then closed
    EXPECT_EQ(events.seen, (std::vector<SinkEvent>{kSinkOpened, kSinkClosed}));
  }
  // The first close answers "still playing": the sink resets and closes again,
  // and when that reset fails, answers -5 whatever the reset's code.
  for (const char* setting : {"fast,close=stillplaying", "fast,close=stillplaying,reset=7"}) {
    ScopedAudioEnv env(setting);
    WaveOutSink sink;
    ASSERT_EQ(sink.Open(&kStereo16, nullptr, nullptr), 1);
    bool resetFails = std::string(setting).find("reset") != std::string::npos;
    EXPECT_EQ(sink.Close(), resetFails ? kSinkFailed : kSinkOk);
    if (resetFails) {
      EXPECT_EQ(waveOutClose(sink.GetHandle()), MMSYSERR_NOERROR);
    }
  }
}

// The player's pump: two blocks queued, each completion queues the next from
// inside the event function; the device plays them all, in order.
TEST(WaveOutSinkTest, BlocksQueuedFromTheEventFunctionPlayInOrder) {
  std::string path = AudioTempPath("pump.wav");
  std::vector<std::vector<uint8_t>> blocks;
  std::vector<uint8_t> expected;
  for (int i = 0; i < 40; ++i) {
    blocks.emplace_back(4 * (10 + i), static_cast<uint8_t>(i));
    expected.insert(expected.end(), blocks.back().begin(), blocks.back().end());
  }
  {
    ScopedAudioEnv env("wav:" + path);
    Events events;
    WaveOutSink sink;
    events.pump = &sink;
    events.blocks = &blocks;
    events.nextBlock = 2;
    ASSERT_EQ(sink.Open(&kStereo16, &Events::Function, &events), 1);
    // Paused while both are queued: the fast device could otherwise finish the
    // first block, and the event function write, before the second Write here.
    ASSERT_EQ(sink.Pause(), kSinkOk);
    ASSERT_EQ(sink.Write(blocks[0].data(), static_cast<int32_t>(blocks[0].size())), kSinkOk);
    ASSERT_EQ(sink.Write(blocks[1].data(), static_cast<int32_t>(blocks[1].size())), kSinkOk);
    ASSERT_EQ(sink.Restart(), kSinkOk);
    ASSERT_TRUE(events.WaitFor(kSinkBlockDone, 40));
    ASSERT_EQ(sink.Close(), kSinkOk);
  }
  std::vector<uint8_t> wav = ReadAudioFile(path);
  ASSERT_EQ(wav.size(), 44 + expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), wav.begin() + 44));
  std::remove(path.c_str());
}

}  // namespace
}  // namespace pocketmidi
