#include "cli/command_line.h"

namespace pocketmidi::cli {

// File names are bytes here, passed on as they came.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace pocketmidi::cli
