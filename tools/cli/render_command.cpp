#include <cstdio>

#include "cli/commands.h"

namespace pocketmidi::cli {

int RunRender(int, char**) {
  std::fprintf(stderr, "pocketmidi render: not available yet\n");
  return 1;
}

}  // namespace pocketmidi::cli
