// The pocketmidi tool as a user runs it: `render` to WAV and raw files,
// `play` on the WAV and fast devices, `info`, and failure messages that name
// their cause.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "support/player_fixture.h"
#include "synth/synth_engine.h"

namespace pocketmidi::test::player {
namespace {

struct CliRun {
  int status;
  std::string output;  // stdout and stderr together
};

// `environment` holds VAR=value words put before the command.
CliRun RunCli(const std::string& arguments, const std::string& environment = "") {
  CliRun run{-1, {}};
  const std::string command =
      environment + " " POCKETMIDI_CLI_PATH " " + arguments + " </dev/null 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}

const std::string kSong = SongBytes(
    With(Loud(0), {On(0, 0, 60), Off(400, 0, 60), On(300, 0, 64), Off(500, 0, 64)}), 600);

TEST(RenderCommand, WritesWavHeaderAndTheDecoderOutput) {
  ss::SoundSetConfig config = UnityConfig("s");
  config.rate = 11025;
  RenderSet set(config, {Sine("s", 84)});
  const std::string song = set.WriteSong(kSong);
  OpenSong decoder(set.Directory(), song);
  const std::vector<uint8_t> expected = decoder.RenderAll();
  ASSERT_EQ(expected.size(), decoder->engine->songSamples * 4u);

  std::string dir = set.Directory();
  ASSERT_EQ(RunCli("render " + song + " --config " + dir + " -o " + set.File("a.wav")).status, 0);
  dir.pop_back();  // the same directory without its trailing '/'
  ASSERT_EQ(RunCli("render " + song + " --config " + dir + " -o " + set.File("a.pcm")).status, 0);
  EXPECT_TRUE(ReadAudioFile(set.File("a.pcm")) == expected);

  const std::vector<uint8_t> wav = ReadAudioFile(set.File("a.wav"));
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

  // Format options override the configuration: 600 ms of 22050 Hz 8-bit mono.
  ASSERT_EQ(RunCli("render " + song + " --config " + dir +
                   " --rate 22050 --bits 8 --channels 1 -o " + set.File("b.raw"))
                .status,
            0);
  EXPECT_EQ(ReadAudioFile(set.File("b.raw")).size(), 13230u);
}

TEST(RenderCommand, FailuresNameTheirCause) {
  struct Row {
    const char* what;
    void (*edit)(ss::SoundSetConfig&);
    const char* file;  // removed from the set ("-name"), or the song given instead
    std::string expected;
  };
  const Row rows[] = {
      {"missing song", [](ss::SoundSetConfig&) {}, "nosuch.mid", "cannot open '"},
      {"not MIDI", [](ss::SoundSetConfig&) {}, "patches.cfg", "is not a MIDI file"},
      {"no bootstrap", [](ss::SoundSetConfig&) {}, "-zoltep", "configuration: no file '"},
      {"unnamed section", [](ss::SoundSetConfig& c) { c.tones[5].name.clear(); }, "",
       "section 5: bank_name"},
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
    const CliRun run =
        RunCli("render " + song + " --config " + set.Directory() + " -o " + set.File("out.wav"));
    EXPECT_EQ(run.status, 1) << r.what;
    EXPECT_NE(run.output.find(r.expected), std::string::npos) << r.what << ": " << run.output;
    if (file == "-zoltep") {
      EXPECT_FALSE(std::filesystem::exists(set.File("zoltep"))) << "left as it was";
    }
  }
}

// What the device receives, whether the song is played through the exported
// functions or by `pocketmidi play`, is exactly what `pocketmidi render`
// writes for the same song and settings.
TEST(PlayCommand, DeviceReceivesWhatRenderWrites) {
  PlayerSet set;
  const std::string song = set.WriteFile(
      "tune.mid", SongBytes(With(With(Loud(0), Loud(1, 20)),
                                 {On(0, 0, 60), On(130, 1, 67, 90), Off(700, 0, 60), On(650, 0, 72),
                                  Bend(900, 1, 9000), Off(1500, 1, 67), Off(2210, 0, 72)}),
                            2345));
  const std::string arguments = song + " --config " + set.Directory();
  const std::string captured = AudioTempPath("capture.wav");
  const std::string played = AudioTempPath("play.wav");
  const std::string rendered = AudioTempPath("render.wav");
  const struct {
    const char* flags;
    FormatOverride format;  // sampleRate 0: none
  } rows[] = {{"", {0, 0, 0, 0}},
              {" --rate 11025 --bits 8 --channels 1", {11025, 8, 1, 32}},
              {" --rate 44100", {44100, 16, 2, 32}},
              {" --rate 8000 --channels 1 --polyphony 2", {8000, 16, 1, 2}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.flags);
    {
      ScopedAudioEnv env("wav:" + captured);
      Recorder recorder;
      MIDI_HANDLE h = set.Load(song, &recorder, row.format.sampleRate ? &row.format : nullptr);
      ASSERT_NE(h, nullptr);
      ASSERT_EQ(MIDI_Play(h, 0, -1, 1), 1);
      ASSERT_TRUE(recorder.WaitForEnds());
      ASSERT_EQ(MIDI_Unload(h), 1);
    }
    const CliRun play =
        RunCli("play " + arguments + row.flags, "POCKETMIDI_AUDIO='wav:" + played + "'");
    EXPECT_EQ(play.status, 0) << play.output;
    ASSERT_EQ(RunCli("render " + arguments + row.flags + " -o " + rendered).status, 0);
    const std::vector<uint8_t> tool = ReadAudioFile(rendered);
    EXPECT_GT(tool.size(), 44u + 8000u);
    EXPECT_TRUE(ReadAudioFile(captured) == tool);
    EXPECT_TRUE(ReadAudioFile(played) == tool);
  }
  for (const std::string& path : {captured, played, rendered}) std::remove(path.c_str());
}

TEST(Commands, ExitCodesAndMessages) {
  PlayerSet set;
  const std::string config = " --config " + set.Directory();
  const std::string song = set.Song(3000) + config;
  TrackWriter track;
  track.Name(0, "Lead \"1\"\x01").NoteOn(0, 2, 60, 100).NoteOff(192, 2, 60).EndOfTrack();
  const std::string named = set.WriteFile("named.mid", BuildSmf({track}));  // 1 s
  const std::string silent = set.WriteFile("silent.mid", SongBytes({}, 0));
  const std::string text = set.WriteFile("text.mid", "just text");
  const struct {
    std::string audio, arguments;
    int status;
    const char* message;
  } rows[] = {
      {"fast", "play " + song + " --start 500 --end 1500 --loops 3 --volume 40", 0, "played"},
      {"fast", "play " + song + " --loops 1 --bits 8 --channels 1 --polyphony 4", 0, "played"},
      {"fast", "play " + song + " --start 5000 --end 6000", 1, "could not start"},
      {"fast", "play " + song + " --volume 101", 1, "--volume wants"},
      {"fast", "play " + song + " --loops -1", 1, "--loops wants"},
      {"fast", "play " + song + " --speed 2", 1, "unknown option"},
      {"fast", "play " + set.Directory() + "absent.mid" + config, 1, "cannot load"},
      {"fast", "play " + silent + config, 1, "0 ms"},
      {"fast,devices=0", "play " + song, 1, "no usable audio output device"},
      {"", "render " + song + " -o " + set.Directory() + "out.wav --start 5000", 1, "past the end"},
      {"", "render " + song + " -o " + set.Directory() + "out.wav --start x", 1, "--start wants"},
      {"", "render " + song, 1, "usage"},
      {"", "info " + named, 0, "0:01.000"},
      {"", "info " + named + " --json", 0, "\"durationMs\":1000,"},
      {"", "info " + named + " --json", 0, "{\"name\":\"Lead \\\"1\\\"\\u0001\",\"length\":"},
      {"", "info " + set.Directory() + "missing.mid --json", 1, "cannot open"},
      {"", "info " + text + " --json", 1, "not a MIDI file"},
      {"", "info " + silent + " --json", 1, "duration is 0"},
  };
  for (const auto& row : rows) {
    const CliRun run = RunCli(row.arguments, "POCKETMIDI_AUDIO='" + row.audio + "'");
    EXPECT_EQ(run.status, row.status) << row.arguments << ": " << run.output;
    EXPECT_NE(run.output.find(row.message), std::string::npos) << row.arguments << ": "
                                                               << run.output;
  }
}

}  // namespace
}  // namespace pocketmidi::test::player
