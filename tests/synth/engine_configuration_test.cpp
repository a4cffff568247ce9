// The engine's configuration: the bootstrap file, the patch list it names
// and the caller's format override.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "platform/utf16_path.h"
#include "pocketmidi.h"
#include "support/temp_directory.h"
#include "synth/synth_engine.h"

namespace pocketmidi {
namespace {

// A patch list naming "piano" for every program; `extra` lines go into
// section `at`, whose bank_name is left out when `named` is false.
std::string PatchList(int at = -1, const std::string& extra = "", bool named = true) {
  std::string text;
  for (int i = 0; i < 128; ++i) {
    text += "[" + std::to_string(i) + "]\r\n";
    if (i != at || named) text += "bank_name=piano\r\n";
    if (i == at) text += extra;
  }
  return text;
}

class Configuration : public ::testing::Test {
 protected:
  // The handheld spelling of the directory: backslashes, ending with one.
  static std::u16string HandheldDirectory(const std::filesystem::path& path) {
    std::string text = path.string() + "/";
    for (char& c : text) c = c == '/' ? '\\' : c;
    return Utf8ToUtf16(text);
  }
  int32_t Load(SynthEngine& e, const std::string& bootstrap,
               const std::string& list = PatchList()) {
    dir.Write("zoltep", "[FILES]\r\nCONFIG=patches.cfg\r\nPAT=patches.pat\r\n" + bootstrap);
    dir.Write("patches.cfg", list);
    return e.LoadConfiguration();
  }
  int32_t LoadList(SynthEngine& e, const std::string& list) {
    return e.LoadPatchList(dir.Write("list.cfg", list).c_str());
  }
  test::TempDirectory dir;
  std::u16string directory = HandheldDirectory(dir.path());
};

TEST_F(Configuration, BootstrapValuesAndFallbacks) {
  const struct {
    const char* lines;
    uint32_t rate, flags, spMidi;
    int32_t voices;
    uint32_t loadAll, freeAtOnce;
  } cases[] = {
      {"", 11025, kFormat16Bit, 0, 32, 1, 0},
      {"[OUTPUT]\r\nRATE=87586\r\n", 22050, kFormat16Bit, 0, 32, 1, 0},  // 65536 + 22050
      {"[OUTPUT]\r\nRATE=48000\r\n", 11025, kFormat16Bit, 0, 32, 1, 0},
      {"[OUTPUT]\r\nCHANNELS=2\r\nBITS=12\r\n", 11025, kFormat16Bit, 0, 32, 1, 0},
      {"[SP]\r\nSUPPORTED=true\r\n", 11025, kFormat16Bit, 1, 32, 1, 0},
      {"[SP]\r\nSUPPORTED=TRUE\r\n", 11025, kFormat16Bit, 0, 32, 1, 0},
      {"[OTHERS]\r\nPOLYPHONES=-5\r\n", 11025, kFormat16Bit, 0, 32, 1, 0},
      {"[OTHERS]\r\nLOADALL=false\r\n", 11025, kFormat16Bit, 0, 32, 0, 0},
      {"[OTHERS]\r\nLOADALL=true\r\nFREEATONCE=true\r\n", 11025, kFormat16Bit, 0, 32, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    SynthEngine engine(directory.c_str());
    ASSERT_EQ(Load(engine, c.lines), 0);
    EXPECT_EQ(std::tuple(engine.sampleRate, engine.formatFlags, engine.spMidiEnabled,
                         engine.voiceCount, engine.loadAll, engine.freeAtOnce),
              std::tuple(c.rate, c.flags, c.spMidi, c.voices, c.loadAll, c.freeAtOnce));
    EXPECT_EQ(std::u16string(engine.directory), directory + u"patches.pat");
  }
}

TEST_F(Configuration, PatchListResults) {
  const struct { const char* extra; bool named; int32_t result; } cases[] = {
      {"", false, -7},  // no bank_name: the whole configuration fails
      {"bank_amp=801\r\n", true, -8},
      {"bank_amp=800\r\ndrumset_name=kick\r\ndrumset_amp=-1\r\n", true, -9},
      {"drumset_name=kick\r\ndrumset_note=128\r\n", true, -10},
      {"drumset_name=kick\r\ndrumset_pan=101\r\n", true, -11},
      {"drumset_name=kick\r\ndrumset_strip_envelope=2\r\n", true, -12},
      {"drumset_name=kick\r\ndrumset_strip_loop=2\r\n", true, -13},
      {"drumset_name=kick\r\ndrumset_strip_tail=-1\r\n", true, -14},
      {"bank_name=abcdefghijklmno\r\n", false, 0},  // 15 characters fit
      {"bank_name=abcdefghijklmnop\r\n", false, -7},
      {"drumset_name=abcdefghijklmnop\r\n", true, -9},
  };
  for (const auto& c : cases) {
    SynthEngine fresh(directory.c_str());
    EXPECT_EQ(LoadList(fresh, PatchList(57, c.extra, c.named)), c.result) << c.extra;
    EXPECT_STREQ(fresh.toneSlots[56].name, "piano");  // read before the failure
    // The failing section is noted for the tool's message.
    if (c.result != 0) {
      EXPECT_EQ(std::tuple(fresh.openFailure.stage, fresh.openFailure.code, fresh.openFailure.index),
                std::tuple(OpenStage::kPatchList, c.result, 57));
    }
  }
  SynthEngine engine(directory.c_str());
  EXPECT_EQ(Load(engine, "", PatchList(57, "", false)), -3);
}

TEST_F(Configuration, DrumPanAndSlotSettings) {
  // "center", "left" and "right" as written (so "Center" reads as the number
  // 0), else -100..100 scaled to 0..127; -11: refused.
  const struct { const char* pan; int32_t expected; } pans[] = {
      {"0", 63},    {"center", 64}, {"left", 0}, {"right", 127}, {"-100", 0},
      {"100", 127}, {"Center", 63}, {"-101", 0}, {"-102", -11}};
  for (const auto& p : pans) {
    SynthEngine fresh(nullptr);
    const std::string keys = std::string("drumset_name=kick\r\ndrumset_pan=") + p.pan + "\r\n";
    const int32_t result = LoadList(fresh, PatchList(36, keys));
    EXPECT_EQ(result < 0 ? result : fresh.drumSlots[36].pan, p.expected) << p.pan;
  }
  SynthEngine engine(nullptr);
  const std::string keys =
      "drumset_name=kick\r\ndrumset_amp=120\r\ndrumset_note=40\r\ndrumset_strip_loop=1\r\n";
  ASSERT_EQ(LoadList(engine, PatchList(36, keys)), 0);
  const InstrumentSlot& drum = engine.drumSlots[36];
  EXPECT_STREQ(drum.name, "kick");
  EXPECT_EQ((std::vector<int32_t>{drum.amp, drum.note, drum.pan, drum.stripLoop, drum.stripEnvelope,
                                  drum.stripTail}),
            (std::vector<int32_t>{120, 40, -1, 1, -1, -1}));
  EXPECT_EQ(engine.toneSlots[36].amp, -1);
  EXPECT_STREQ(engine.drumSlots[35].name, "");  // no drum keys: stays cleared
}

TEST_F(Configuration, MissingNamesAndUnusableDirectoriesFail) {
  SynthEngine engine(directory.c_str());
  dir.Write("patches.cfg", PatchList());
  dir.Write("zoltep", "[FILES]\r\nCONFIG=patches.cfg\r\nPAT=\r\n");
  EXPECT_EQ(engine.LoadConfiguration(), -3);
  EXPECT_EQ(engine.openFailure.stage, OpenStage::kArchiveName);

  // Archive names are cut to 63 characters.
  dir.Write("zoltep", "[FILES]\r\nCONFIG=patches.cfg\r\nPAT=" + std::string(70, 'a') + "\r\n");
  ASSERT_EQ(engine.LoadConfiguration(), 0);
  EXPECT_EQ(std::u16string(engine.directory), directory + std::u16string(63, u'a'));

  // Directories the single-byte paths cannot carry are refused before any
  // file is opened (or created).
  for (const std::u16string& bad :
       {directory + std::u16string(130, u'x') + u"\\", directory + u"\u4e2d\\"}) {
    SynthEngine refused(bad.c_str());
    EXPECT_EQ(refused.LoadConfiguration(), -3);
    EXPECT_EQ(refused.openFailure.stage, OpenStage::kBootstrapPath);
  }
}

TEST_F(Configuration, EmptyDirectoryMeansTheRoot) {
  // Needs "/zoltep": only where the root is writable and no such file
  // exists; removed again at once. On Windows the root is that of the
  // current drive, which must also hold the temporary directory.
  if (std::filesystem::exists("/zoltep") || access("/", W_OK) != 0) {
    GTEST_SKIP() << "root directory not usable";
  }
  if (dir.path().root_name() != std::filesystem::current_path().root_name()) {
    GTEST_SKIP() << "the temporary directory is on another drive than the root";
  }
  const std::string list =  // below the root
      std::filesystem::path(dir.Write("patches.cfg", PatchList())).relative_path().string();
  dir.Write("zoltep", "[FILES]\r\nCONFIG=" + list + "\r\nPAT=sounds.pat\r\n");
  std::filesystem::copy_file(dir.File("zoltep"), "/zoltep");
  SynthEngine engine(nullptr);
  const int32_t result = engine.LoadConfiguration();
  std::filesystem::remove("/zoltep");
  ASSERT_EQ(result, 0);
  EXPECT_EQ(std::u16string(engine.directory), u"\\sounds.pat");
}

TEST(FormatOverride, AppliesFieldsUpToTheFirstRefusedOne) {
  const struct {
    FormatOverride override;
    int32_t result;
    uint32_t rate, flags;
    int32_t voices;
  } cases[] = {
      {{8000, 8, 1, 16}, 1, 8000, kFormatMono, 16},
      {{44100, 16, 2, 32}, 1, 44100, kFormat16Bit, 32},
      {{48000, 8, 1, 16}, 0, 11025, kFormat16Bit, 32},
      {{16000, 8, 3, 16}, 0, 16000, 0, 32},
      {{32000, 16, 1, 0}, 0, 32000, kFormat16Bit | kFormatMono, 32},
  };
  for (const auto& c : cases) {
    SynthEngine engine(nullptr);
    EXPECT_EQ(engine.ApplyFormatOverride(&c.override), c.result);
    EXPECT_EQ(std::tuple(engine.sampleRate, engine.formatFlags, engine.voiceCount),
              std::tuple(c.rate, c.flags, c.voices));
  }
  SynthEngine engine(nullptr);
  EXPECT_EQ(engine.ApplyFormatOverride(nullptr), 0);
}

}  // namespace
}  // namespace pocketmidi
