// The pocketmidi tool as a user runs it: `render` to WAV and raw files,
// `play` on the WAV and fast devices, `info`, and failure messages that name
// their cause.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/player_fixture.h"
#include "support/sf2_builder.h"

namespace pocketmidi::test::player {
namespace {

struct CliRun {
  int status;
  std::string output;  // stdout and stderr together
};

// Runs the tool with POCKETMIDI_AUDIO set to audio ("" included) for it.
CliRun RunCli(const std::string& arguments, const std::string& audio = "") {
  CliRun run{-1, {}};
  ScopedAudioEnv env(audio);  // the tool inherits it
#ifdef _WIN32
  // Through cmd.exe, which takes neither '/' in a program path nor /dev/null.
  std::string tool = POCKETMIDI_CLI_PATH;
  for (char& c : tool) c = c == '/' ? '\\' : c;
  const std::string command = tool + " " + arguments + " <NUL 2>&1";
  std::FILE* pipe = _popen(command.c_str(), "rb");
#else
  // Through the build's emulator when the tool is for another machine.
  const std::string command =
      POCKETMIDI_TEST_EMULATOR " " POCKETMIDI_CLI_PATH " " + arguments + " </dev/null 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
#endif
  if (pipe == nullptr) return run;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, n);
#ifdef _WIN32
  run.status = _pclose(pipe);
#else
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return run;
}

// `bytes` little-endian bytes of value.
std::string Le(uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> 8 * i);
  return out;
}

// `render` writes the decoder's bytes behind a WAV header (or bare, for a
// .pcm name), and `play` sends the device exactly those bytes. Format options
// left out come from the configuration (22050 Hz, 16-bit stereo).
TEST(RenderAndPlay, WavLayoutAndTheSameBytesForTheDevice) {
  PlayerSet set;
  const std::string song = set.WriteFile(
      "tune.mid", SongBytes(With(With(Loud(0), Loud(1, 20)),
                                 {On(0, 0, 60), On(130, 1, 67, 90), Off(700, 0, 60), On(650, 0, 72),
                                  Bend(900, 1, 9000), Off(1500, 1, 67), Off(2210, 0, 72)}),
                            2345));
  OpenSong decoder(set.Directory(), song);
  const std::vector<uint8_t> expected = decoder.RenderAll();
  std::string dir = set.Directory();
  dir.pop_back();  // the same directory without its trailing '/'
  const std::string raw = dir + "/tune.pcm";
  ASSERT_EQ(RunCli("render " + song + " --config " + dir + " -o " + raw).status, 0);
  EXPECT_TRUE(ReadAudioFile(raw) == expected);

  const std::string played = AudioTempPath("play.wav");
  const std::string rendered = AudioTempPath("render.wav");
  const struct {
    const char* flags;
    uint32_t rate, bits, channels;
  } rows[] = {{"", 22050, 16, 2},
              {" --rate 11025 --bits 8 --channels 1", 11025, 8, 1},
              {" --rate 8000 --channels 1 --polyphony 2", 8000, 16, 1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.flags);
    const std::string arguments = song + " --config " + set.Directory() + row.flags;
    const CliRun play = RunCli("play " + arguments, "wav:" + played);
    EXPECT_EQ(play.status, 0) << play.output;
    ASSERT_EQ(RunCli("render " + arguments + " -o " + rendered).status, 0);
    const std::vector<uint8_t> wav = ReadAudioFile(rendered);
    ASSERT_GT(wav.size(), 44u + 8000u);
    const uint32_t data = static_cast<uint32_t>(wav.size() - 44);
    const uint32_t frameBytes = row.channels * row.bits / 8;
    // RIFF size, fmt size 16, PCM, channels, rate, bytes a second, frame
    // bytes, bits, data size.
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 44),
              "RIFF" + Le(36 + data, 4) + "WAVEfmt " + Le(16, 4) + Le(1, 2) + Le(row.channels, 2) +
                  Le(row.rate, 4) + Le(row.rate * frameBytes, 4) + Le(frameBytes, 2) +
                  Le(row.bits, 2) + "data" + Le(data, 4));
    if (*row.flags == '\0') {
      EXPECT_TRUE(std::vector<uint8_t>(wav.begin() + 44, wav.end()) == expected);
    }
    EXPECT_TRUE(ReadAudioFile(played) == wav);
  }
  std::remove(played.c_str());
  std::remove(rendered.c_str());
}

#ifndef _WIN32  // FIFOs, /dev/full, /dev/zero and a tmpfs mount are POSIX's
// Failures exit with 1 and name their cause; a command line that cannot be
// understood exits with 2.
TEST(Commands, ExitCodesAndMessages) {
  PlayerSet set;
  const std::string config = " --config " + set.Directory();
  const std::string song = set.Song(3000) + config;
  const std::string out = " -o " + set.Directory() + "out.wav";
  TrackWriter track;
  track.Name(0, "Lead \"1\"\x01").NoteOn(0, 2, 60, 100).NoteOff(192, 2, 60).EndOfTrack();
  const std::string named = set.WriteFile("named.mid", BuildSmf({track}));  // 1 s
  const std::string silent = set.WriteFile("silent.mid", SongBytes({}, 0));
  const std::string text = set.WriteFile("text.mid", "just text");
  // Instrument sets with one fault each.
  ss::SoundSetConfig unnamed = UnityConfig("s"), absent = UnityConfig("s");
  unnamed.tones[5].name.clear();
  absent.tones[0].name = "x";
  const RenderSet noBootstrap(UnityConfig("s"), {Sine("s", 84)});
  const RenderSet noArchive(UnityConfig("s"), {Sine("s", 84)});
  const RenderSet noPatchList(UnityConfig("s"), {Sine("s", 84)});
  std::remove(noPatchList.File("patches.cfg").c_str());
  const std::string fifo = set.Directory() + "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A name that is not UTF-8 (a Latin-1 e-acute), and a song cut short.
  const std::string whole = SongBytes(With(Loud(0), {On(0, 0, 60), Off(1500, 0, 60)}), 1500);
  const std::string latin1 = set.WriteFile("caf\xE9.mid", whole);
  const std::string cut = set.WriteFile("cut.mid", whole.substr(0, whole.size() - 4));
  // 0x0FFFFFFF ticks of 16.7 s each: 142 years, beyond the record's 49.7 days.
  const std::string ages = set.WriteFile(
      "ages.mid", std::string("MThd\0\0\0\6\0\0\0\1\0\1MTrk\0\0\0\x12", 22) +
                      std::string("\0\xFF\x51\3\xFF\xFF\xFF\0\x90\x3C\x40\xFF\xFF\xFF\x7F\x80\x3C\x40", 18));
  const RenderSet unnamedSet(unnamed, {Sine("s", 84)}), absentSet(absent, {Sine("s", 84)});
  std::remove(noBootstrap.File("zoltep").c_str());
  std::remove(noArchive.File("patches.pat").c_str());
  const auto render = [&](const RenderSet& broken) {
    return "render " + set.Song(3000) + " --config " + broken.Directory() + out;
  };
  const struct {
    std::string audio, arguments;
    int status;
    std::string message;
  } rows[] = {
      {"fast", "play " + song + " --start 500 --end 1500 --loops 3 --volume 40", 0, "played"},
      {"fast", "play " + song + " --start 5000 --end 6000", 1, "could not start"},
      {"fast", "play " + song + " --volume 101", 2, "--volume wants"},
      {"fast", "play " + song + " --speed 2", 2, "unknown option"},
      {"null", "play " + song + " --end 100", 0, "null device (POCKETMIDI_AUDIO=null)"},
      {"fast", "play " + fifo + config, 1, "it is a FIFO"},
      {"fast", "play " + set.Directory() + "absent.mid" + config, 1, "cannot load"},
      {"fast", "play " + silent + config, 1, "0 ms"},
      {"fast,devices=0", "play " + song, 1, "no usable audio output device"},
      {"", "render " + song + out + " --start 5000", 1, "past the end"},
      {"", "render " + song, 2, "usage"},
      {"", "render " + song + " -o " + set.Directory(), 1, "it is a directory"},
      {"", "render " + song + " -o /dev/full", 1, "No space left on device"},
      {"", "render " + song + " -o " + fifo, 1, "no process reads this FIFO"},
      {"", "render " + fifo + config + out, 1, "it is a FIFO"},
      {"", "render '" + latin1 + "'" + config + " -o '" + set.Directory() + "\xE9.wav'", 0,
       "\xE9.wav: 0:01.500 rendered"},
      {"", "render " + cut + config + out, 0, "warning: '" + cut + "': track 0 is truncated"},
      {"", "render " + song + " --config " + fifo + out, 1, "it is a FIFO, not a directory"},
      {"", render(noPatchList), 1, "the patch list '"},
      {"", "render " + set.Directory() + "nosuch.mid" + config + out, 1, "cannot open '"},
      {"", "render " + text + config + out, 1, "is not a MIDI file"},
      {"", render(noBootstrap), 1, "configuration: no file '"},
      // Leading format flags leave the configuration to the song's open.
      {"", render(noBootstrap) + " --rate 11025", 1, "configuration: no file '"},
      {"", render(noPatchList) + " --rate 11025 --bits 8", 1, "the patch list '"},
      {"", render(unnamedSet), 1, "section 5: bank_name"},
      {"", render(noArchive), 1, "the patch archive '"},
      {"", render(absentSet), 1, "instrument 'x' (program 0) not in the archive '"},
      {"", "info " + named, 0, "0:01.000"},
      {"", "info " + named + " --json", 0, "\"durationMs\":1000,"},
      {"", "info " + named + " --json", 0, "{\"name\":\"Lead \\\"1\\\"\\u0001\",\"length\":"},
      {"", "info " + set.Directory() + "missing.mid --json", 1, "cannot open"},
      {"", "info /dev/zero", 1, "it is a character device"},
      {"", "info " + set.Directory(), 1, "it is a directory"},
      {"", "info '" + latin1 + "'", 0, "caf\xE9.mid\nDuration:     0:01.500"},
      {"", "info " + cut, 0, "Damaged:      track 0 is truncated: "},
      {"", "info " + ages, 0, "too long for the record: about 142.7 years"},
      {"", "info " + ages + " --json", 0, "\"durationMs\":null"},
      {"", "info a b", 2, "unexpected argument"},
      {"", "pack " + set.Directory() + " -o " + set.Directory() + "x", 1, "it is a directory"},
      {"", "pack /dev/zero -o " + set.Directory() + "x", 1, "it is a character device"},
      {"", "--version", 0, "pocketmidi 0."},
      {"", "frobnicate", 2, "unknown command"},
      {"", "info " + text + " --json", 1, "not a MIDI file"},
      {"", "info " + silent + " --json", 1, "duration is 0"},
  };
  for (const auto& row : rows) {
    const CliRun run = RunCli(row.arguments, row.audio);
    EXPECT_EQ(run.status, row.status) << row.arguments << ": " << run.output;
    EXPECT_NE(run.output.find(row.message), std::string::npos)
        << row.arguments << ": " << run.output;
  }
  for (const char* command : {"info", "render", "play", "pack"}) {
    const CliRun run = RunCli(std::string(command) + " --help");
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_NE(run.output.find("example: pocketmidi " + std::string(command)), std::string::npos)
        << run.output;
  }
  // Nothing is created in a set, and no temporary file is left anywhere.
  EXPECT_FALSE(std::filesystem::exists(noBootstrap.File("zoltep"))) << "left as it was";
  EXPECT_FALSE(std::filesystem::exists(noPatchList.File("patches.cfg"))) << "left as it was";
  for (const auto& entry : std::filesystem::directory_iterator(set.Directory())) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
  }
}

// On a file system that fills up, `render` and `pack` leave the old files as
// they were and nothing of their own, and say why.
TEST(Commands, AFullDiskLosesNothing) {
  PlayerSet set;
  const std::string disk = set.Directory() + "disk";
  std::filesystem::create_directory(disk);
  if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                 << "; needs root): the full disk is not tried";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { umount(path.c_str()); }
  } unmount{disk};
  const std::string old = "the old contents";
  const std::string wav = disk + "/song.wav", archive = disk + "/set/patches.pat";
  std::filesystem::create_directory(disk + "/set");
  for (const std::string& path : {wav, archive}) std::ofstream(path) << old;
  testsupport::Sf2Builder bank;
  const int sample = bank.AddSample("s", std::vector<int16_t>(200000, 1000), 0, 200000);
  bank.AddPreset("p", 0, 0, {{{}, bank.AddInstrument("i", {{{}, sample}})}});
  const std::vector<uint8_t> sf2 = bank.Build();
  const std::string font = set.WriteFile("bank.sf2", std::string(sf2.begin(), sf2.end()));
  const std::string runs[] = {
      "render " + set.Song(5000) + " --config " + set.Directory() + " -o " + wav,
      "pack " + font + " -o " + disk + "/set",
  };
  for (const std::string& arguments : runs) {
    const CliRun run = RunCli(arguments);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("No space left on device"), std::string::npos) << run.output;
  }
  for (const std::string& path : {wav, archive}) {
    std::ifstream in(path);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == old) << path;
  }
  size_t entries = 0;
  for (auto it = std::filesystem::recursive_directory_iterator(disk);
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    ++entries;
  }
  EXPECT_EQ(entries, 3u) << "song.wav, set/ and set/patches.pat only";
}
#else
// The same refusals through the system's own calls: directories, devices
// and missing files are named, and an output replaces the old file whole.
TEST(Commands, WindowsRefusalsAndReplacement) {
  PlayerSet set;
  const std::string config = " --config " + set.Directory();
  const std::string song = set.Song(1000) + config, wav = set.Directory() + "out.wav";
  std::ofstream(wav) << "old";
  const struct {
    std::string arguments;
    int status;
    std::string message;
  } rows[] = {
      {"render " + set.Directory() + config + " -o x.wav", 1, "it is a directory"},
      {"render " + song + " -o " + set.Directory(), 1,
       "cannot write '" + set.Directory() + "': it is a directory"},
      {"render " + song + " -o " + set.Directory() + "no\\x.wav", 1, "No such file or directory"},
      {"render " + set.Song(1000) + config + "missing -o x.wav", 1, "No such file or directory"},
      {"render " + song + " -o NUL", 0, "NUL: 0:01.000 rendered"},
      {"render " + song + " -o " + wav, 0, "out.wav: 0:01.000 rendered"},
      {"info NUL", 1, "it is a character device"},
      {"pack " + set.Directory() + "missing.sf2 -o x", 1, "No such file or directory"},
      {"pack " + set.Directory() + "out.wav -o " + wav, 1, "it is not a directory"},
  };
  for (const auto& row : rows) {
    const CliRun run = RunCli(row.arguments);
    EXPECT_EQ(run.status, row.status) << row.arguments << ": " << run.output;
    EXPECT_NE(run.output.find(row.message), std::string::npos)
        << row.arguments << ": " << run.output;
  }
  EXPECT_GT(std::filesystem::file_size(wav), 44u + 80000u);
  for (const auto& entry : std::filesystem::directory_iterator(set.Directory())) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
  }
}
#endif

}  // namespace
}  // namespace pocketmidi::test::player
