// Sub-commands of the pocketmidi tool. Each takes its own argv, argv[0]
// being the command name, and returns the process exit code.
#pragma once

namespace pocketmidi::cli {

int RunInfo(int argc, char** argv);
int RunRender(int argc, char** argv);
int RunPlay(int argc, char** argv);
int RunPack(int argc, char** argv);

}  // namespace pocketmidi::cli
