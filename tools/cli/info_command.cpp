#include <cstdio>

#include "cli/commands.h"

namespace pocketmidi::cli {

int RunInfo(int, char**) {
  std::fprintf(stderr, "pocketmidi info: not available yet\n");
  return 1;
}

}  // namespace pocketmidi::cli
