// MIDI_GetInfo over real songs, and the `pocketmidi info` command.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/utf16_path.h"
#include "pocketmidi.h"
#include "support/smf_writer.h"
#include "support/temp_directory.h"

namespace pocketmidi::test {
namespace {

std::vector<std::string> OpenMsxSongs() {
  std::vector<std::string> songs;
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator("/usr/share/games/openttd/baseset/openmsx", error)) {
    if (entry.path().extension() == ".mid") songs.push_back(entry.path().string());
  }
  return songs;
}

TEST(InfoCorpusTest, OpenMsxSongsArePlausible) {
  const std::vector<std::string> songs = OpenMsxSongs();
  if (songs.empty()) GTEST_SKIP() << "openttd-openmsx is not installed";
  for (const std::string& path : songs) {
    SCOPED_TRACE(path);
    MidiFileInfo info;
    std::memset(&info, 0xA5, sizeof info);
    ASSERT_EQ(MIDI_GetInfo(Utf8ToUtf16(path).c_str(), &info), 1);
    EXPECT_GE(info.durationMs, 10000u);
    EXPECT_LE(info.durationMs, 15u * 60000u);
    EXPECT_GT(info.noteOnCount, 0u);
    EXPECT_GT(info.eventCount, info.noteOnCount);  // no MIP message: nothing is masked
    EXPECT_EQ(info.mipFound, 0u);
    uint32_t channelSum = 0, highest = 0;
    for (int c = 0; c < 16; ++c) {
      channelSum += info.channelPeakNotes[c];
      highest = std::max<uint32_t>(highest, info.channelPeakNotes[c]);
      if (info.channelPeakNotes[c] > 0) {
        EXPECT_NE(info.channelInstrument[c], 255) << c;
      }
    }
    EXPECT_GE(info.peakNotes, highest);
    EXPECT_LE(info.peakNotes, channelSum);
    EXPECT_EQ(info.reserved[0] & info.reserved[1], 0xA5);
  }
}

struct CliRun {
  int exitCode;
  std::string output;  // stdout and stderr together
};

CliRun RunCli(const std::string& arguments) {
  CliRun run{-1, {}};
  std::FILE* pipe = popen((std::string(POCKETMIDI_CLI_PATH) + " info " + arguments + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, n);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(InfoCliTest, ExitCodesAndMessages) {
  TempDirectory dir;
  TrackWriter track;
  track.Name(0, "Lead \"1\"\x01").NoteOn(0, 2, 60, 100).NoteOff(192, 2, 60).EndOfTrack();
  const std::string song = dir.Write("song.mid", BuildSmf({track}));
  const std::string silent = dir.Write("silent.mid", BuildSmf({TrackWriter().EndOfTrack()}));
  const std::string text = dir.Write("text.mid", "just text");

  CliRun run = RunCli(song);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.output.find("0:01.000"), std::string::npos) << run.output;
  run = RunCli(song + " --json");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.output.find("\"durationMs\":1000,"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("{\"name\":\"Lead \\\"1\\\"\\u0001\",\"length\":"), std::string::npos)
      << run.output;

  const std::pair<std::string, const char*> failures[] = {
      {dir.File("missing.mid"), "cannot open"}, {text, "not a MIDI file"}, {silent, "duration is 0"}};
  for (const auto& [path, message] : failures) {
    run = RunCli(path + " --json");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
  }
}

}  // namespace
}  // namespace pocketmidi::test
