#include <cstdio>

#include "cli/commands.h"

namespace pocketmidi::cli {

int RunPack(int, char**) {
  std::fprintf(stderr, "pocketmidi pack: not available yet\n");
  return 1;
}

}  // namespace pocketmidi::cli
