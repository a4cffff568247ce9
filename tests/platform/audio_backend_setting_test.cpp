#include "platform/audio_backend_setting.h"

#include <gtest/gtest.h>

namespace pocketmidi {
namespace {

TEST(AudioBackendSettingTest, AcceptsBackendsAndArguments) {
  const struct {
    const char* text;
    AudioBackendKind kind;
    const char* argument;
    uint32_t devices;
  } cases[] = {
      {nullptr, AudioBackendKind::kDefault, "", 1},
      // An item that is no option belongs to the device name, which may hold commas.
      {"alsa:plughw:CARD=PCH,DEV=0,devices=3", AudioBackendKind::kAlsa, "plughw:CARD=PCH,DEV=0", 3},
      {"wav:/tmp/a,b.wav,devices=0x1a", AudioBackendKind::kWav, "/tmp/a,b.wav", 26},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(null)");
    AudioBackendSetting setting;
    ASSERT_TRUE(ParseAudioBackendSetting(c.text, &setting));
    EXPECT_EQ(setting.kind, c.kind);
    EXPECT_EQ(setting.argument, c.argument);
    EXPECT_EQ(setting.deviceCount, c.devices);
  }
}

TEST(AudioBackendSettingTest, RefusesMalformedText) {
  const char* bad[] = {
      "pulse",                           // unknown backend
      "null:x",                          // null takes no argument
      "alsa:",                           // empty device name
      "wav",                             // wav needs a path
      "fast,",                           // empty item
      "fast,devices",                    // not an option, and fast has no argument to extend
      "fast,devices=",                   // empty number
      "fast,devices=-1",                 // no sign
      "fast,devices=4294967296",         // beyond 32 bits
      "fast,caps=ok",                    // a flag option knows one value only
      "fast,channels=65536",             // not a 16-bit count
      "wav:/tmp/x.wav,devices=1,extra",  // argument items come before options
  };
  for (const char* text : bad) {
    AudioBackendSetting setting;
    EXPECT_FALSE(ParseAudioBackendSetting(text, &setting)) << text;
  }
}

}  // namespace
}  // namespace pocketmidi
