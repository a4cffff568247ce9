// `pocketmidi play` as a user runs it, on the fast and WAV devices: it plays
// through the exported functions and exits when playback has ended.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "support/player_fixture.h"

namespace pocketmidi::test::player {
namespace {

struct PlayRun {
  int status;
  std::string output;
};

PlayRun RunPlay(const std::string& audio, const std::string& arguments) {
  PlayRun run{-1, {}};
  const std::string command = "POCKETMIDI_AUDIO='" + audio + "' " + POCKETMIDI_CLI_PATH +
                              " play " + arguments + " </dev/null 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(PlayCommand, PlaysWhatRenderWrites) {
  PlayerSet set;
  const std::string song = set.Song(2400);
  const std::string captured = AudioTempPath("play.wav");
  const std::string rendered = AudioTempPath("play-render.wav");
  const PlayRun play = RunPlay("wav:" + captured, song + " --config " + set.Directory() + " --rate 11025");
  EXPECT_EQ(play.status, 0) << play.output;
  EXPECT_NE(play.output.find("played"), std::string::npos) << play.output;
  const int status = std::system((std::string(POCKETMIDI_CLI_PATH) + " render " + song + " --config " +
                                  set.Directory() + " --rate 11025 -o " + rendered + " 2>/dev/null")
                                     .c_str());
  ASSERT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
  const std::vector<uint8_t> device = ReadAudioFile(captured);
  EXPECT_GT(device.size(), 44u + 100000u);  // about 2.4 s of 11025 Hz 16-bit stereo
  EXPECT_TRUE(device == ReadAudioFile(rendered));
  std::remove(captured.c_str());
  std::remove(rendered.c_str());
}

TEST(PlayCommand, OptionsAndFailures) {
  PlayerSet set;
  const std::string song = set.Song(3000);
  const std::string config = " --config " + set.Directory();
  const struct {
    const char* arguments;
    int status;
    const char* message;
  } rows[] = {
      {" --start 500 --end 1500 --loops 3 --volume 40", 0, "played"},
      {" --loops 1 --bits 8 --channels 1 --polyphony 4", 0, "played"},
      {" --start 5000 --end 6000", 1, "could not start"},
      {" --volume 101", 1, "--volume wants"},
      {" --loops -1", 1, "--loops wants"},
      {" --speed 2", 1, "unknown option"},
  };
  for (const auto& row : rows) {
    const PlayRun run = RunPlay("fast", song + config + row.arguments);
    EXPECT_EQ(run.status, row.status) << row.arguments << ": " << run.output;
    EXPECT_NE(run.output.find(row.message), std::string::npos) << row.arguments << ": " << run.output;
  }
  const PlayRun missing = RunPlay("fast", set.Directory() + "absent.mid" + config);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("cannot load"), std::string::npos) << missing.output;
  const PlayRun silent = RunPlay("fast", set.WriteFile("silent.mid", SongBytes({}, 0)) + config);
  EXPECT_EQ(silent.status, 1);
  EXPECT_NE(silent.output.find("0 ms"), std::string::npos) << silent.output;
  const PlayRun noDevice = RunPlay("fast,devices=0", song + config);
  EXPECT_EQ(noDevice.status, 1);
  EXPECT_NE(noDevice.output.find("no usable audio output device"), std::string::npos) << noDevice.output;
}

}  // namespace
}  // namespace pocketmidi::test::player
