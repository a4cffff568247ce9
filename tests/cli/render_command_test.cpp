// `pocketmidi render` as a user runs it: WAV and raw output, and a failure
// message that names the cause.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/render_fixture.h"
#include "synth/synth_engine.h"

namespace pocketmidi::test::render {
namespace {

struct CliRun {
  int status;
  std::string output;
};

CliRun RunRender(const std::string& arguments) {
  CliRun run{-1, {}};
  std::FILE* pipe = popen((std::string(POCKETMIDI_CLI_PATH) + " render " + arguments + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}

const std::string kSong = SongBytes(With(Loud(0), {On(0, 0, 60), Off(400, 0, 60), On(300, 0, 64), Off(500, 0, 64)}), 600);

TEST(RenderCommand, WritesWavHeaderAndTheDecoderOutput) {
  ss::SoundSetConfig config = UnityConfig("s");
  config.rate = 11025;
  RenderSet set(config, {Sine("s", 84)});
  const std::string song = set.WriteSong(kSong);
  OpenSong decoder(set.Directory(), song);
  const std::vector<uint8_t> expected = decoder.RenderAll();
  ASSERT_EQ(expected.size(), decoder->engine->songSamples * 4u);

  std::string dir = set.Directory();
  ASSERT_EQ(RunRender(song + " --config " + dir + " -o " + set.File("a.wav")).status, 0);
  dir.pop_back();  // the same directory without its trailing '/'
  ASSERT_EQ(RunRender(song + " --config " + dir + " -o " + set.File("a.pcm")).status, 0);
  EXPECT_TRUE(ReadFile(set.File("a.pcm")) == expected);

  const std::vector<uint8_t> wav = ReadFile(set.File("a.wav"));
  ASSERT_EQ(wav.size(), 44 + expected.size());
  EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(U32(wav, 4), 36 + expected.size());
  EXPECT_EQ(U32(wav, 16), 16u);
  EXPECT_EQ(U32(wav, 20), 1u | 2u << 16);  // PCM, stereo
  EXPECT_EQ(U32(wav, 24), 11025u);
  EXPECT_EQ(U32(wav, 28), 44100u);
  EXPECT_EQ(U32(wav, 32), 4u | 16u << 16);  // block align, bits
  EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
  EXPECT_EQ(U32(wav, 40), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), wav.begin() + 44));

  // Format options override the configuration.
  ASSERT_EQ(RunRender(song + " --config " + dir + " --rate 22050 --bits 8 --channels 1 -o " + set.File("b.raw")).status, 0);
  EXPECT_EQ(ReadFile(set.File("b.raw")).size(), 13230u);
}

TEST(RenderCommand, FailuresNameTheirCause) {
  struct Row {
    const char* what;
    void (*edit)(ss::SoundSetConfig&);
    const char* file;  // removed from the set, or the song given instead
    std::string expected;
  };
  const Row rows[] = {
      {"missing song", [](ss::SoundSetConfig&) {}, "nosuch.mid", "cannot open '"},
      {"not MIDI", [](ss::SoundSetConfig&) {}, "patches.cfg", "is not a MIDI file"},
      {"no bootstrap", [](ss::SoundSetConfig&) {}, "-zoltep", "configuration: no file '"},
      {"unnamed section", [](ss::SoundSetConfig& c) { c.tones[5].name.clear(); }, "", "section 5: bank_name"},
      {"no archive", [](ss::SoundSetConfig&) {}, "-patches.pat", "patch archive: cannot open '"},
      {"patch absent", [](ss::SoundSetConfig& c) { c.tones[0].name = "x"; }, "",
       "instrument 'x' (program 0) not in the archive '"},
  };
  for (const Row& r : rows) {
    ss::SoundSetConfig config = UnityConfig("s");
    r.edit(config);
    RenderSet set(config, {Sine("s", 84)});
    std::string song = set.WriteSong(kSong);
    const std::string file = r.file;
    if (!file.empty() && file[0] == '-') {
      std::remove(set.File(file.substr(1)).c_str());
    } else if (!file.empty()) {
      song = set.File(file);
    }
    const CliRun run = RunRender(song + " --config " + set.Directory() + " -o " + set.File("out.wav"));
    EXPECT_EQ(run.status, 1) << r.what;
    EXPECT_NE(run.output.find(r.expected), std::string::npos) << r.what << ": " << run.output;
    if (file == "-zoltep") {
      EXPECT_FALSE(std::filesystem::exists(set.File("zoltep"))) << "left as it was";
    }
  }
}

}  // namespace
}  // namespace pocketmidi::test::render
