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

const AudioFormat kStereo16{2, 2, 22050, 16};

// A sink that records the events it reports.
struct TestSink : WaveOutSink {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<SinkEvent> seen;

  bool Open(const AudioFormat& format = kStereo16) {
    return WaveOutSink::Open(&format, &Function, this) == 1;
  }
  using WaveOutSink::Write;
  int32_t Write(std::vector<uint8_t>& block) {
    return Write(block.data(), static_cast<int32_t>(block.size()));
  }
  static void Function(void* user, SinkEvent event) {
    auto* self = static_cast<TestSink*>(user);
    std::lock_guard<std::mutex> lock(self->mutex);
    self->seen.push_back(event);
    self->changed.notify_all();
  }
  bool WaitFor(SinkEvent event, size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] {
      return static_cast<size_t>(std::count(seen.begin(), seen.end(), event)) >= count;
    });
  }
};

// Zeros in the caller's format are filled from the device's capabilities: its
// channels, 8 bits, and the lowest standard rate it reports (else 8 kHz).
// Read back from the header the WAV device writes.
TEST(WaveOutSinkTest, OpensTheDeviceWithTheDerivedFormat) {
  const struct {
    const char* options;
    AudioFormat format;
    WAVEFORMATEX expected;
  } cases[] = {
      {",channels=1", {2, 0, 0, 0}, {1, 1, 11025, 11025, 1, 8, 0}},
      {",formats=0xF0", {2, 2, 0, 16}, {1, 2, 22050, 88200, 4, 16, 0}},
      {",formats=0x800", {1, 1, 0, 16}, {1, 1, 44100, 88200, 2, 16, 0}},
      {",formats=0x1000", {2, 1, 0, 16}, {1, 1, 8000, 16000, 2, 16, 0}},
  };
  std::string path = AudioTempPath("sinkformat.wav");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    {
      ScopedAudioEnv env("wav:" + path + c.options);
      TestSink sink;
      ASSERT_TRUE(sink.Open(c.format));
      ASSERT_EQ(sink.Close(), kSinkOk);
    }
    std::vector<uint8_t> expected(kWavHeaderBytes);
    BuildWavHeader(c.expected, 0, expected.data());
    EXPECT_EQ(ReadAudioFile(path), expected);
  }
  std::remove(path.c_str());
  ScopedAudioEnv env("fast");
  TestSink sink;
  EXPECT_FALSE(sink.Open({2, 6, 22050, 16}));    // neither mono nor stereo: refused
  EXPECT_FALSE(sink.Open({0x11, 1, 22050, 4}));  // passed on as tag 0x11, which the device refuses
}

// Headers are used in turn. A refused write changes nothing: the same header
// is used next, and completions cancelled by a reset stay unreported.
TEST(WaveOutSinkTest, HeadersAlternateAndRefusedWritesChangeNothing) {
  const std::pair<const char*, int32_t> cases[] = {
      {"fast,prepare=7", kSinkNoMemory}, {"fast,write=6", kSinkNoDriver}, {"fast", kSinkFailed}};
  for (const auto& [setting, code] : cases) {
    SCOPED_TRACE(setting);
    ScopedAudioEnv env(setting);
    TestSink sink;
    ASSERT_TRUE(sink.Open());
    ASSERT_EQ(sink.Reset(), kSinkOk);
    std::vector<uint8_t> block(64, 0);
    // "fast" takes every write: its refusal is a negative length.
    EXPECT_EQ(sink.Write(block.data(), code == kSinkFailed ? -1 : 64), code);
    EXPECT_EQ(sink.nextHeader(), 0u);
    EXPECT_TRUE(sink.discardingCompletions());
    ASSERT_EQ(sink.Close(), kSinkOk);
  }
  ScopedAudioEnv env("fast");
  TestSink sink;
  ASSERT_TRUE(sink.Open());
  std::vector<uint8_t> a(400, 1), b(400, 2), c(400, 3);
  ASSERT_EQ(sink.Pause(), kSinkOk);
  ASSERT_EQ(sink.Write(a), kSinkOk);
  ASSERT_EQ(sink.Write(b), kSinkOk);
  EXPECT_EQ(sink.header(1).lpData, reinterpret_cast<char*>(b.data()));
  ASSERT_EQ(sink.Reset(), kSinkOk);
  EXPECT_EQ(sink.seen.size(), 1u);  // cancelled blocks are not reported
  EXPECT_EQ(sink.header(0).dwFlags, WHDR_DONE | WHDR_PREPARED);  // and stay prepared
  ASSERT_EQ(sink.Write(c), kSinkOk);                             // reported again from here on
  ASSERT_TRUE(sink.WaitFor(kSinkBlockDone, 1));
  EXPECT_EQ(sink.header(0).lpData, reinterpret_cast<char*>(c.data()));
  EXPECT_EQ(sink.header(0).dwFlags, WHDR_DONE);  // unprepared before the report
  EXPECT_EQ(sink.nextHeader(), 1u);
  ASSERT_EQ(sink.Close(), kSinkOk);
}

TEST(WaveOutSinkTest, PositionNeedsMillisecondsFromTheDevice) {
  std::vector<uint8_t> block(4410, 0);  // 50 ms at 22050 Hz 16-bit stereo
  for (std::string setting : {"fast", "fast,position=bytes"}) {
    ScopedAudioEnv env(setting);
    TestSink sink;
    ASSERT_TRUE(sink.Open());
    ASSERT_EQ(sink.Write(block), kSinkOk);
    ASSERT_TRUE(sink.WaitFor(kSinkBlockDone, 1));
    EXPECT_EQ(sink.GetPosition(), setting == "fast" ? 50 : 0) << setting;
    ASSERT_EQ(sink.Close(), kSinkOk);
  }
}

// A device that answers "still playing" to the first close is reset and
// closed again; when that reset fails, Close answers -5 whatever its code,
// and the device stays open.
TEST(WaveOutSinkTest, CloseResetsADeviceThatIsStillPlaying) {
  for (const std::string setting : {"fast,close=stillplaying", "fast,close=stillplaying,reset=7"}) {
    SCOPED_TRACE(setting);
    ScopedAudioEnv env(setting);
    TestSink sink;
    ASSERT_TRUE(sink.Open());
    const bool resetFails = setting.find("reset") != std::string::npos;
    EXPECT_EQ(sink.Close(), resetFails ? kSinkFailed : kSinkOk);
    if (resetFails) {
      EXPECT_EQ(waveOutClose(sink.GetHandle()), MMSYSERR_NOERROR);
    } else {
      EXPECT_EQ(sink.seen, (std::vector<SinkEvent>{kSinkOpened, kSinkClosed}));
    }
  }
}

}  // namespace
}  // namespace pocketmidi
