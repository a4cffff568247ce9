#include "platform/audio_backend_setting.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace pocketmidi {
namespace {

struct GoodCase {
  const char* text;
  AudioBackendKind kind;
  const char* argument;
  uint32_t devices;
};

TEST(AudioBackendSettingTest, AcceptsBackendsAndArguments) {
  const GoodCase cases[] = {
      {nullptr, AudioBackendKind::kDefault, "", 1},
      {"", AudioBackendKind::kDefault, "", 1},
      {"alsa", AudioBackendKind::kAlsa, "", 1},
      {"alsa:hw:0,0", AudioBackendKind::kAlsa, "hw:0,0", 1},
      {"alsa:plughw:CARD=PCH,DEV=0,devices=3", AudioBackendKind::kAlsa, "plughw:CARD=PCH,DEV=0", 3},
      {"alsa:file:/tmp/x.raw", AudioBackendKind::kAlsa, "file:/tmp/x.raw", 1},
      {"null", AudioBackendKind::kNull, "", 1},
      {"fast,devices=0", AudioBackendKind::kFast, "", 0},
      {"wav:/tmp/out.wav", AudioBackendKind::kWav, "/tmp/out.wav", 1},
      {"wav:/tmp/a,b.wav,devices=0x10", AudioBackendKind::kWav, "/tmp/a,b.wav", 16},
  };
  for (const GoodCase& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(null)");
    AudioBackendSetting setting;
    ASSERT_TRUE(ParseAudioBackendSetting(c.text, &setting));
    EXPECT_EQ(setting.kind, c.kind);
    EXPECT_EQ(setting.argument, c.argument);
    EXPECT_EQ(setting.deviceCount, c.devices);
  }
}

TEST(AudioBackendSettingTest, ReadsEveryFaultOption) {
  AudioBackendSetting setting;
  ASSERT_TRUE(ParseAudioBackendSetting(
      "fast,caps=fail,open=nohandle,prepare=5,write=7,pause=6,restart=1,reset=11,volume=0x21,"
      "close=stillplaying,position=bytes,formats=0xF0,channels=1",
      &setting));
  EXPECT_TRUE(setting.capsFail && setting.openNoHandle && setting.closeStillPlaying && setting.positionInBytes);
  const uint32_t got[] = {setting.prepareResult, setting.writeResult, setting.pauseResult,
                          setting.restartResult, setting.resetResult, setting.volumeResult,
                          setting.capsFormats,   setting.capsChannels};
  const uint32_t expected[] = {5, 7, 6, 1, 11, 33, 0xF0, 1};
  EXPECT_TRUE(std::equal(got, got + 8, expected));
  ASSERT_TRUE(ParseAudioBackendSetting("null", &setting));  // a new parse starts afresh
  EXPECT_FALSE(setting.capsFail);
  EXPECT_EQ(setting.writeResult, 0u);
  EXPECT_EQ(setting.capsFormats, 0xFFFu);
}

TEST(AudioBackendSettingTest, RefusesMalformedText) {
  const char* bad[] = {
      "pulse",                           // unknown backend
      "ALSA",                            // names are lower case
      "null:x",                          // null takes no argument
      "fast:",                           // nor does fast
      "wav",                             // wav needs a path
      "wav:",                            // an empty one is no path
      "alsa:",                           // empty device name
      "fast,",                           // empty item
      "fast,,devices=1",                 // empty item
      "fast,devices",                    // option without value
      "fast,devices=",                   // empty number
      "fast,devices=-1",                 // no sign
      "fast,devices=4294967296",         // beyond 32 bits
      "fast,devices=0x",                 // hex without digits
      "fast,write=12a",                  // trailing junk
      "fast,caps=ok",                    // caps only knows fail
      "fast,open=handle",                // open only knows nohandle
      "fast,close=1",                    // close only knows stillplaying
      "fast,position=ms",                // position only knows bytes
      "fast,channels=65536",             // not a 16-bit count
      "fast,bogus=1",                    // unknown option, and fast has no argument to extend
      "alsa,hw=1",                       // no argument to extend
      "wav:/tmp/x.wav,devices=1,extra",  // argument items come before options
  };
  for (const char* text : bad) {
    AudioBackendSetting setting;
    EXPECT_FALSE(ParseAudioBackendSetting(text, &setting)) << text;
  }
}

}  // namespace
}  // namespace pocketmidi
