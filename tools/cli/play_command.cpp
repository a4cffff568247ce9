#include <cstdio>

#include "cli/commands.h"

namespace pocketmidi::cli {

int RunPlay(int, char**) {
  std::fprintf(stderr, "pocketmidi play: not available yet\n");
  return 1;
}

}  // namespace pocketmidi::cli
