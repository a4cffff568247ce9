// pocketmidi: command-line front end of the library.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"

#ifndef POCKETMIDI_VERSION
#define POCKETMIDI_VERSION "unknown"
#endif

namespace {

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* summary;
};

constexpr Command kCommands[] = {
    {"info", pocketmidi::cli::RunInfo, "describe a MIDI file (duration, tracks, SP-MIDI, notes)"},
    {"render", pocketmidi::cli::RunRender, "render a MIDI file to WAV or raw PCM"},
    {"play", pocketmidi::cli::RunPlay, "play a MIDI file on the audio device"},
    {"pack", pocketmidi::cli::RunPack, "build an instrument set from a SoundFont 2 bank"},
};

void PrintUsage(FILE* out) {
  std::fprintf(out, "usage: pocketmidi COMMAND [ARGS...]\n\ncommands:\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
  std::fprintf(out,
               "\n`pocketmidi COMMAND --help` describes a command and its options;\n"
               "`pocketmidi --version` prints the version. Exit status: 0 success, 1 failure,\n"
               "2 a command line that cannot be understood.\n");
}

}  // namespace

int main(int argc, char** argvAsGiven) {
  std::vector<std::string> arguments = pocketmidi::cli::Utf8Arguments(argc, argvAsGiven);
  std::vector<char*> argvUtf8;
  for (std::string& argument : arguments) argvUtf8.push_back(argument.data());
  argvUtf8.push_back(nullptr);
  char** argv = argvUtf8.data();
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  if (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help")) {
    PrintUsage(stdout);
    return 0;
  }
  if (!std::strcmp(argv[1], "-V") || !std::strcmp(argv[1], "--version")) {
    std::printf("pocketmidi %s\n", POCKETMIDI_VERSION);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (!std::strcmp(argv[1], c.name)) return c.run(argc - 1, argv + 1);
  }
  std::fprintf(stderr, "pocketmidi: unknown command '%s'\n", argv[1]);
  PrintUsage(stderr);
  return 2;
}
